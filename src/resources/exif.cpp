#include "resources/exif.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "script/ini_reader.h"

namespace zem {

namespace {

constexpr size_t kMaxSegmentsRead = 4096;              // markers walked before giving up
constexpr size_t kMaxPhotoshopBytes = size_t(4) << 20;  // APP13 payloads kept

const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
const char kPhotoshopHeader[] = "Photoshop 3.0";  // followed by a NUL

bool ReadExact(TStream& s, void* buf, int64_t n) { return s.Read(buf, n) == n; }

size_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                  // SHORT, SSHORT
    case 4: case 9: case 11: return 4;         // LONG, SLONG, FLOAT
    case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
  }
}

std::string CodePage() {
  const char* cp = std::getenv("ZEM_CODEPAGE");
  return cp ? cp : "";
}

WideString Ansi(const uint8_t* p, size_t n) { return DecodeAnsiBytes(p, n, CodePage()); }

// Trailing NULs and blanks are padding in written fields.
WideString TrimPadding(WideString s) {
  while (!s.empty() && (s.back() == 0 || s.back() == u' ')) s.pop_back();
  return s;
}

}  // namespace

bool ReadJpegMetadata(TStream& stream, TJpegMetadata& out) {
  out = TJpegMetadata{};
  uint8_t soi[2];
  if (!ReadExact(stream, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return false;
  bool haveExif = false;
  for (size_t n = 0; n < kMaxSegmentsRead; ++n) {
    uint8_t m[2];
    if (!ReadExact(stream, m, 2) || m[0] != 0xFF) break;
    uint8_t marker = m[1];
    while (marker == 0xFF) {  // fill bytes before a marker
      if (!ReadExact(stream, &marker, 1)) return true;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xDA || marker == 0xD9) break;  // scan or end: no metadata after it
    uint8_t lb[2];
    if (!ReadExact(stream, lb, 2)) break;
    const int64_t length = (int64_t(lb[0]) << 8 | lb[1]) - 2;
    if (length < 0) break;
    const bool app1 = marker == 0xE1 && !haveExif;
    const bool app13 = marker == 0xED && out.photoshop.size() < kMaxPhotoshopBytes;
    if (!app1 && !app13) {
      if (stream.Seek(length, TSeekOrigin::Current) < 0) break;
      continue;
    }
    std::vector<uint8_t> payload(static_cast<size_t>(length));
    if (!ReadExact(stream, payload.data(), length)) break;
    if (app1 && payload.size() >= 6 && std::memcmp(payload.data(), kExifHeader, 6) == 0) {
      out.exif.assign(payload.begin() + 6, payload.end());
      haveExif = true;
    } else if (app13 && payload.size() >= sizeof kPhotoshopHeader &&
               std::memcmp(payload.data(), kPhotoshopHeader, sizeof kPhotoshopHeader) == 0) {
      const size_t room = kMaxPhotoshopBytes - out.photoshop.size();
      const size_t take = std::min(room, payload.size() - sizeof kPhotoshopHeader);
      out.photoshop.insert(out.photoshop.end(), payload.begin() + sizeof kPhotoshopHeader,
                           payload.begin() + ptrdiff_t(sizeof kPhotoshopHeader + take));
    }
  }
  return true;
}

uint16_t TExif::U16(const uint8_t* p) const {
  return bigEndian_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

uint32_t TExif::U32(const uint8_t* p) const {
  return bigEndian_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                    : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

bool TExif::Load(const uint8_t* data, size_t size) {
  fields_.clear();
  visited_.clear();
  if (!data || size < 8) return false;
  if (data[0] == 'I' && data[1] == 'I') bigEndian_ = false;
  else if (data[0] == 'M' && data[1] == 'M') bigEndian_ = true;
  else return false;
  if (U16(data + 2) != 42) return false;
  return ReadDirectory(data, size, U32(data + 4), 0);
}

bool TExif::ReadDirectory(const uint8_t* data, size_t size, uint64_t offset, int depth) {
  if (depth > 1 || offset < 8 || offset + 2 > size) return false;
  if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return false;
  visited_.push_back(offset);
  const uint16_t count = U16(data + offset);
  if (offset + 2 + uint64_t(count) * 12 > size) return false;
  std::vector<uint32_t> subdirs;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = data + offset + 2 + uint64_t(i) * 12;
    const uint16_t tag = U16(e), type = U16(e + 2);
    const uint32_t n = U32(e + 4);
    if (tag == kExifSubIfd && (type == 4 || type == 13) && depth == 0) {
      subdirs.push_back(U32(e + 8));
      continue;
    }
    const size_t unit = TypeSize(type);
    if (!unit || n == 0) continue;
    const uint64_t bytes = uint64_t(n) * unit;
    if (bytes > kMaxFieldBytes || fields_.size() >= kMaxFields || fields_.count(tag)) continue;
    const uint8_t* value = e + 8;
    if (bytes > 4) {
      const uint64_t at = U32(e + 8);
      if (at + bytes > size) continue;  // a field pointing outside the data is skipped
      value = data + at;
    }
    TField f;
    f.type = type;
    f.count = n;
    f.bytes.assign(value, value + bytes);
    fields_.emplace(tag, std::move(f));
  }
  for (uint32_t sub : subdirs) ReadDirectory(data, size, sub, depth + 1);
  return true;
}

bool TExif::LoadFromJpeg(TStream& stream) {
  fields_.clear();
  TJpegMetadata meta;
  if (!ReadJpegMetadata(stream, meta) || meta.exif.empty()) return false;
  return Load(meta.exif.data(), meta.exif.size());
}

WideString TExif::Text(uint16_t tag) const {
  auto it = fields_.find(tag);
  if (it == fields_.end()) return {};
  const TField& f = it->second;
  if (f.type != 2 && f.type != 7 && f.type != 1) return {};
  const uint8_t* p = f.bytes.data();
  size_t n = f.bytes.size();
  if (tag == kExifUserComment && f.type == 7) {
    // Eight bytes name the character code of what follows.
    if (n < 8) return {};
    const uint8_t* code = p;
    p += 8;
    n -= 8;
    if (std::memcmp(code, "UNICODE\0", 8) == 0) {
      WideString w;
      for (size_t i = 0; i + 1 < n; i += 2) w += char16_t(bigEndian_ ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]));
      return TrimPadding(std::move(w));
    }
    if (std::memcmp(code, "JIS\0\0\0\0\0", 8) == 0) return {};  // no JIS decoder: no value
    return TrimPadding(Ansi(p, n));  // "ASCII" or undefined (eight NULs)
  }
  const size_t end = std::find(p, p + n, uint8_t(0)) - p;
  return TrimPadding(Ansi(p, end));
}

bool TExif::Integer(uint16_t tag, int64_t& out) const {
  auto it = fields_.find(tag);
  if (it == fields_.end()) return false;
  const TField& f = it->second;
  const uint8_t* p = f.bytes.data();
  switch (f.type) {
    case 1: out = p[0]; return true;
    case 6: out = int8_t(p[0]); return true;
    case 3: out = U16(p); return true;
    case 8: out = int16_t(U16(p)); return true;
    case 4: out = U32(p); return true;
    case 9: out = int32_t(U32(p)); return true;
    default: return false;
  }
}

bool TExif::Number(uint16_t tag, double& out) const {
  auto it = fields_.find(tag);
  if (it == fields_.end()) return false;
  const TField& f = it->second;
  const uint8_t* p = f.bytes.data();
  if (f.type == 5 || f.type == 10) {
    const double num = f.type == 5 ? double(U32(p)) : double(int32_t(U32(p)));
    const double den = f.type == 5 ? double(U32(p + 4)) : double(int32_t(U32(p + 4)));
    if (den == 0) return false;
    out = num / den;
    return true;
  }
  int64_t i = 0;
  if (!Integer(tag, i)) return false;
  out = double(i);
  return true;
}

int32_t TExif::Orientation() const {
  int64_t v = 0;
  return Integer(kExifOrientation, v) && v >= 1 && v <= 8 ? int32_t(v) : 0;
}

WideString TExif::DateTime() const {
  WideString t = Text(kExifDateTime);
  return t.empty() ? Text(kExifDateTimeOriginal) : t;
}

}  // namespace zem
