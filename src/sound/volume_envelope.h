// Volume envelopes: points (time in ms, volume with 1000 = unity) prepared into segments over
// byte positions of the internal format, then evaluated frame by frame by the composite mixer.
// One thread at a time (the mixer's owner).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace zem {

struct TVolumeItem {
  int32_t time = 0;    // ms, relative to the start of its entry
  int32_t volume = 0;  // 0..1000; above 1000 amplifies
};

// One prepared segment end.
struct TVolumeItem2 {
  int64_t position = 0;  // byte position in the internal format
  double slope = 0;      // gain change per frame
  bool last = false;
  double level = 0;      // gain at this point
  bool flat = false;
};

class TVolumeParams {
 public:
  void AddPoint(int32_t time, int32_t volume) { points_.push_back({time, volume}); }
  int32_t Count() const { return static_cast<int32_t>(points_.size()); }
  const std::vector<TVolumeItem>& Points() const { return points_; }
  int32_t InitialVolume() const { return points_.empty() ? 1000 : points_.front().volume; }

  // Builds the segments for an entry of `duration_ms`.
  void Prepare(int32_t duration_ms);
  // Gain at byte position p.
  void Seek(int64_t p);
  // Advances the gain by one frame at byte position p.
  void Step(int64_t p);

  double Gain() const { return gain_; }
  bool Unity() const { return unity_; }
  bool Done() const { return done_; }
  const std::vector<TVolumeItem2>& Segments() const { return segments_; }

  bool automatic = false;  // the click guard envelope

 private:
  void SetGain(double g);
  std::vector<TVolumeItem> points_;
  std::vector<TVolumeItem2> segments_;
  double gain_ = 1.0;
  int32_t cursor_ = 0;
  bool unity_ = true;
  bool done_ = false;
};

// Envelopes whose gains multiply.
class TVolumeParamsList {
 public:
  explicit TVolumeParamsList(bool click_guard) : click_guard_(click_guard) {}

  TVolumeParams& Add();
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TVolumeParams& Item(int32_t i) { return *items_[static_cast<size_t>(i)]; }
  const TVolumeParams& Item(int32_t i) const { return *items_[static_cast<size_t>(i)]; }
  bool ClickGuard() const { return click_guard_; }

  // Drops earlier automatic envelopes, prepares all and, with the click guard, adds the
  // automatic (0, 0), (10, 1000), (D - 10, 1000), (D, 0).
  void Prepare(int32_t duration_ms);
  void Seek(int64_t p);
  void Step(int64_t p);
  // Every envelope done (an empty list counts as done).
  bool Done() const;
  // Product of the gains that are not at unity; `all_unity` when there are none.
  double Gain(bool& all_unity) const;

 private:
  bool click_guard_;
  std::vector<std::unique_ptr<TVolumeParams>> items_;
};

}  // namespace zem
