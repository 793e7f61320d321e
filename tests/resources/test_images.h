// Helpers for the picture tests: test files, reference decoding with ImageMagick and djpeg,
// picture comparison.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/stream.h"
#include "resources/decoders.h"
#include "test_data.h"

namespace zem::test {

inline std::string ImagePath(const std::string& rel) { return DataFile("images/" + rel); }

inline std::vector<std::string> FilesIn(const std::string& rel_folder, const std::string& ext) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::directory_iterator(ImagePath(rel_folder)))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

// Runs a command and returns its standard output.
inline bool RunCapture(const std::string& cmd, std::vector<uint8_t>& out) {
  out.clear();
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  return pclose(p) == 0;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Parses a PAM (RGB_ALPHA) or binary PPM (P6) into a 32-bit picture.
inline bool ParseNetpbm(const std::vector<uint8_t>& d, TBitmap& out) {
  std::string head(d.begin(), d.begin() + std::min<size_t>(d.size(), 256));
  int w = 0, h = 0, depth = 3;
  size_t data = 0;
  if (head.rfind("P7", 0) == 0) {
    size_t e = head.find("ENDHDR\n");
    if (e == std::string::npos) return false;
    std::sscanf(head.c_str() + head.find("WIDTH"), "WIDTH %d", &w);
    std::sscanf(head.c_str() + head.find("HEIGHT"), "HEIGHT %d", &h);
    std::sscanf(head.c_str() + head.find("DEPTH"), "DEPTH %d", &depth);
    data = e + 7;
  } else if (head.rfind("P6", 0) == 0 || head.rfind("P5", 0) == 0) {
    int maxval = 0, consumed = 0;
    if (std::sscanf(head.c_str() + 2, " %d %d %d%n", &w, &h, &maxval, &consumed) != 3) return false;
    data = size_t(consumed) + 3;
    depth = head[1] == '5' ? 1 : 3;
  } else {
    return false;
  }
  if (!out.Allocate(w, h, TPixelFormat::Argb32) || d.size() < data + size_t(w) * h * depth) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &d[data + (size_t(y) * w + x) * depth];
      uint32_t a = depth == 4 ? p[3] : 255;
      if (depth == 1) out.SetPixel(x, y, 0xFF000000u | (uint32_t(p[0]) * 0x010101u));
      else out.SetPixel(x, y, (a << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]);
    }
  return true;
}

// ImageMagick's reading of a file (first frame), as a 32-bit picture. By default the samples are
// taken as they are stored (no gamma or colour-space conversion, as the player does); CMYK
// files need `convert_colors`.
inline bool ConvertReference(const std::string& path, TBitmap& out, bool convert_colors = false) {
  std::vector<uint8_t> bytes;
  std::string options = convert_colors ? "" : " -set colorspace sRGB";
  return RunCapture("convert " + Quote(path + "[0]") + options + " -depth 8 -type TrueColorAlpha pam:- 2>/dev/null",
                    bytes) &&
         ParseNetpbm(bytes, out);
}

// libjpeg's own command-line decoder.
inline bool DjpegReference(const std::string& path, TBitmap& out) {
  std::vector<uint8_t> bytes;
  RunCapture("djpeg -ppm " + Quote(path) + " 2>/dev/null", bytes);  // status 2 after warnings
  return ParseNetpbm(bytes, out);
}

inline TRef<TBitmapStore> DecodeFile(const std::string& path, const std::string& name = std::string()) {
  auto s = TFileStream::Open(path, TFileMode::Read);
  if (!s) return {};
  return Decode(std::unique_ptr<TStream>(std::move(s)), Utf8ToWide(name.empty() ? path : name));
}

// Largest channel difference; alpha is compared too, colour only where both are visible.
inline int MaxDifference(const TBitmap& a, const TBitmap& b, bool with_alpha = true) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 1000;
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      int pa = p >> 24, qa = q >> 24;
      if (with_alpha) worst = std::max(worst, std::abs(pa - qa));
      if (with_alpha && (pa == 0 || qa == 0)) continue;
      for (int s = 0; s < 24; s += 8) worst = std::max(worst, std::abs(int((p >> s) & 255) - int((q >> s) & 255)));
    }
  return worst;
}

inline double MeanDifference(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 1000;
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 255) - int((q >> s) & 255));
    }
  return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace zem::test
