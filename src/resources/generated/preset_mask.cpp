#include "resources/generated/preset_mask.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/log.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// The parts after the prefix, split at ":", each without the spaces before it.
std::vector<WideView> Parts(WideView rest) {
  std::vector<WideView> parts;
  size_t pos = 0;
  while (parts.size() < 5) {
    const size_t colon = rest.find(u':', pos);
    WideView part = rest.substr(pos, colon == WideView::npos ? WideView::npos : colon - pos);
    while (!part.empty() && part.front() == u' ') part.remove_prefix(1);
    parts.push_back(part);
    if (colon == WideView::npos) break;
    pos = colon + 1;
  }
  return parts;
}

float Percent(const std::vector<WideView>& parts, size_t i) {
  double v = 0;
  if (i >= parts.size() || !TryParseIniFloat(parts[i], v) || !std::isfinite(v)) return 0;
  return float(std::clamp(v, 0.0, 100.0));
}

// Grey of a pixel at distance d from the centre line, with limit r and a soft band s.
uint8_t Grey(double d, double r, double s) {
  if (s <= 0) return r > d ? 255 : 0;
  if (r - s > d) return 255;
  if (d >= r) return 0;
  return uint8_t(255 - std::lround(255 * MaskEase((s + (d - r)) / s)));
}

}  // namespace

double MaskEase(double x) { return x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x); }

bool ParsePresetMaskName(WideView name, TPresetMask& out) {
  const WideView prefix(kPresetMaskPrefix);
  if (name.substr(0, prefix.size()) != prefix) return false;
  const std::vector<WideView> parts = Parts(name.substr(prefix.size()));
  out = TPresetMask{};
  int32_t v = 0;
  if (parts.size() > 0 && TryParseIniInteger(parts[0], v)) out.width = v;
  if (parts.size() > 1 && TryParseIniInteger(parts[1], v)) out.height = v;
  if (parts.size() > 2 && TryParseIniInteger(parts[2], v)) out.shape = v == 1 ? 1 : 0;
  out.softness = Percent(parts, 3);
  out.corner = Percent(parts, 4);
  return true;
}

TBitmap MakePresetMask(const TPresetMask& m) {
  TBitmap bmp;
  const int32_t w = m.width, h = m.height;
  if (w < 1 || h < 1 || w > kMaxPresetMaskSide || h > kMaxPresetMaskSide ||
      !bmp.Allocate(w, h, TPixelFormat::Rgb24)) {
    LogLine("PresetedMask: refused size " + std::to_string(w) + "x" + std::to_string(h));
    return {};
  }
  const double softness = std::isfinite(m.softness) ? std::clamp(double(m.softness), 0.0, 100.0) : 0;
  const double corner = std::isfinite(m.corner) ? std::clamp(double(m.corner), 0.0, 100.0) : 0;
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  const int32_t half = std::min(w / 2, h / 2);
  std::vector<uint8_t> row(static_cast<size_t>(w));
  if (m.shape == 1) {
    // Ellipse: distances along y stretched to the width.
    const double r = (w - 1) / 2.0, s = half * softness / 100, k = double(w) / h;
    for (int32_t y = 0; y < h; ++y) {
      const double dy = (y - cy) * k;
      for (int32_t x = 0; x < w; ++x) row[size_t(x)] = Grey(std::sqrt((x - cx) * (x - cx) + dy * dy), r, s);
      uint8_t* p = bmp.Row(y);
      for (int32_t x = 0; x < w; ++x) p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = row[size_t(x)];
    }
    return bmp;
  }
  // Rounded rectangle: inside the corner squares the distance is taken from the corner's
  // centre, elsewhere from the nearer edge.
  const double c = std::trunc(half * corner / 100), s = c * softness / 100 + 1;
  const double left = c - 0.5, right = w - 0.5 - c, top = c - 0.5, bottom = h - 0.5 - c;
  for (int32_t y = 0; y < h; ++y) {
    const bool cornerRow = y < top || y > bottom;
    const double ccy = y < top ? top : bottom;
    const uint8_t gy = Grey(std::fabs(y - cy), h / 2.0, s);
    for (int32_t x = 0; x < w; ++x) {
      if (cornerRow && (x < left || x > right)) {
        const double ccx = x < left ? left : right;
        row[size_t(x)] = Grey(std::hypot(x - ccx, y - ccy), c, s);
      } else {
        row[size_t(x)] = std::min(gy, Grey(std::fabs(x - cx), w / 2.0, s));
      }
    }
    uint8_t* p = bmp.Row(y);
    for (int32_t x = 0; x < w; ++x) p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = row[size_t(x)];
  }
  return bmp;
}

}  // namespace zem
