#include "engine/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zem {

bool TFrameStats::FrameDrawn(double showTime, double clockAtPresent, double presentedAt, bool running,
                             bool picture, double refreshMs) {
  if (!(refreshMs > 0)) refreshMs = 1000.0 / 60;
  std::lock_guard<std::mutex> g(lock_);
  TFrameRecord r{showTime, presentedAt, running ? std::max(0.0, clockAtPresent - showTime) : 0.0, picture};
  ++counts_.drawn;
  if (r.lateness > refreshMs) ++counts_.late;
  counts_.maxLateness = std::max(counts_.maxLateness, r.lateness);
  if (running && continuous_) {
    // Steps in between that should each have shown a frame.
    const double steps = std::floor((showTime - lastShowTime_) / refreshMs + 0.5);
    if (steps > 1) counts_.skipped += uint32_t(std::min(steps - 1, 1e6));
  }
  continuous_ = running;
  lastShowTime_ = showTime;
  const bool first = picture && counts_.firstPictureMs < 0;
  if (first) counts_.firstPictureMs = presentedAt;
  if (records_.size() < kMaxRecords) records_.push_back(r);
  return first;
}

double TPresentLead::Lead(bool transition) const {
  const int k = transition ? 1 : 0;
  if (measured_[k]) return lead_[k];
  return measured_[1 - k] ? lead_[1 - k] : kFirstGuessMs;
}

double TPresentLead::Next(bool transition) {
  const double lead = Lead(transition);
  used_ = used_ < 0 ? lead : std::max(lead, used_ - kStepDownMs);
  return used_;
}

void TPresentLead::Measured(bool transition, double ms) {
  if (!std::isfinite(ms) || ms < 0) return;
  const int k = transition ? 1 : 0;
  double& lead = lead_[k];
  // The first measurement starts from the lead just used, so that show time never steps back.
  if (!measured_[k]) lead = Lead(transition);
  measured_[k] = true;
  ms = std::min(ms, kMaxMs);
  lead = ms > lead ? ms : lead + (ms - lead) / 16;
}

void TFrameStats::NothingDrawn() {
  std::lock_guard<std::mutex> g(lock_);
  continuous_ = false;
}

void TFrameStats::Reset() {
  std::lock_guard<std::mutex> g(lock_);
  records_.clear();
  counts_ = {};
  continuous_ = false;
}

std::vector<TFrameRecord> TFrameStats::Records() const {
  std::lock_guard<std::mutex> g(lock_);
  return records_;
}

namespace {
double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  const size_t k = size_t(std::lround(p / 100 * double(v.size() - 1)));
  std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
  return v[k];
}
}  // namespace

TFrameSummary TFrameStats::Summary() const {
  std::lock_guard<std::mutex> g(lock_);
  TFrameSummary s = counts_;
  std::vector<double> late, gaps;
  late.reserve(records_.size());
  for (size_t i = 0; i < records_.size(); ++i) {
    late.push_back(records_[i].lateness);
    if (i > 0) gaps.push_back(records_[i].presentedAt - records_[i - 1].presentedAt);
  }
  s.lateness50 = Percentile(late, 50);
  s.lateness95 = Percentile(late, 95);
  s.interval50 = Percentile(gaps, 50);
  s.interval95 = Percentile(gaps, 95);
  s.intervalMax = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
  return s;
}

std::vector<std::string> TFrameStats::Describe(const TFrameSummary& s) {
  char a[200], b[200];
  if (s.firstPictureMs >= 0)
    std::snprintf(a, sizeof a, "frames: %u drawn, %u late, %u skipped; first picture after %.0f ms", s.drawn, s.late,
                  s.skipped, s.firstPictureMs);
  else
    std::snprintf(a, sizeof a, "frames: %u drawn, %u late, %u skipped; no picture shown", s.drawn, s.late, s.skipped);
  std::snprintf(b, sizeof b,
                "frame lateness ms: p50 %.1f p95 %.1f max %.1f; present interval ms: p50 %.1f p95 %.1f max %.1f",
                s.lateness50, s.lateness95, s.maxLateness, s.interval50, s.interval95, s.intervalMax);
  return {a, b};
}

}  // namespace zem
