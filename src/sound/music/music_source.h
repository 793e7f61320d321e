// The music of one show as the music player schedules it: the main playlist, one record per
// slide with its optional slide sound, and the synchronisation flags. Built once from the show
// script (object form or key form); read-only afterwards.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "model/slide_source.h"

namespace zem {

class TIniStorage;
class TIniSection;
class TCommonIniSection;

// A bad value in the music description that aborts building it.
class EMusicConfigError : public std::runtime_error {
 public:
  explicit EMusicConfigError(const std::string& what) : std::runtime_error(what) {}
};

// Byte position in the internal format (44.1 frames per ms, 4 bytes per frame) of a time in ms.
int64_t MusicTimeToBytes(int64_t t_ms);

struct TMusicItemInfo {
  WideString fileName;
  double start = 0;       // ms on the playlist timeline
  double fileOffset = 0;  // ms inside the file
  double duration = 0;    // ms
};
using TMusicItemList = std::vector<TMusicItemInfo>;

class TPlayList {
 public:
  void Add(const TMusicItemInfo& item);
  // Appended at the current Total.
  void Add(const WideString& file_name, double duration);
  // Entry n of the endless repetition: entry n mod count, shifted by (n div count) x Total; an
  // empty entry for an empty list. A negative index is a programming error.
  TMusicItemInfo Get(int32_t n) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  double Total() const { return total_; }
  bool repeat = false;

 private:
  TMusicItemList items_;
  double total_ = 0;
};

struct TSlideMusicInfo {
  TSlideInfo info;     // the slide's timing record
  WideString sound;    // file name or composite description; empty for none
  double soundLength = 0;  // ms
};

struct TExtraMusicItem {
  WideString fileName;
  int32_t startTime = 0;       // ms on the slide
  int32_t startVideoTime = 0;  // ms inside the file
  int32_t duration = 0;        // ms
  double volume = 1.0;
};
using TExtraMusicItemArray = std::vector<TExtraMusicItem>;

class TZemMusicSource : public TObj {
 public:
  // Reads the whole description; raises EAssertionFailed ("Slide not Found") or
  // EMusicConfigError on a bad script. `random_seed` 0 draws from the system.
  explicit TZemMusicSource(TZemSource& source, uint32_t random_seed = 0);

  TZemSource& Source() const { return source_; }
  int32_t SlideCount() const { return static_cast<int32_t>(slides_.size()); }
  const TSlideMusicInfo& Slide(int32_t i) const;
  double ShowDuration() const { return source_.TotalDuration(); }
  const TPlayList& PlayList() const { return playlist_; }
  bool SyncMode() const { return syncMode_; }
  bool Repeat() const { return repeat_; }
  bool LimitToSlide() const { return limitToSlide_; }
  bool ObjectForm() const { return objectForm_; }

 private:
  void BuildObjectForm(const TIniSection& main, uint32_t seed);
  void BuildKeyForm(const TIniSection& main);
  const TIniSection& SlideSectionAt(int32_t index) const;
  TSlideMusicInfo NewSlideRecord(int32_t index) const;

  TZemSource& source_;
  bool syncMode_ = false;
  bool repeat_ = false;
  bool limitToSlide_ = false;
  bool objectForm_ = false;
  std::vector<TSlideMusicInfo> slides_;
  TPlayList playlist_;
};

// The first nested object of a collection whose type name is `type` (lower case), or nullptr.
const TCommonIniSection* FindObjectOfType(const TCommonIniSection& parent, WideView type);

}  // namespace zem
