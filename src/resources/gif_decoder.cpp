#include "resources/gif_decoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "resources/decoders.h"

namespace zem {

namespace {

struct TGifSource {
  const uint8_t* data;
  size_t size, pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int count) {
  auto* src = static_cast<TGifSource*>(gif->UserData);
  size_t n = std::min<size_t>(count < 0 ? 0 : size_t(count), src->size - src->pos);
  std::memcpy(buf, src->data + src->pos, n);
  src->pos += n;
  return int(n);
}

struct TGifCloser {
  void operator()(GifFileType* g) const { int err; DGifCloseFile(g, &err); }
};

struct TRect { int32_t left = 0, top = 0, right = 0, bottom = 0; };

// What is known of a frame besides its pixels.
struct TFrameInfo {
  TRect rect;        // the image rectangle, clipped to the canvas
  int disposal = 0;  // of the graphic control extension before the image
  int delay_ms = 50;
};

// An image is usable when its size passes the picture limits and is not far larger than its
// canvas (that would be a decoding bomb, not a frame).
bool ImageUsable(const GifImageDesc& d, int32_t cw, int32_t ch) {
  const int64_t iw = d.Width, ih = d.Height;
  return TBitmap::SizeAllowed(iw, ih) && iw * ih <= 2 * int64_t(cw) * ch + 65536;
}

// Reads the pixels of the current image into the cell whose left edge is x0 in `out` (32-bit,
// transparent where nothing is written); false when the image is unusable.
bool ReadImage(GifFileType* gif, int32_t cw, int32_t ch, int transparent, TBitmap& out, int64_t x0, TRect& rect) {
  const GifImageDesc& d = gif->Image;
  if (!ImageUsable(d, cw, ch)) return false;
  const int64_t iw = d.Width, ih = d.Height;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  uint32_t palette[256];
  for (int i = 0; i < 256; ++i) {
    if (map && i < map->ColorCount && map->Colors) {
      const GifColorType& c = map->Colors[i];
      palette[i] = 0xFF000000u | (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue;
    } else if (!map) {
      palette[i] = 0xFF000000u | (uint32_t(i) * 0x010101u);  // no colour table: grey levels
    } else {
      palette[i] = 0xFF000000u;
    }
  }
  if (transparent >= 0 && transparent < 256) palette[transparent] = 0;
  rect = {std::clamp<int32_t>(d.Left, 0, cw), std::clamp<int32_t>(d.Top, 0, ch),
          int32_t(std::clamp<int64_t>(int64_t(d.Left) + iw, 0, cw)),
          int32_t(std::clamp<int64_t>(int64_t(d.Top) + ih, 0, ch))};
  std::vector<GifPixelType> line(static_cast<size_t>(iw));
  // Interlaced images arrive in four passes: rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  int pass = 0;
  int64_t row = 0;
  for (int64_t n = 0; n < ih; ++n) {
    if (DGifGetLine(gif, line.data(), int(iw)) != GIF_OK) return false;
    int64_t y;
    if (d.Interlace) {
      while (pass < 4 && kStart[pass] + row * kStep[pass] >= ih) { ++pass; row = 0; }
      if (pass >= 4) return false;
      y = kStart[pass] + row * kStep[pass];
      ++row;
    } else {
      y = n;
    }
    int64_t cy = int64_t(d.Top) + y;
    if (cy < 0 || cy >= ch) continue;
    uint8_t* dst = out.Row(int32_t(cy)) + x0 * 4;
    for (int64_t x = 0; x < iw; ++x) {
      int64_t cx = int64_t(d.Left) + x;
      if (cx < 0 || cx >= cw) continue;
      uint32_t v = palette[line[size_t(x)]];
      uint8_t* p = dst + cx * 4;
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      p[2] = uint8_t(v >> 16);
      p[3] = uint8_t(v >> 24);
    }
  }
  return true;
}

bool Inside(const TRect& r, int32_t x, int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

using TGifPtr = std::unique_ptr<GifFileType, TGifCloser>;

TGifPtr OpenGif(TGifSource& src) {
  int err = 0;
  return TGifPtr(DGifOpen(&src, GifRead, &err));
}

// Walks the records of the file. For each extension calls on_ext(code, first block, file);
// for each image (descriptor read) calls on_image(file), which must consume the image data and
// returns false to stop. Returns false when the file breaks off.
template <class TExt, class TImage>
void WalkRecords(GifFileType* gif, TExt on_ext, TImage on_image) {
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) != GIF_OK) return;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) != GIF_OK) return;
      on_ext(code, block, gif);
    } else if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) != GIF_OK || !on_image(gif)) return;
    } else {
      return;
    }
  }
}

// Skips the rest of an extension's sub-blocks, looking for the loop count on the way.
bool FinishExtension(GifFileType* gif, int code, GifByteType* block, bool& has_loop, int& loop_count) {
  bool netscape = code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                  std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
  while (block) {
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    if (netscape && block && block[0] >= 3 && block[1] == 1) {
      has_loop = true;
      int v = block[2] | (block[3] << 8);
      loop_count = v == 65535 ? 0 : v;
      netscape = false;
    }
  }
  return true;
}

// Skips an image's compressed data without decoding it.
bool SkipImage(GifFileType* gif) {
  int code_size = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &code_size, &block) != GIF_OK) return false;
  while (block)
    if (DGifGetCodeNext(gif, &block) != GIF_OK) return false;
  return true;
}

}  // namespace

bool ReadGif(const uint8_t* data, size_t size, TGifResult& out) {
  // Pass 1 counts the usable images (without decoding them), so that the picture is allocated
  // once at its final size and frames are decoded straight into their cells.
  TGifSource src{data, size, 0};
  TGifPtr gif = OpenGif(src);
  if (!gif) return false;
  const int32_t cw = gif->SWidth, ch = gif->SHeight;
  if (!TBitmap::SizeAllowed(cw, ch)) return false;
  bool has_loop = false;
  int loop_count = 1;
  int64_t images = 0;
  WalkRecords(
      gif.get(),
      [&](int code, GifByteType* block, GifFileType* g) { FinishExtension(g, code, block, has_loop, loop_count); },
      [&](GifFileType* g) {
        if (!ImageUsable(g->Image, cw, ch)) return false;
        ++images;
        // Stop before a frame that would take the strip past the picture limits.
        if (!TBitmap::SizeAllowed((images + 1) * cw, ch)) return false;
        return SkipImage(g);
      });
  if (images == 0) return false;
  const bool animated = has_loop || images > 1;
  const int64_t cells = animated ? images : 1;

  TBitmap picture;
  if (!picture.Allocate(int32_t(cells * cw), ch, TPixelFormat::Argb32)) return false;
  std::vector<TFrameInfo> frames;
  src.pos = 0;
  gif = OpenGif(src);
  if (!gif) return false;
  GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  bool ignored_loop = false;
  int ignored_count = 0;
  WalkRecords(
      gif.get(),
      [&](int code, GifByteType* block, GifFileType* g) {
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) DGifExtensionToGCB(block[0], block + 1, &gcb);
        FinishExtension(g, code, block, ignored_loop, ignored_count);
      },
      [&](GifFileType* g) {
        if (int64_t(frames.size()) >= cells) return false;
        TFrameInfo f;
        if (!ReadImage(g, cw, ch, gcb.TransparentColor, picture, int64_t(frames.size()) * cw, f.rect)) return false;
        f.disposal = gcb.DisposalMode;
        f.delay_ms = gcb.DelayTime > 0 ? gcb.DelayTime * 10 : 50;
        frames.push_back(f);
        gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        return true;
      });
  if (frames.empty()) return false;
  if (!animated) {
    out.picture = std::move(picture);
    out.tiles.reset();
    return true;
  }
  const int32_t count = int32_t(frames.size());
  if (count < cells) {
    // A frame failed to decode: the strip ends with the frames before it.
    TBitmap shorter;
    if (!shorter.Allocate(count * cw, ch, TPixelFormat::Argb32)) return false;
    for (int32_t y = 0; y < ch; ++y) std::memcpy(shorter.Row(y), picture.Row(y), size_t(count) * size_t(cw) * 4);
    picture = std::move(shorter);
  }

  // Fill what each frame leaves transparent as the previous frame's disposal says.
  auto pixel = [&](int cell, int32_t x, int32_t y) {
    return picture.Row(y) + (int64_t(cell) * cw + x) * 4;
  };
  int last_kept = -1;  // most recent frame with disposal 1
  for (int i = 1; i < count; ++i) {
    const TFrameInfo& prev = frames[size_t(i - 1)];
    if (prev.disposal == DISPOSE_DO_NOT) last_kept = i - 1;
    int from;
    switch (prev.disposal) {
      case DISPOSAL_UNSPECIFIED: case DISPOSE_DO_NOT: case DISPOSE_BACKGROUND: from = i - 1; break;
      case DISPOSE_PREVIOUS: from = last_kept; break;
      default: from = -1; break;
    }
    if (from < 0) continue;
    for (int32_t y = 0; y < ch; ++y)
      for (int32_t x = 0; x < cw; ++x) {
        uint8_t* p = pixel(i, x, y);
        if (p[3] != 0) continue;
        if (prev.disposal == DISPOSE_BACKGROUND && Inside(prev.rect, x, y)) continue;
        std::memcpy(p, pixel(from, x, y), 4);
      }
  }

  auto tiles = std::make_unique<TTilesTag>();
  tiles->cell_width = cw;
  tiles->cell_height = ch;
  tiles->columns = count;
  tiles->rows = 1;
  tiles->frame_count = count;
  for (int32_t i = 0; i < count; ++i) {
    tiles->total_duration += frames[size_t(i)].delay_ms;
    if (i) tiles->delays += ",";
    tiles->delays += std::to_string(frames[size_t(i)].delay_ms);
  }
  tiles->average_delay = tiles->total_duration / count;
  tiles->loop_count = has_loop ? loop_count : 1;
  out.picture = std::move(picture);
  out.tiles = std::move(tiles);
  return true;
}

TRef<TBitmapStore> DecodeGif(TDecodeRequest& req) {
  TStream& s = *req.stream;
  const int64_t start = s.Position();
  uint8_t magic[6];
  if (!s.ReadExact(magic, 6) || std::memcmp(magic, "GIF", 3) != 0) { s.SetPosition(start); return {}; }
  s.SetPosition(start);
  std::vector<uint8_t> data;
  TGifResult gif;
  if (!s.ReadRest(data, kMaxPictureFileBytes) || !ReadGif(data.data(), data.size(), gif)) {
    s.SetPosition(start);
    return {};
  }
  if (gif.tiles) {
    // A strip is not turned: its cells are frames, not one picture.
    TRef<TBitmapStore> store(new TWrapperBitmapStore(std::move(gif.picture)));
    store->SetTiles(std::move(gif.tiles));
    return store;
  }
  int32_t w = gif.picture.Width(), h = gif.picture.Height();
  TImageTransform t = LookupTransform(req.transform, req.name, w, h);
  return TRef<TBitmapStore>(new TWrapperBitmapStore(std::move(gif.picture), t));
}

}  // namespace zem
