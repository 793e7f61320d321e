#include "make_pictures.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "foundation/bitmap.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "make_random.h"
#include "resources/decoders.h"
#include "resources/exif.h"
#include "resources/jpeg_decoder.h"
#include "resources/png_decoder.h"

namespace zemtool::make {

namespace fs = std::filesystem;

namespace {

enum class TKind { None, Jpeg, Png, Gif, Bmp };

TKind KindOfName(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return TKind::None;
  const std::string ext = zem::LowerAscii(path.substr(dot));
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif") return TKind::Jpeg;
  if (ext == ".png") return TKind::Png;
  if (ext == ".gif") return TKind::Gif;
  if (ext == ".bmp" || ext == ".dib") return TKind::Bmp;
  return TKind::None;
}

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Reads the first `count` bytes (fewer at the end of the file).
bool ReadPrefix(zem::TStream& s, int64_t count, std::vector<uint8_t>& out) {
  const int64_t size = s.Size();
  const int64_t n = std::min(count, std::max<int64_t>(0, size));
  out.resize(size_t(n));
  s.SetPosition(0);
  return n == 0 || s.Read(out.data(), n) == n;
}

// The header readers of the player's decoders want the bytes up to the picture data: a short
// prefix nearly always holds them; a longer one, then the whole file, when it does not.
template <typename Reader>
bool ReadGrowing(zem::TStream& s, Reader read) {
  const int64_t size = s.Size();
  std::vector<uint8_t> bytes;
  for (int64_t n : {int64_t(64) << 10, int64_t(1) << 20, std::min(size, zem::kMaxPictureFileBytes)}) {
    if (!ReadPrefix(s, n, bytes)) return false;
    if (read(bytes)) return true;
    if (n >= size) return false;
  }
  return false;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The file's modification time as a local civil date-time, comparable with EXIF dates (which
// are the camera's local time).
int64_t FileTimeKey(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  std::tm tm{};
  const time_t t = st.st_mtime;
  if (!::localtime_r(&t, &tm)) return int64_t(t);
  return DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 +
         tm.tm_sec;
}

bool ProbeJpeg(zem::TStream& s, TPicture& out) {
  zem::TJpegMetadata meta;
  s.SetPosition(0);
  if (zem::ReadJpegMetadata(s, meta) && !meta.exif.empty()) {
    zem::TExif exif;
    if (exif.Load(meta.exif.data(), meta.exif.size())) {
      out.orientation = exif.Orientation();
      out.exifDate = zem::WideToUtf8(exif.DateTime());
      // The moment the photo was taken orders better than the last edit.
      const std::string original = zem::WideToUtf8(exif.Text(zem::kExifDateTimeOriginal));
      int64_t key = 0;
      if (ParseExifDate(original, key) || ParseExifDate(out.exifDate, key)) {
        out.dateKey = key;
        out.exifDated = true;
      }
    }
  }
  return ReadGrowing(s, [&](const std::vector<uint8_t>& b) {
    return zem::TJpegBitmapStore::ReadHeader(b.data(), b.size(), out.width, out.height);
  });
}

bool ProbePng(zem::TStream& s, TPicture& out) {
  return ReadGrowing(s, [&](const std::vector<uint8_t>& b) {
    zem::TPixelFormat format;
    return zem::TImageLibStore::ReadHeader(b.data(), b.size(), out.width, out.height, format);
  });
}

// The logical screen of a GIF file (the animation cell when it has frames) and its first block.
bool ProbeGif(zem::TStream& s, TPicture& out) {
  std::vector<uint8_t> b;
  if (!ReadPrefix(s, 14, b) || b.size() < 14) return false;
  if (std::memcmp(b.data(), "GIF87a", 6) != 0 && std::memcmp(b.data(), "GIF89a", 6) != 0) return false;
  out.width = int32_t(Le16(&b[6]));
  out.height = int32_t(Le16(&b[8]));
  return out.width > 0 && out.height > 0 && zem::TBitmap::SizeAllowed(out.width, out.height);
}

// The BMP info header in its three sizes (core, Windows, later versions), or PNG data in a
// ".bmp" file, which the player reads as PNG.
bool ProbeBmp(zem::TStream& s, TPicture& out) {
  std::vector<uint8_t> b;
  if (!ReadPrefix(s, 26, b)) return false;
  if (b.size() >= 8 && std::memcmp(b.data(), kPngSignature, 8) == 0) return ProbePng(s, out);
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t info = Le32(&b[14]);
  int64_t w = 0, h = 0;
  if (info == 12) {
    w = Le16(&b[18]);
    h = Le16(&b[20]);
  } else if (info >= 40 && info <= 1024) {
    w = int32_t(Le32(&b[18]));
    h = int32_t(Le32(&b[22]));
    if (h < 0) h = -h;  // rows stored top-down
  } else {
    return false;
  }
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return false;
  out.width = int32_t(w);
  out.height = int32_t(h);
  return zem::TBitmap::SizeAllowed(out.width, out.height);
}

}  // namespace

bool IsPictureName(std::string_view path) { return KindOfName(path) != TKind::None; }

bool ParseExifDate(std::string_view t, int64_t& seconds) {
  // "YYYY:MM:DD HH:MM:SS": digits at fixed places.
  if (t.size() < 19) return false;
  static const char kDigits[] = "dddd-dd-dd dd:dd:dd";
  int64_t v[6] = {};
  int field = 0;
  for (size_t i = 0; i < 19; ++i) {
    const char want = kDigits[i], c = t[i];
    if (want == 'd') {
      if (c < '0' || c > '9') return false;
      v[field] = v[field] * 10 + (c - '0');
    } else {
      if (i == 10 ? c != ' ' : (i < 10 ? c != ':' && c != '-' : c != ':')) return false;
      ++field;
    }
  }
  if (v[0] == 0 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60)
    return false;
  seconds = DaysFromCivil(v[0], v[1], v[2]) * 86400 + v[3] * 3600 + v[4] * 60 + v[5];
  return true;
}

bool ProbePictureStream(zem::TStream& s, std::string_view name, TPicture& out, std::string& why) {
  const TKind kind = KindOfName(name);
  bool ok = false;
  switch (kind) {
    case TKind::Jpeg: ok = ProbeJpeg(s, out); break;
    case TKind::Png: ok = ProbePng(s, out); break;
    case TKind::Gif: ok = ProbeGif(s, out); break;
    case TKind::Bmp: ok = ProbeBmp(s, out); break;
    case TKind::None: return why = "is not a picture kind the player reads", false;
  }
  static const char* kNames[] = {"", "JPEG", "PNG", "GIF", "BMP"};
  if (!ok) return why = std::string("is not a usable ") + kNames[int(kind)] + " picture", false;
  if (out.orientation < 1 || out.orientation > 8) out.orientation = 0;
  return true;
}

bool ProbePicture(const std::string& path, TPicture& out, std::string& why) {
  auto s = zem::TFileStream::Open(path, zem::TFileMode::Read);
  if (!s) return why = "cannot be read", false;
  if (!ProbePictureStream(*s, path, out, why)) return false;
  if (!out.exifDated) out.dateKey = FileTimeKey(path);
  return true;
}

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei])) ++ei;
      while (ej < b.size() && digit(b[ej])) ++ej;
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      const std::string_view na = a.substr(si, ei - si), nb = b.substr(sj, ej - sj);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
      continue;
    }
    const char ca = char(std::tolower(static_cast<unsigned char>(a[i])));
    const char cb = char(std::tolower(static_cast<unsigned char>(b[j])));
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // equal but for case or leading zeros: still a fixed order
}

bool FindPictures(const std::vector<std::string>& folders, const std::vector<std::string>& skip,
                  TFoundPictures& out, std::string& error) {
  std::error_code ec;
  std::vector<fs::path> skipPaths;
  for (const std::string& s : skip) skipPaths.push_back(fs::weakly_canonical(s, ec));
  auto skipped = [&](const fs::path& p) {
    std::error_code e;
    const fs::path c = fs::weakly_canonical(p, e);
    return std::find(skipPaths.begin(), skipPaths.end(), c) != skipPaths.end();
  };
  std::set<fs::path> seen;
  for (size_t f = 0; f < folders.size(); ++f) {
    const fs::path root = fs::absolute(folders[f], ec).lexically_normal();
    struct TCandidate {
      std::string path, rel;
    };
    std::vector<TCandidate> found;
    if (fs::is_regular_file(root, ec)) {
      if (!IsPictureName(root.string())) {
        error = folders[f] + " is not a picture the player reads (JPEG, PNG, GIF or BMP)";
        return false;
      }
      found.push_back({root.string(), root.filename().string()});
    } else if (fs::is_directory(root, ec)) {
      ec.clear();
      auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
      for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        // Entries that cannot be examined (dangling links) are no pictures; only a failure to
        // walk on ends the listing.
        const fs::path& p = it->path();
        const std::string name = p.filename().string();
        std::error_code e;
        const bool dir = it->is_directory(e);
        if ((!name.empty() && name[0] == '.') || (dir && skipped(p))) {
          if (dir) it.disable_recursion_pending();
          continue;
        }
        if (!dir && it->is_regular_file(e) && IsPictureName(name))
          found.push_back({p.string(), p.lexically_relative(root).generic_string()});
      }
      if (ec) {
        error = "cannot list " + folders[f] + ": " + ec.message();
        return false;
      }
    } else {
      error = folders[f] + ": no such folder";
      return false;
    }
    std::sort(found.begin(), found.end(), [](const TCandidate& x, const TCandidate& y) { return NaturalLess(x.rel, y.rel); });
    for (const TCandidate& c : found) {
      std::error_code e;
      if (!seen.insert(fs::weakly_canonical(c.path, e)).second) continue;
      TPicture p;
      p.path = c.path;
      p.relPath = c.rel;
      p.folderIndex = f;
      std::string why;
      if (!ProbePicture(c.path, p, why)) {
        out.warnings.push_back("skipped " + c.path + ": " + why);
        continue;
      }
      out.pictures.push_back(std::move(p));
    }
  }
  return true;
}

void OrderPictures(std::vector<TPicture>& pictures, TOrder order, uint64_t seed) {
  auto byName = [](const TPicture& a, const TPicture& b) {
    if (a.folderIndex != b.folderIndex) return a.folderIndex < b.folderIndex;
    return NaturalLess(a.relPath, b.relPath);
  };
  if (order == TOrder::Date) {
    std::stable_sort(pictures.begin(), pictures.end(), [&](const TPicture& a, const TPicture& b) {
      if (a.dateKey != b.dateKey) return a.dateKey < b.dateKey;
      return byName(a, b);
    });
    return;
  }
  std::stable_sort(pictures.begin(), pictures.end(), byName);
  if (order == TOrder::Random) {
    TRandom random(seed ^ 0x6F72646572ull);  // its own stream: other draws do not move the order
    for (size_t i = pictures.size(); i > 1; --i) std::swap(pictures[i - 1], pictures[random.Below(uint32_t(i))]);
  }
}

}  // namespace zemtool::make
