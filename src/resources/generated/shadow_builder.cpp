#include "resources/generated/shadow_builder.h"

#include <algorithm>
#include <cmath>

namespace zem {

namespace {

struct TCurve {
  const char* name;
  std::vector<TPointI> points;
};

const std::vector<TCurve>& Curves() {
  static const std::vector<TCurve> kCurves = {
      {"Linear", {{0, 0}, {255, 255}}},
      {"Cone", {{0, 0}, {128, 255}, {255, 0}}},
      {"Cone - Inverted", {{0, 255}, {128, 0}, {255, 255}}},
      {"Cove - Deep", {{1, 63}, {148, 110}, {192, 255}}},
      {"Cove - Shallow", {{0, 127}, {83, 174}, {128, 255}}},
      {"Gaussian", {{0, 0}, {63, 11}, {113, 63}, {146, 194}, {191, 241}, {255, 255}}},
      {"Half Round", {{0, 0}, {27, 84}, {81, 178}, {173, 236}, {255, 255}}},
      {"Ring", {{0, 0}, {86, 255}, {172, 0}, {255, 255}}},
      {"Ring - Double", {{0, 0}, {48, 255}, {105, 0}, {158, 253}, {214, 1}, {255, 255}}},
      {"Tooth", {{0, 0}, {64, 127}, {128, 1}, {193, 127}, {255, 0}}},
  };
  return kCurves;
}

const std::vector<TPointI> kIdentity = {{0, 0}, {255, 255}};

int Clamp255(double v) { return int(std::clamp(std::lround(v), 0L, 255L)); }

// Cubic B-spline: |x|^3/2 - x^2 + 2/3 below 1, (2 - |x|)^3/6 below 2.
double BSpline(double x) {
  x = std::fabs(x);
  if (x < 1) return x * x * x / 2 - x * x + 2.0 / 3.0;
  if (x < 2) {
    const double t = 2 - x;
    return t * t * t / 6;
  }
  return 0;
}

// Resampling weights: output i takes inputs first..first + w.size() - 1.
struct TTaps {
  int32_t first = 0;
  std::vector<float> w;
};

// Shrinking n inputs onto k outputs centred at c0 + i * f: the kernel widened by f, normalised
// by its whole sum (inputs outside the plane are 0).
std::vector<TTaps> ShrinkTaps(int32_t n, int32_t k, double c0, double f) {
  std::vector<TTaps> taps(static_cast<size_t>(k));
  for (int32_t i = 0; i < k; ++i) {
    const double c = c0 + i * f;
    const int32_t lo = int32_t(std::floor(c - 2 * f)), hi = int32_t(std::ceil(c + 2 * f));
    double total = 0;
    for (int32_t x = lo; x <= hi; ++x) total += BSpline((x - c) / f);
    TTaps& t = taps[size_t(i)];
    t.first = std::max(lo, 0);
    for (int32_t x = t.first; x <= std::min(hi, n - 1); ++x) t.w.push_back(float(BSpline((x - c) / f) / total));
  }
  return taps;
}

// Enlarging k samples at c0 + i * f back onto n outputs: B-spline of unit spacing in samples.
std::vector<TTaps> EnlargeTaps(int32_t n, int32_t k, double c0, double f) {
  std::vector<TTaps> taps(static_cast<size_t>(n));
  for (int32_t x = 0; x < n; ++x) {
    const double s = (x - c0) / f;
    const int32_t lo = std::max(int32_t(std::floor(s)) - 1, 0), hi = std::min(int32_t(std::ceil(s)) + 1, k - 1);
    double total = 0;
    for (int32_t i = lo; i <= hi; ++i) total += BSpline(s - i);
    TTaps& t = taps[size_t(x)];
    t.first = lo;
    for (int32_t i = lo; i <= hi; ++i) t.w.push_back(total > 0 ? float(BSpline(s - i) / total) : 0.0f);
  }
  return taps;
}

bool Go(const TKeepGoing& keepGoing) { return !keepGoing || keepGoing(); }

int64_t Halved(int64_t v, int32_t n) { return (v + (int64_t(1) << n) - 1) >> n; }

// Length of [a0, a1) inside [b0, b1).
int64_t Overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
  return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

// Fills `out` with the halved silhouette of an extended plane (inner area [mx, mx + iw) x
// [my, my + ih) of an ew x eh plane, margins at `marginAlpha`); innerMean(i, j, x0, y0, x1, y1)
// gives the mean alpha of the inner area within a block (extended coordinates).
template <class F>
void Compose(int64_t ew, int64_t eh, int64_t mx, int64_t my, int64_t iw, int64_t ih, uint8_t marginAlpha,
             const TShadowLayout& layout, TAlphaPlane& out, F&& innerMean) {
  out.width = layout.silWidth;
  out.height = layout.silHeight;
  out.alpha.assign(size_t(out.width) * size_t(out.height), 0);
  const int64_t s = int64_t(1) << layout.halvings;
  for (int32_t j = 0; j < out.height; ++j) {
    const int64_t y0 = j * s, y1 = std::min<int64_t>(y0 + s, eh);
    const int64_t innerH = Overlap(y0, y1, my, my + ih);
    for (int32_t i = 0; i < out.width; ++i) {
      const int64_t x0 = i * s, x1 = std::min<int64_t>(x0 + s, ew);
      const double area = double(x1 - x0) * double(y1 - y0);
      if (!(area > 0)) continue;
      const double inner = double(Overlap(x0, x1, mx, mx + iw)) * double(innerH);
      double sum = (area - inner) * marginAlpha;
      if (inner > 0)
        sum += inner * innerMean(i, j, std::max(x0, mx), std::max(y0, my), std::min(x1, mx + iw), std::min(y1, my + ih));
      out.alpha[size_t(j) * size_t(out.width) + size_t(i)] = uint8_t(Clamp255(sum / area));
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------- spread curves

const char* SpreadCurveName(int index) {
  return index >= 0 && index < kSpreadCurveCount ? Curves()[size_t(index)].name : "";
}

std::vector<uint8_t> SpreadCurveBytes(int index) {
  std::vector<uint8_t> out;
  if (index < 0 || index >= kSpreadCurveCount) return out;
  auto put = [&](int v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  };
  const auto& points = Curves()[size_t(index)].points;
  put(int(points.size()));
  for (const TPointI& p : points) {
    put(p.x);
    put(p.y);
  }
  return out;
}

bool ReadStoredCurve(std::span<const uint8_t> bytes, std::vector<TPointI>& points) {
  points = kIdentity;
  auto get = [&](size_t at) { return int(bytes[at]) << 8 | bytes[at + 1]; };
  if (bytes.size() < 2) return false;
  const int count = get(0);
  if (count < 2 || count > 255 || bytes.size() < 2 + size_t(count) * 4) return false;
  std::vector<TPointI> read;
  for (int i = 0; i < count; ++i) {
    const int x = get(2 + size_t(i) * 4), y = get(4 + size_t(i) * 4);
    if (x > 255 || y > 255) return false;
    read.push_back({x, y});
  }
  points = std::move(read);
  return true;
}

TSpreadTable MakeSpreadTable(const std::vector<TPointI>& given) {
  TSpreadTable table{};
  for (int i = 0; i < 256; ++i) table[size_t(i)] = uint8_t(i);
  if (given.size() < 2) return table;
  // A point at the x of the point kept before it is dropped; the first and the last stay.
  std::vector<TPointI> p{given.front()};
  for (size_t i = 1; i + 1 < given.size(); ++i)
    if (given[i].x != p.back().x) p.push_back(given[i]);
  p.push_back(given.back());
  const size_t n = p.size();
  for (size_t j = 0; j + 1 < n; ++j) {
    const TPointI& a = p[j == 0 ? 0 : j - 1];
    const TPointI& b = p[j];
    const TPointI& c = p[j + 1];
    const TPointI& d = p[j + 2 < n ? j + 2 : n - 1];
    // Uniform Catmull-Rom, sampled at t = 0, 0.001, ..., 1 by forward differences.
    auto coeffs = [](double p0, double p1, double p2, double p3, double out[4]) {
      out[0] = p1;
      out[1] = (p2 - p0) / 2;
      out[2] = (2 * p0 - 5 * p1 + 4 * p2 - p3) / 2;
      out[3] = (-p0 + 3 * p1 - 3 * p2 + p3) / 2;
    };
    double cx[4], cy[4];
    coeffs(a.x, b.x, c.x, d.x, cx);
    coeffs(a.y, b.y, c.y, d.y, cy);
    constexpr double h = 0.001;
    auto start = [h](const double k[4], double fd[4]) {
      fd[0] = k[0];
      fd[1] = k[1] * h + k[2] * h * h + k[3] * h * h * h;
      fd[2] = 2 * k[2] * h * h + 6 * k[3] * h * h * h;
      fd[3] = 6 * k[3] * h * h * h;
    };
    double fx[4], fy[4];
    start(cx, fx);
    start(cy, fy);
    for (int step = 0; step <= 1000; ++step) {
      table[size_t(Clamp255(fx[0]))] = uint8_t(Clamp255(fy[0]));
      for (int q = 0; q < 3; ++q) {
        fx[q] += fx[q + 1];
        fy[q] += fy[q + 1];
      }
    }
  }
  const TPointI& first = p.front();
  const TPointI& last = p.back();
  for (int i = 0; i < std::clamp(first.x, 0, 256); ++i) table[size_t(i)] = uint8_t(std::clamp(first.y, 0, 255));
  for (int i = std::clamp(last.x, 0, 255); i < 256; ++i) table[size_t(i)] = uint8_t(std::clamp(last.y, 0, 255));
  for (const TPointI& q : p) table[size_t(std::clamp(q.x, 0, 255))] = uint8_t(std::clamp(q.y, 0, 255));
  return table;
}

bool SpreadCurveTable(int index, TSpreadTable& out) {
  std::vector<TPointI> points;
  const bool ok = ReadStoredCurve(SpreadCurveBytes(index), points);
  out = MakeSpreadTable(points);
  return ok;
}

// ---------------------------------------------------------------------------- silhouettes

TShadowLayout ComputeShadowLayout(int64_t width, int64_t height, double radius) {
  TShadowLayout l;
  constexpr int64_t kLimit = int64_t(1) << 40;
  if (width < 1 || height < 1 || width > kLimit || height > kLimit) return l;
  if (!std::isfinite(radius) || radius < 0) radius = 0;
  radius = std::min(radius, kShadowMaxRadius);
  for (int32_t n = 0; n <= 41; ++n) {
    const int64_t w = Halved(width, n), h = Halved(height, n);
    if (w * h > kShadowMaxPixels || w > kShadowMaxSide || h > kShadowMaxSide) continue;
    const double r = radius / double(int64_t(1) << n);
    const int64_t pad = int64_t(std::ceil(2.5 * (r + 1)));
    const int64_t pw = w + 2 * pad, ph = h + 2 * pad;
    if (pw * ph > kShadowMaxPaddedPixels || pw > kShadowMaxPaddedSide || ph > kShadowMaxPaddedSide) continue;
    l.halvings = n;
    l.silWidth = int32_t(w);
    l.silHeight = int32_t(h);
    l.pad = int32_t(pad);
    l.radius = float(r);
    return l;
  }
  return l;
}

bool PictureSilhouette(const TBitmap& pic, int32_t level, const TRectI& rectIn, int32_t marginX, int32_t marginY,
                       uint8_t marginAlpha, const TShadowLayout& layout, TAlphaPlane& out,
                       const TKeepGoing& keepGoing) {
  if (!layout.Valid() || pic.Empty()) return false;
  level = std::clamp(level, 0, 30);
  const int64_t scale = int64_t(1) << level;
  // The rectangle inside the reduced picture.
  const int64_t lw = Halved(pic.Width(), level), lh = Halved(pic.Height(), level);
  const int64_t rl = std::clamp<int64_t>(rectIn.left, 0, lw), rt = std::clamp<int64_t>(rectIn.top, 0, lh);
  const int64_t rr = std::clamp<int64_t>(rectIn.right, rl, lw), rb = std::clamp<int64_t>(rectIn.bottom, rt, lh);
  const int64_t mx = std::max(marginX, 0), my = std::max(marginY, 0);
  const int64_t iw = rr - rl, ih = rb - rt;
  const int64_t ew = iw + 2 * mx, eh = ih + 2 * my;
  const int32_t n = layout.halvings;

  // Mean alpha of the inner area per halved pixel, from the full-size picture pixels: each
  // halved column covers a run of picture columns, summed row by row.
  std::vector<uint64_t> sums, counts;
  const bool hasAlpha = pic.Format() == TPixelFormat::Argb32;
  if (hasAlpha && iw > 0 && ih > 0) {
    sums.assign(size_t(layout.silWidth) * size_t(layout.silHeight), 0);
    counts.assign(sums.size(), 0);
    const int64_t x0 = rl * scale, x1 = std::min<int64_t>(rr * scale, pic.Width());
    // Runs of picture columns per halved column (extended x = (x >> level) - rl + mx).
    struct TRun {
      int32_t column;
      int64_t from, to;
    };
    std::vector<TRun> runs;
    // Computed in floating point: far-off columns only need to land outside [x0, x1).
    auto pictureX = [&](int64_t column) {
      const double x = (double(column) * double(int64_t(1) << n) - double(mx) + double(rl)) * double(scale);
      return int64_t(std::clamp(x, double(x0), double(x1)));
    };
    for (int32_t c = 0; c < layout.silWidth; ++c) {
      const int64_t from = pictureX(c), to = c + 1 == layout.silWidth ? x1 : pictureX(int64_t(c) + 1);
      if (from < to) runs.push_back({c, from, to});
    }
    const int64_t y1 = std::min<int64_t>(rb * scale, pic.Height());
    for (int64_t y = rt * scale; y < y1; ++y) {
      if ((y & 255) == 0 && !Go(keepGoing)) return false;
      const int64_t row = std::min<int64_t>(((y >> level) - rt + my) >> n, layout.silHeight - 1);
      uint64_t* s = sums.data() + size_t(row) * size_t(layout.silWidth);
      uint64_t* c = counts.data() + size_t(row) * size_t(layout.silWidth);
      const uint8_t* line = pic.Row(int32_t(y)) + 3;
      for (const TRun& r : runs) {
        uint32_t sum = 0;
        for (int64_t x = r.from; x < r.to; ++x) sum += line[x * 4];
        s[r.column] += sum;
        c[r.column] += uint64_t(r.to - r.from);
      }
    }
  }
  if (!Go(keepGoing)) return false;
  Compose(ew, eh, mx, my, iw, ih, marginAlpha, layout, out,
          [&](int32_t i, int32_t j, int64_t, int64_t, int64_t, int64_t) -> double {
            if (!hasAlpha) return 255;
            const size_t k = size_t(j) * size_t(layout.silWidth) + size_t(i);
            return counts[k] ? double(sums[k]) / double(counts[k]) : 0;
          });
  return true;
}

void BoxSilhouette(int32_t width, int32_t height, int32_t marginX, int32_t marginY, uint8_t marginAlpha,
                   uint8_t a1, uint8_t a2, uint8_t style, const TShadowLayout& layout, TAlphaPlane& out) {
  const int64_t iw = std::max(width, 0), ih = std::max(height, 0);
  const int64_t mx = std::max(marginX, 0), my = std::max(marginY, 0);
  const double c1 = a1, c2 = a2, m = (a1 + a2) / 2;  // the mean is rounded down, as the drawer does
  // Corner alphas top-left, top-right, bottom-left, bottom-right per fill style.
  static const int8_t kCorners[9][4] = {{0, 2, 2, 1}, {2, 0, 1, 2}, {1, 2, 2, 0}, {2, 1, 0, 2}, {1, 1, 0, 0},
                                        {0, 0, 1, 1}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 0, 0, 0}};
  const double values[3] = {c1, c2, m};
  const int8_t* k = kCorners[style <= 8 ? style : 8];
  const double tl = values[k[0]], tr = values[k[1]], bl = values[k[2]], br = values[k[3]];
  const bool opaque = a1 == 255 && a2 == 255;
  Compose(iw + 2 * mx, ih + 2 * my, mx, my, iw, ih, marginAlpha, layout, out,
          [&](int32_t, int32_t, int64_t x0, int64_t y0, int64_t x1, int64_t y1) -> double {
            if (opaque) return 255;
            // Two triangles, (TL, TR, BL) and (TR, BL, BR), blend their corners linearly.
            const double u = ((x0 + x1) / 2.0 - mx) / double(iw), v = ((y0 + y1) / 2.0 - my) / double(ih);
            if (u + v <= 1) return tl + u * (tr - tl) + v * (bl - tl);
            return br + (1 - u) * (bl - br) + (1 - v) * (tr - br);
          });
}

// ---------------------------------------------------------------------------- blur and colour

bool RenderShadow(const TAlphaPlane& sil, const TShadowLayout& layout, const TShadowStyle& style, TBitmap& out,
                  const TKeepGoing& keepGoing) {
  out.Clear();
  if (!layout.Valid() || sil.width != layout.silWidth || sil.height != layout.silHeight) return false;
  const int32_t nx = layout.Width(), ny = layout.Height(), pad = layout.pad;
  // Shrink by r + 1 and enlarge back with the cubic B-spline.
  const double f = double(layout.radius) + 1;
  const int32_t kx = int32_t(std::ceil((nx - 1 + 2 * f) / f)) + 1, ky = int32_t(std::ceil((ny - 1 + 2 * f) / f)) + 1;
  const std::vector<TTaps> downX = ShrinkTaps(nx, kx, -f, f), downY = ShrinkTaps(ny, ky, -f, f);
  const std::vector<TTaps> upX = EnlargeTaps(nx, kx, -f, f), upY = EnlargeTaps(ny, ky, -f, f);

  // Rows of the silhouette shrunk across (the padding rows are 0).
  std::vector<float> across(size_t(ny) * size_t(kx), 0.0f);
  std::vector<float> line(size_t(nx), 0.0f);
  for (int32_t y = 0; y < sil.height; ++y) {
    if ((y & 255) == 0 && !Go(keepGoing)) return false;
    std::fill(line.begin(), line.end(), 0.0f);
    const uint8_t* src = sil.alpha.data() + size_t(y) * size_t(sil.width);
    for (int32_t x = 0; x < sil.width; ++x) line[size_t(x + pad)] = src[x];
    float* dst = across.data() + size_t(y + pad) * size_t(kx);
    for (int32_t i = 0; i < kx; ++i) {
      const TTaps& t = downX[size_t(i)];
      float sum = 0;
      for (size_t q = 0; q < t.w.size(); ++q) sum += t.w[q] * line[size_t(t.first) + q];
      dst[i] = sum;
    }
  }
  if (!Go(keepGoing)) return false;
  // Shrunk down, then enlarged back, row by row.
  std::vector<float> small(size_t(ky) * size_t(kx), 0.0f);
  for (int32_t j = 0; j < ky; ++j) {
    const TTaps& t = downY[size_t(j)];
    float* dst = small.data() + size_t(j) * size_t(kx);
    for (size_t q = 0; q < t.w.size(); ++q) {
      const float w = t.w[q];
      const float* src = across.data() + (size_t(t.first) + q) * size_t(kx);
      for (int32_t i = 0; i < kx; ++i) dst[i] += w * src[i];
    }
  }
  if (!Go(keepGoing)) return false;
  TSpreadTable table{};
  const bool spread = style.spreadIndex > 0 && style.spreadIndex < kSpreadCurveCount &&
                      SpreadCurveTable(style.spreadIndex, table);
  // The 4096-entry table, interpolated between the curve's 256 entries.
  std::vector<float> fine;
  if (spread) {
    fine.resize(4096);
    for (int i = 0; i < 4096; ++i) {
      const double p = i * 255.0 / 4095.0;
      const int lo = std::min(int(p), 254);
      fine[size_t(i)] = float(table[size_t(lo)] + (p - lo) * (table[size_t(lo) + 1] - table[size_t(lo)]));
    }
  }
  const float opacity = std::isfinite(style.opacity) ? std::clamp(style.opacity, 0.0f, 100.0f) : 59.0f;
  const int32_t top = int32_t(opacity * 255 / 100);
  const uint32_t rgb = uint32_t(style.red) << 16 | uint32_t(style.green) << 8 | style.blue;
  if (!out.Allocate(nx, ny, TPixelFormat::Argb32)) return false;
  // The enlarging taps across, flattened to four per pixel (the row read has room past its end).
  struct TQuad {
    int32_t first;
    float w[4];
  };
  std::vector<TQuad> quads(static_cast<size_t>(nx));
  for (int32_t x = 0; x < nx; ++x) {
    const TTaps& t = upX[size_t(x)];
    TQuad& q = quads[size_t(x)];
    q = {t.first, {0, 0, 0, 0}};
    for (size_t i = 0; i < t.w.size() && i < 4; ++i) q.w[i] = t.w[i];
  }
  // Output pixel per rounded alpha.
  uint32_t pixel[256];
  for (int32_t a = 0; a < 256; ++a) pixel[a] = uint32_t(a <= 0 ? 0 : a >= 255 ? top : a * top / 255) << 24 | rgb;
  std::vector<float> rowSmall(static_cast<size_t>(kx) + 4);
  for (int32_t y = 0; y < ny; ++y) {
    if ((y & 255) == 0 && !Go(keepGoing)) {
      out.Clear();
      return false;
    }
    const TTaps& t = upY[size_t(y)];
    std::fill(rowSmall.begin(), rowSmall.end(), 0.0f);
    for (size_t q = 0; q < t.w.size(); ++q) {
      const float w = t.w[q];
      const float* src = small.data() + (size_t(t.first) + q) * size_t(kx);
      for (int32_t i = 0; i < kx; ++i) rowSmall[size_t(i)] += w * src[i];
    }
    uint32_t* dst = reinterpret_cast<uint32_t*>(out.Row(y));
    for (int32_t x = 0; x < nx; ++x) {
      const TQuad& q = quads[size_t(x)];
      const float* r = rowSmall.data() + q.first;
      float v = std::clamp(q.w[0] * r[0] + q.w[1] * r[1] + q.w[2] * r[2] + q.w[3] * r[3], 0.0f, 255.0f);
      if (spread) v = fine[size_t(v / 255.0f * 4095.0f + 0.5f)];
      dst[x] = pixel[int32_t(v + 0.5f)];
    }
  }
  return true;
}

}  // namespace zem
