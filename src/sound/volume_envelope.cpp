#include "sound/volume_envelope.h"

#include <algorithm>

#include "sound/sound_format.h"

namespace zem {

void TVolumeParams::SetGain(double g) {
  gain_ = g;
  unity_ = g > 0.99 && g < 1.01;
}

void TVolumeParams::Prepare(int32_t duration_ms) {
  segments_.clear();
  cursor_ = 0;
  done_ = false;
  std::vector<TVolumeItem> pts = points_;
  if (!pts.empty()) pts.push_back({duration_ms, pts.back().volume});
  std::stable_sort(pts.begin(), pts.end(), [](const TVolumeItem& a, const TVolumeItem& b) { return a.time < b.time; });
  // Of two neighbours with the same time the later one stays.
  std::vector<TVolumeItem> unique;
  for (size_t i = 0; i < pts.size(); ++i) {
    if (i + 1 < pts.size() && pts[i + 1].time == pts[i].time) continue;
    unique.push_back(pts[i]);
  }
  int64_t prev_pos = 0;
  double prev_vol = InitialVolume();
  for (size_t k = 0; k < unique.size(); ++k) {
    TVolumeItem2 s;
    s.position = BytePosOfTime(unique[k].time);
    const double vol = unique[k].volume;
    if (s.position == prev_pos) {
      s.slope = 0;
      s.flat = true;
    } else {
      s.slope = (vol - prev_vol) / (static_cast<double>(s.position - prev_pos) * 250.0);
      s.flat = vol == prev_vol;
    }
    s.last = k + 1 == unique.size();
    s.level = vol / 1000.0;
    segments_.push_back(s);
    prev_pos = s.position;
    prev_vol = vol;
  }
  SetGain(InitialVolume() / 1000.0);
}

void TVolumeParams::Seek(int64_t p) {
  done_ = false;
  if (segments_.empty()) {
    // No points: unity (the initial volume) for ever.
    SetGain(InitialVolume() / 1000.0);
    done_ = true;
    return;
  }
  double g = 0;
  for (size_t k = 0; k < segments_.size(); ++k) {
    if (segments_[k].position > p) {
      g = segments_[k].level - static_cast<double>(segments_[k].position - p) * segments_[k].slope / 4.0;
      cursor_ = static_cast<int32_t>(k);
      break;
    }
  }
  SetGain(g);
}

void TVolumeParams::Step(int64_t p) {
  if (p < 0) {
    SetGain(InitialVolume() / 1000.0);
    return;
  }
  if (segments_.empty() || p > segments_.back().position) {
    done_ = true;
    return;
  }
  size_t k = static_cast<size_t>(std::clamp<int32_t>(cursor_, 0, static_cast<int32_t>(segments_.size()) - 1));
  if (k > 0 && segments_[k - 1].position >= p) k = 0;
  while (segments_[k].position < p) ++k;  // ends at the last segment: p <= its position
  cursor_ = static_cast<int32_t>(k);
  SetGain(gain_ + segments_[k].slope);
}

TVolumeParams& TVolumeParamsList::Add() {
  items_.push_back(std::make_unique<TVolumeParams>());
  return *items_.back();
}

void TVolumeParamsList::Prepare(int32_t duration_ms) {
  items_.erase(std::remove_if(items_.begin(), items_.end(), [](const auto& e) { return e->automatic; }), items_.end());
  for (auto& e : items_) e->Prepare(duration_ms);
  if (click_guard_) {
    TVolumeParams& a = Add();
    a.automatic = true;
    a.AddPoint(0, 0);
    a.AddPoint(10, 1000);
    a.AddPoint(duration_ms - 10, 1000);
    a.AddPoint(duration_ms, 0);
    a.Prepare(duration_ms);
  }
}

void TVolumeParamsList::Seek(int64_t p) {
  for (auto& e : items_) e->Seek(p);
}

void TVolumeParamsList::Step(int64_t p) {
  for (auto& e : items_) e->Step(p);
}

bool TVolumeParamsList::Done() const {
  for (const auto& e : items_)
    if (!e->Done()) return false;
  return true;
}

double TVolumeParamsList::Gain(bool& all_unity) const {
  double g = 1.0;
  all_unity = true;
  for (const auto& e : items_) {
    if (e->Unity()) continue;
    g *= e->Gain();
    all_unity = false;
  }
  return g;
}

}  // namespace zem
