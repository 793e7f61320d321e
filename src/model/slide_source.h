// The opened show as a time line: the show source reads the main section of the show script
// once and computes, for every slide position, when it begins, when the transition to the next
// slide begins and how long the transitions into and out of it last. It also maps positions to
// slide sections (possibly in a random order), answers the end action of a slide, and repeats.
//
// Threads: built by the engine when a show opens; afterwards read-only, except for the random
// order table (its own lock) and the transition drawing, which only the slide loader uses.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "model/transition_choice.h"
#include "package/file_accessor.h"

namespace zem {

class TCommonIniSection;
class TIniSection;
class TIniStorage;

// One slide's place on the time line (ms).
struct TSlideInfo {
  double start = 0;      // SlideBegin
  double next = 0;       // NextEffectBegin: the transition to the following slide begins
  double inLength = 0;   // start .. PrevEffectEnd
  double outLength = 0;  // next .. SlideEnd
  double end = 0;        // SlideEnd = next + outLength
  WideString id;         // "slideid", or the picture's file name without folders and extension
};
using TSlideInfoList = std::vector<TSlideInfo>;

enum TRepeatMode : uint8_t { kRepeatShow = 0, kCloseAtEnd = 1, kStopAtEnd = 2 };
enum class TEndAction : uint8_t { Pause = 0, Loop = 1, None = 2 };

// Times of the two virtual positions before the show.
constexpr double kVirtualStart1 = -1073741823.0;  // position -1 starts here and ends at 0
constexpr double kVirtualStart2 = -2147483647.0;  // position -2 ends where -1 starts

// Slides beyond this count are not laid on the time line.
constexpr int32_t kMaxSlideCount = 100000;

// Position -> slide number, shared by every opening of the same show in this process.
struct TSlideRandomList {
  std::vector<int32_t> entries;
};

// Forgets every remembered slide order (tests).
void ClearSlideOrders();

// Sorts `numbers` by `keys` (same length), ascending, by swapping the largest remaining key (its
// first occurrence) to the end again and again; equal keys end up in the order this gives.
void SortBySwappingLargestKey(std::vector<int32_t>& keys, std::vector<int32_t>& numbers);

struct TZemSourceOptions {
  bool screenSaver = false;  // the program runs as a screen saver: main keys are forced
  bool fixedSeed = false;    // draw transitions and orders from `seed` (tests, tools)
  uint32_t seed = 0;
};

// The main keys a screen saver has forced ("opt_ssaver" and the rest), or "opt_ssaver" 0.
void ApplyScreenSaverKeys(TIniStorage& storage, bool screen_saver);

// A show script shared read-only between threads (the shell's copy is the engine's too: a large
// show's script is not held twice). It must carry its screen-saver keys already.
struct TSharedScript {
  std::shared_ptr<const TIniStorage> storage;
};

class TZemSource : public TRefObj {
 public:
  // Takes the show script; `files` may be null (no pictures). Raises EAssertionFailed
  // ("Incorrect time") when the synchronisation points go backwards.
  TZemSource(std::unique_ptr<TIniStorage> storage, std::unique_ptr<TFileAccessor> files,
             const TZemSourceOptions& options = {});
  // The same over a shared script (options.screenSaver is then the script's business).
  TZemSource(TSharedScript script, std::unique_ptr<TFileAccessor> files, const TZemSourceOptions& options = {});
  ~TZemSource() override;

  const TIniStorage& Storage() const { return *storage_; }
  const std::shared_ptr<const TIniStorage>& SharedStorage() const { return storage_; }
  // The main section; null when the script has none.
  const TIniSection* Main() const { return main_; }
  TFileAccessor* Files() const { return files_.get(); }

  int32_t SlideCount() const { return count_; }
  TRepeatMode RepeatMode() const { return repeatMode_; }
  double TotalDuration() const { return total_; }
  const TSlideInfoList& Infos() const { return infos_; }
  // Notes about bad input that was mended while the time line was built.
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // The section "Slide" + (n + 1) that plays at an index (n through the random order).
  const TIniSection* SlideSection(int32_t index) const;
  // The slide number (0-based) that plays at an index; -1 for a negative index.
  int32_t SlideNumber(int32_t index) const;
  // Length of the transition into the slide at an index (index count: the wrap-around).
  double GetTransitionLength(int32_t index);
  // The record of a position with its times shifted by the repeats; answers the repeat number.
  // Positions -1 and -2 give the virtual records before the show.
  int32_t GetSlideInfo(int32_t position, TSlideInfo& info) const;
  // The first position from -1 upwards whose start <= t <= next.
  int32_t SlideAtTime(double t) const;
  // The first position whose next time is at least t (-2 and -1 included).
  int32_t FirstPositionNextAtLeast(double t) const;
  // What the slide at an index does at its next time; loopLength for a loop.
  TEndAction GetEndAction(int32_t index, double& loopLength) const;
  bool HasEndAction(int32_t index, double& loopLength) const { return GetEndAction(index, loopLength) != TEndAction::None; }
  // The program a slide runs ("Pers_RunApp" and "RunAppFN").
  bool GetRunApp(int32_t index, WideString& fileName) const;
  // The longest outgoing transition of any slide.
  double MaxOutLength() const { return maxOut_; }

  // Transition choice: the global set and its random state.
  TTransitionSet& Transitions() { return transitions_; }
  // The transition of the slide at an index, drawn again for slides without their own.
  TSlideEffect GetSlideEffect(int32_t index);

  // Main options.
  bool ManualShow() const;
  bool RandomOrder() const;
  WideString ProjectPath() const;
  bool pauseWhenInactive = true;
  int32_t hiderColour = 0;
  double unsharpAmount = 0;
  int32_t unsharpThreshold = 0;

  // The random order of this show (null when "ProjectFilePath" is empty).
  std::shared_ptr<TSlideRandomList> RandomList() const { return random_; }

 private:
  void Init(const TZemSourceOptions& options);
  void BuildOrder();
  void BuildTimings();

  std::shared_ptr<const TIniStorage> storage_;
  std::unique_ptr<TFileAccessor> files_;
  const TIniSection* main_ = nullptr;
  int32_t count_ = 0;
  TRepeatMode repeatMode_ = kRepeatShow;
  TSlideInfoList infos_;
  std::vector<double> lengths_;  // transition into index 0 .. count (the wrap-around)
  double total_ = 0;
  double maxOut_ = 0;
  TTransitionSet transitions_;
  std::shared_ptr<TSlideRandomList> random_;
  std::vector<std::string> warnings_;
};

class TZemShowLocator;
// The locator's show source: made on first use from copies of its accessor and script and kept
// in the locator. Raises the source's errors (broken timing) and leaves the slot empty then.
// The locator must have a script.
TRef<TZemSource> LocatorShowSource(TZemShowLocator& locator, const TZemSourceOptions& options);

}  // namespace zem
