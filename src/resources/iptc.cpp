#include "resources/iptc.h"

#include <cstdlib>
#include <cstring>

#include "resources/exif.h"
#include "script/ini_reader.h"

namespace zem {

namespace {

constexpr uint16_t kIptcResource = 0x0404;
constexpr uint8_t kCharsetEscUtf8[3] = {0x1B, 0x25, 0x47};  // ESC % G

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

const std::vector<WideString>& TIptcData::Values(uint8_t dataset) const {
  static const std::vector<WideString> kNone;
  auto it = values_.find(dataset);
  return it == values_.end() ? kNone : it->second;
}

WideString TIptcData::First(uint8_t dataset) const {
  const auto& v = Values(dataset);
  return v.empty() ? WideString() : v.front();
}

bool TIptcData::Load(const uint8_t* data, size_t size) {
  values_.clear();
  bool found = false;
  size_t pos = 0;
  // Resources: "8BIM", uint16 id, a Pascal name padded to an even length, uint32 size, data
  // padded to an even length.
  while (data && pos + 12 <= size) {
    if (std::memcmp(data + pos, "8BIM", 4) != 0) break;
    const uint16_t id = uint16_t(data[pos + 4] << 8 | data[pos + 5]);
    size_t at = pos + 6;
    const size_t nameLen = data[at];
    at += (nameLen + 2) & ~size_t(1);  // length byte + name, padded to even
    if (at + 4 > size) break;
    const uint64_t length = Be32(data + at);
    at += 4;
    if (length > size - at) break;
    if (id == kIptcResource) {
      ReadRecords(data + at, size_t(length));
      found = true;
    }
    pos = at + size_t(length) + (length & 1);
  }
  return found && !values_.empty();
}

void TIptcData::ReadRecords(const uint8_t* data, size_t size) {
  bool utf8 = false;
  const char* cp = std::getenv("ZEM_CODEPAGE");
  const std::string codePage = cp ? cp : "";
  size_t pos = 0;
  size_t kept = 0;
  while (pos + 5 <= size && kept < kMaxValues) {
    if (data[pos] != 0x1C) break;
    const uint8_t record = data[pos + 1], dataset = data[pos + 2];
    uint64_t length = uint32_t(data[pos + 3] << 8 | data[pos + 4]);
    pos += 5;
    if (length & 0x8000) {
      // Extended dataset: the low bits give how many bytes hold the length.
      const size_t bytes = size_t(length & 0x7FFF);
      if (bytes == 0 || bytes > 4 || pos + bytes > size) break;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = length << 8 | data[pos + i];
      pos += bytes;
    }
    if (length > size - pos) break;
    const uint8_t* value = data + pos;
    pos += size_t(length);
    if (record == 1 && dataset == 90)
      utf8 = length >= 3 && std::memcmp(value, kCharsetEscUtf8, 3) == 0;
    if (record != 2) continue;
    WideString text = utf8 ? Utf8ToWide(std::string_view(reinterpret_cast<const char*>(value), size_t(length)))
                           : DecodeAnsiBytes(value, size_t(length), codePage);
    values_[dataset].push_back(std::move(text));
    ++kept;
  }
}

bool TIptcData::LoadFromJpeg(TStream& stream) {
  values_.clear();
  TJpegMetadata meta;
  if (!ReadJpegMetadata(stream, meta) || meta.photoshop.empty()) return false;
  return Load(meta.photoshop.data(), meta.photoshop.size());
}

}  // namespace zem
