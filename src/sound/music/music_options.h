// Translation of the object form of the music script ("music" objects with tracks, items,
// options and sound comments) into composite descriptions.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "foundation/strings.h"
#include "sound/composite_params.h"
#include "sound/music/music_source.h"

namespace zem {

class TCommonIniSection;
class TIniStorage;

// Adds the envelope described by a "VolumeParams" value ("position:gain,..." with positions in
// samples at 44100 per second and gains in 16.16 fixed point) to `list`, its times shifted by
// -shift_ms. An empty value adds nothing. Raises EMusicConfigError on a number that is not an
// integer.
void AddVolumeParamsText(WideView text, int32_t shift_ms, TVolumeParamsList& list);

class TMusicOptionsReader {
 public:
  static constexpr int32_t kNoLimit = 2147483647;

  // `main` is the show's main section (null: no slides, no synchronisation points).
  TMusicOptionsReader(const TIniStorage& storage, const TCommonIniSection* main);

  // Translates one "music" object; the results below replace those of the previous run.
  void ReadMusicObject(const TCommonIniSection& music, const TExtraMusicItemArray& extra,
                       bool disable_random);

  // The start a "GUID" links to (already adjusted by the cross mode), or -1.
  int32_t LinkedStart(WideView guid, int32_t cross_mode, int32_t cross, int32_t pause) const;

  // Seeds the generator once per run (0: from the system).
  void SetSeed(uint32_t seed) { seed_ = seed; }

  const std::vector<int32_t>& SyncTable() const { return sync_; }
  int32_t SlideCount() const { return slideCount_; }

  // Results of the last run.
  WideString mainText;
  int32_t mainDuration = 0;
  bool isRepeat = false;
  WideString slideText;
  int32_t slideDuration = 0;
  // Set by the caller before a slide is translated (0 = none).
  int32_t slideLengthLimit = 0;

 private:
  struct TWorkItem {
    const TCommonIniSection* object = nullptr;  // null: a track separator
    bool random = false;                         // separators: the track's items are shuffled
    uint32_t key = 0;
  };
  void Walk(const TCommonIniSection& parent, std::vector<TWorkItem>& work,
            const TExtraMusicItemArray& extra, bool& had_comment);
  void ReadSlideSound(const TCommonIniSection* comment, const TExtraMusicItemArray& extra);
  uint32_t NextKey();

  const TIniStorage& storage_;
  const TCommonIniSection* main_;
  std::vector<int32_t> sync_;
  int32_t slideCount_ = 0;
  std::map<WideString, int32_t> linked_;
  std::array<uint32_t, 256> keys_{};
  uint32_t counter_ = 0;
  uint32_t seed_ = 0;
  std::mt19937 random_;
};

}  // namespace zem
