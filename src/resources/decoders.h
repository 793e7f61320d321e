// The picture decoder registry and the decoder selection.
//
// A decoder gets the stream at the picture's start. It returns a store, or none after putting
// the stream position back. A decoder that wants to keep the stream for later (deferred
// pixels) may take it from `owned` when the caller handed it over; whatever is left in `owned`
// is freed by Decode.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "resources/bitmap_store.h"
#include "resources/rotation.h"

namespace zem {

struct TDecodeRequest {
  TStream* stream = nullptr;                  // positioned at the picture's start
  std::unique_ptr<TStream>* owned = nullptr;  // set when the caller handed the stream over
  WideString name;                            // the name the picture was asked for
  const TTransformLookup* transform = nullptr;
};

using TDecodeProc = TRef<TBitmapStore> (*)(TDecodeRequest& request);

// Appends a decoder for the extensions (with their dot, e.g. ".bmp"; compared without case).
void RegisterDecoder(TDecodeProc proc, std::vector<std::string> extensions);
// The PNG decoder entry: always available here (libpng is linked in), so the library path is
// not consulted; registers the extensions and returns true.
bool RegisterPictureLibrary(const std::string& library_path, std::vector<std::string> extensions);

// Chooses and runs decoders as registered (see decoders.cpp).
TRef<TBitmapStore> Decode(TStream& stream, const WideString& name,
                          const TTransformLookup* transform = nullptr);
TRef<TBitmapStore> Decode(std::unique_ptr<TStream> stream, const WideString& name,
                          const TTransformLookup* transform = nullptr);

// The extension of a picture name ("" when none), lower case, with its dot; folders may be
// separated by "\" or "/".
std::string PictureExtension(const WideString& name);

// The individual decoders, in registry order (also used by tests and fuzz targets).
TRef<TBitmapStore> DecodeGfxContainer(TDecodeRequest& request);
TRef<TBitmapStore> DecodeBmp(TDecodeRequest& request);
TRef<TBitmapStore> DecodeJpeg(TDecodeRequest& request);
TRef<TBitmapStore> DecodeGif(TDecodeRequest& request);
TRef<TBitmapStore> DecodePng(TDecodeRequest& request);

// Decodes a whole BMP file held in memory into a picture (24-bit, or 32-bit with an alpha
// mask); false when the file is refused.
bool ReadBmpBitmap(const uint8_t* data, size_t size, TBitmap& out);

// Largest stream a decoder copies into memory.
constexpr int64_t kMaxPictureFileBytes = int64_t(1) << 30;

}  // namespace zem
