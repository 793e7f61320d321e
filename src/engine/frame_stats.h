// Frame statistics of a playing show, counted the way a video player counts them. Per frame:
// the show time it was composed for and when it was presented. A frame is late when the show
// clock had passed its show time by more than one refresh interval at the present; frames are
// skipped when, while the show runs and every step draws, consecutive frames lie more than
// one refresh interval apart on the show's time line. Also: the time from program start to
// the first frame that showed a picture.
//
// Threads: the engine thread records; any thread reads (a lock guards the records).
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zem {

struct TFrameRecord {
  double showTime = 0;     // ms on the show's time line
  double presentedAt = 0;  // ms since the program started, when the present returned
  double lateness = 0;     // ms the show clock had passed showTime at the present (0 while paused)
  bool picture = false;    // the frame drew a picture's texture
};

struct TFrameSummary {
  uint32_t drawn = 0, late = 0, skipped = 0;
  double firstPictureMs = -1;  // ms since the program started; -1: none yet
  double maxLateness = 0;      // ms
  double lateness50 = 0, lateness95 = 0;
  double interval50 = 0, interval95 = 0, intervalMax = 0;  // ms between presents
};

class TFrameStats {
 public:
  // Most frames kept for the percentiles (the counts go on beyond it).
  static constexpr size_t kMaxRecords = size_t(1) << 18;

  // A drawn frame. `running`: the show clock moves (lateness and skips count only then);
  // `clockAtPresent`: the show clock read right after the present; `refreshMs`: one refresh.
  // True when it is the first frame that showed a picture.
  bool FrameDrawn(double showTime, double clockAtPresent, double presentedAt, bool running, bool picture,
                  double refreshMs);
  // A loop step that drew nothing (no change, or not ready): the next frame starts a new run,
  // so its distance to the last one is no skip.
  void NothingDrawn();
  void Reset();

  TFrameSummary Summary() const;
  std::vector<TFrameRecord> Records() const;
  // "frames: N drawn, L late, S skipped; first picture after F ms" and the distributions, one
  // line each.
  static std::vector<std::string> Describe(const TFrameSummary& s);

 private:
  mutable std::mutex lock_;
  std::vector<TFrameRecord> records_;  // guarded by lock_
  TFrameSummary counts_;               // guarded by lock_ (counts and the first picture)
  bool continuous_ = false;            // guarded by lock_
  double lastShowTime_ = 0;            // guarded by lock_
};

// How far ahead of the show clock a frame is composed so that it is on screen at its show time:
// how far the show clock had passed recent frames' times (before the lead) at their present,
// that is the time from reading the clock to the present plus the lag of the smoothed clock;
// kept apart for frames inside a transition (two slides drawn) and the others. A slower frame
// raises the lead at once, faster ones lower it gently, so a steady show's frames arrive on
// time and a frame that costs more than its neighbours is rarely late.
//
// Threads: engine thread only.
class TPresentLead {
 public:
  static constexpr double kMaxMs = 100;  // a show whose frames take longer runs behind instead
  // Before any frame was measured: about two frames of a software-drawn 720p show.
  static constexpr double kFirstGuessMs = 30;
  // A kind not measured yet takes the other kind's lead.
  double Lead(bool transition) const;
  void Measured(bool transition, double ms);
  // The lead for the next frame: its kind's, but lowered by at most kStepDownMs from the last
  // one used, so that the clock's lag after a costly stretch is still covered and the show
  // never slows abruptly.
  static constexpr double kStepDownMs = 2;
  double Next(bool transition);

 private:
  double used_ = -1;  // the last lead handed out; -1: none yet
  double lead_[2] = {0, 0};
  bool measured_[2] = {false, false};
};

}  // namespace zem
