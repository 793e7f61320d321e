// BMP files: 1, 4 and 8 bits with palette, 16 bits (5-5-5, or bit-field masks), 24 and 32 bits;
// bottom-up or top-down rows. Run-length compressed files are refused. Every header field is
// checked against the file before use.
#include <bit>
#include <cstring>

#include "resources/decoders.h"

namespace zem {

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kBiAlphaBitfields = 6;

// One colour channel held under a bit mask, scaled to 8 bits.
struct TMaskChannel {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  bool Set(uint32_t m) {
    mask = m;
    if (!m) return true;
    shift = std::countr_zero(m);
    bits = std::popcount(m);
    // The bits of a mask must be contiguous.
    return (m >> shift) == ((bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1));
  }
  uint8_t Get(uint32_t v) const {
    if (!mask) return 0;
    uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return uint8_t(x >> (bits - 8));
    uint32_t max = (1u << bits) - 1;
    return uint8_t((x * 255 + max / 2) / max);
  }
};

}  // namespace

bool ReadBmpBitmap(const uint8_t* data, size_t size, TBitmap& out) {
  out.Clear();
  if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
  const uint64_t off_bits = U32(data + 10);
  const uint32_t header_size = U32(data + 14);
  // Known information headers: OS/2 1.x (12), OS/2 2.x (16, 64), Windows 40, 52, 56, 108, 124.
  if (header_size != 12 && header_size != 16 && header_size != 40 && header_size != 52 && header_size != 56 &&
      header_size != 64 && header_size != 108 && header_size != 124)
    return false;
  if (uint64_t(14) + header_size > size) return false;
  const uint8_t* h = data + 14;

  int64_t width, height;
  uint32_t planes, bpp, compression = kBiRgb, colors_used = 0;
  bool os2v1 = header_size == 12;
  if (os2v1) {
    width = U16(h + 4);
    height = int16_t(U16(h + 6));
    planes = U16(h + 8);
    bpp = U16(h + 10);
  } else {
    width = int32_t(U32(h + 4));
    height = int32_t(U32(h + 8));
    planes = U16(h + 12);
    bpp = U16(h + 14);
    if (header_size >= 20) compression = U32(h + 16);
    if (header_size >= 36) colors_used = U32(h + 32);
    // OS/2 2.x headers of other sizes carry no masks; their compression values differ.
    if (header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 &&
        header_size != 124 && compression != kBiRgb)
      return false;
  }
  if (planes != 1) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  bool top_down = height < 0;
  if (top_down) height = -height;
  if (!TBitmap::SizeAllowed(width, height)) return false;

  // Masks: in the V2+ header, or right after a 40-byte header.
  TMaskChannel r, g, b, a;
  uint64_t after_header = 14 + uint64_t(header_size);
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (bpp != 16 && bpp != 32) return false;
    uint32_t m[4] = {0, 0, 0, 0};
    int count = compression == kBiAlphaBitfields ? 4 : 3;
    if (header_size >= 52) {
      for (int i = 0; i < 4 && 40 + 4 * i + 4 <= int(header_size); ++i) m[i] = U32(h + 40 + 4 * i);
      if (compression == kBiBitfields && header_size < 56) m[3] = 0;
    } else {
      if (after_header + 4u * count > size) return false;
      for (int i = 0; i < count; ++i) m[i] = U32(data + after_header + 4 * i);
      after_header += 4u * count;
    }
    if (!r.Set(m[0]) || !g.Set(m[1]) || !b.Set(m[2]) || !a.Set(m[3])) return false;
    if (!m[0] && !m[1] && !m[2]) return false;
  } else if (compression != kBiRgb) {
    return false;  // run-length and embedded JPEG/PNG data are not read here
  } else if (bpp == 16) {
    r.Set(0x7C00); g.Set(0x03E0); b.Set(0x001F);
  } else if (bpp == 32) {
    r.Set(0x00FF0000); g.Set(0x0000FF00); b.Set(0x000000FF);
  }

  // Palette.
  uint32_t palette[256] = {};
  if (bpp <= 8) {
    uint32_t max_colors = 1u << bpp;
    uint32_t n = colors_used == 0 ? max_colors : colors_used;
    if (n > max_colors) return false;
    const uint64_t entry = os2v1 ? 3 : 4;
    if (after_header + uint64_t(n) * entry > size) return false;
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* p = data + after_header + i * entry;
      palette[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
    // Indexes beyond the palette read as its first entry (or black).
    for (uint32_t i = n; i < 256; ++i) palette[i] = n ? palette[0] : 0xFF000000u;
  }

  const uint64_t row_bytes = ((uint64_t(width) * bpp + 31) / 32) * 4;
  if (off_bits < 14 || off_bits > size) return false;
  // Some writers drop the padding of the very last row; everything else must be present.
  uint64_t last_row = (uint64_t(width) * bpp + 7) / 8;
  if (off_bits + row_bytes * uint64_t(height - 1) + last_row > size) return false;

  const bool with_alpha = bpp == 32 && a.mask != 0;
  TBitmap bmp;
  if (!bmp.Allocate(int32_t(width), int32_t(height), with_alpha ? TPixelFormat::Argb32 : TPixelFormat::Rgb24)) return false;
  for (int64_t row = 0; row < height; ++row) {
    const uint8_t* src = data + off_bits + uint64_t(row) * row_bytes;
    int32_t y = int32_t(top_down ? row : height - 1 - row);
    uint8_t* dst = bmp.Row(y);
    for (int64_t x = 0; x < width; ++x) {
      uint32_t argb;
      switch (bpp) {
        case 1: argb = palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: argb = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case 8: argb = palette[src[x]]; break;
        case 24: argb = 0xFF000000u | (uint32_t(src[3 * x + 2]) << 16) | (uint32_t(src[3 * x + 1]) << 8) | src[3 * x]; break;
        default: {
          uint32_t v = bpp == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
          argb = (uint32_t(a.mask ? a.Get(v) : 255) << 24) | (uint32_t(r.Get(v)) << 16) |
                 (uint32_t(g.Get(v)) << 8) | b.Get(v);
        }
      }
      uint8_t* p = dst + x * (with_alpha ? 4 : 3);
      p[0] = uint8_t(argb);
      p[1] = uint8_t(argb >> 8);
      p[2] = uint8_t(argb >> 16);
      if (with_alpha) p[3] = uint8_t(argb >> 24);
    }
  }
  out = std::move(bmp);
  return true;
}

TRef<TBitmapStore> DecodeBmp(TDecodeRequest& req) {
  TStream& s = *req.stream;
  const int64_t start = s.Position();
  uint8_t magic[2];
  if (!s.ReadExact(magic, 2) || magic[0] != 'B' || magic[1] != 'M') { s.SetPosition(start); return {}; }
  s.SetPosition(start);
  std::vector<uint8_t> bytes;
  TBitmap bmp;
  if (!s.ReadRest(bytes, kMaxPictureFileBytes) || !ReadBmpBitmap(bytes.data(), bytes.size(), bmp)) {
    s.SetPosition(start);
    return {};
  }
  int32_t w = bmp.Width(), h = bmp.Height();
  TImageTransform t = LookupTransform(req.transform, req.name, w, h);
  return TRef<TBitmapStore>(new TSysBitmapStore(std::move(bmp), t));
}

}  // namespace zem
