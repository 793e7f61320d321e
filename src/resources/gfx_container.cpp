#include "resources/gfx_container.h"

#include <zlib.h>

#include <charconv>
#include <cstring>

#include "resources/decoders.h"

namespace zem {

bool InflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t max_out) {
  out.clear();
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(std::min<size_t>(size, UINT32_MAX));
  size_t left_in = size - z.avail_in;
  uint8_t chunk[65536];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    size_t got = sizeof chunk - z.avail_out;
    if (out.size() + got > max_out) { rc = Z_MEM_ERROR; break; }
    out.insert(out.end(), chunk, chunk + got);
    if (z.avail_in == 0 && left_in > 0) {
      size_t n = std::min<size_t>(left_in, UINT32_MAX);
      z.avail_in = static_cast<uInt>(n);
      left_in -= n;
    } else if (rc == Z_OK && got == 0 && z.avail_in == 0) {
      rc = Z_DATA_ERROR;  // the input ended before the deflate stream did
      break;
    }
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

std::vector<uint8_t> DeflateRaw(const uint8_t* data, size_t size) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(size)));
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> BuildGfxContainer(const std::vector<std::pair<std::string, std::string>>& fields,
                                       const std::vector<uint8_t>& bmp_file) {
  std::vector<uint8_t> out = {'V', 'Y', 'G', 'F'};
  auto put16 = [&](size_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
  put16(fields.size());
  for (auto& [name, value] : fields) {
    put16(name.size());
    out.insert(out.end(), name.begin(), name.end());
    put16(value.size());
    out.insert(out.end(), value.begin(), value.end());
  }
  std::vector<uint8_t> z = DeflateRaw(bmp_file.data(), bmp_file.size());
  out.insert(out.end(), z.begin(), z.end());
  return out;
}

TGfxBitmapStore::TGfxBitmapStore(int32_t width, int32_t height, TImageTransform transform,
                                 std::map<std::string, std::string> fields, std::vector<uint8_t> deflated)
    : TBitmapStore(width, height, TPixelFormat::Argb32, transform),
      fields_(std::move(fields)),
      deflated_(std::move(deflated)) {}

bool TGfxBitmapStore::DecodePixels(TBitmap& out) {
  const std::vector<uint8_t>& deflated = deflated_;
  ReportProgress();
  // The declared (untransformed) size; a BMP of the declared size holds at most 4 bytes per pixel plus headers and a palette.
  auto it_w = fields_.find("width"), it_h = fields_.find("height");
  int64_t dw = 0, dh = 0;
  std::from_chars(it_w->second.data(), it_w->second.data() + it_w->second.size(), dw);
  std::from_chars(it_h->second.data(), it_h->second.data() + it_h->second.size(), dh);
  const size_t max_out = size_t(2048 + TBitmap::StrideFor(int32_t(dw), TPixelFormat::Argb32) * dh);
  std::vector<uint8_t> bmp_file;
  if (!InflateRaw(deflated.data(), deflated.size(), bmp_file, max_out)) return false;
  ReportProgress();
  TBitmap bmp;
  if (!ReadBmpBitmap(bmp_file.data(), bmp_file.size(), bmp)) return false;
  if (bmp.Width() != dw || bmp.Height() != dh) return false;
  ConvertPixels(bmp, TPixelFormat::Argb32);
  out = std::move(bmp);
  return true;
}

namespace {

bool ParseInt(const std::string& s, int64_t& v) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  if (b == std::string::npos) return false;
  auto r = std::from_chars(s.data() + b, s.data() + e + 1, v);
  return r.ec == std::errc() && r.ptr == s.data() + e + 1;
}

}  // namespace

TRef<TBitmapStore> DecodeGfxContainer(TDecodeRequest& req) {
  TStream& s = *req.stream;
  const int64_t start = s.Position();
  auto refuse = [&]() { s.SetPosition(start); return TRef<TBitmapStore>(); };
  uint8_t head[6];
  if (!s.ReadExact(head, 6) || std::memcmp(head, "VYGF", 4) != 0) return refuse();
  const unsigned count = head[4] | (head[5] << 8);
  std::map<std::string, std::string> fields;  // names in lower case: looked up without case
  for (unsigned i = 0; i < count; ++i) {
    std::string pair[2];
    for (auto& text : pair) {
      uint8_t len[2];
      if (!s.ReadExact(len, 2)) return refuse();
      text.resize(len[0] | (len[1] << 8));
      if (!text.empty() && !s.ReadExact(text.data(), int64_t(text.size()))) return refuse();
    }
    fields.emplace(LowerAscii(pair[0]), std::move(pair[1]));
  }
  int64_t width = 0, height = 0, original = 0;
  if (!fields.count("file") || !fields.count("width") || !fields.count("height") || !fields.count("originalsize"))
    return refuse();
  if (!ParseInt(fields["width"], width) || !ParseInt(fields["height"], height) ||
      !ParseInt(fields["originalsize"], original))
    return refuse();
  if (!TBitmap::SizeAllowed(width, height)) return refuse();
  std::vector<uint8_t> deflated;
  if (!s.ReadRest(deflated, kMaxPictureFileBytes)) return refuse();
  fields["width"] = std::to_string(width);
  fields["height"] = std::to_string(height);
  int32_t w = int32_t(width), h = int32_t(height);
  TImageTransform t = LookupTransform(req.transform, req.name, w, h);
  return TRef<TBitmapStore>(new TGfxBitmapStore(w, h, t, std::move(fields), std::move(deflated)));
}

}  // namespace zem
