// Picture decoders through Decode: the input is one picture file, offered under a name whose
// extension picks the decoders (ZEM_FUZZ_EXT, set per target). Every store that is returned is
// also decoded as the drawer asks for it (a reduced level, at a DCT scale for JPEG, and at a
// scale for a shown size) and in full.
#include <cstddef>
#include <cstdint>

#include "foundation/stream.h"
#include "resources/decoders.h"

#ifndef ZEM_FUZZ_EXT
#define ZEM_FUZZ_EXT u""
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zem::TBufferStream stream(data, static_cast<int64_t>(size));
  zem::TRef<zem::TBitmapStore> store = zem::Decode(stream, zem::WideString(u"fuzz") + ZEM_FUZZ_EXT);
  if (store) {
    const int32_t w = store->Width(), h = store->Height();
    auto level = store->Level(1);
    if (!level || level->Width() != zem::TBitmap::ReducedSide(w, 1) || level->Height() != zem::TBitmap::ReducedSide(h, 1))
      __builtin_trap();
    auto shown = store->Level(2, w / 5, h / 5);
    if (!shown || shown->Width() <= w / 5 || shown->Width() > zem::TBitmap::ReducedSide(w, 2)) __builtin_trap();
    const zem::TBitmap& b = store->Bitmap();
    if (b.Width() != w || b.Height() != h) __builtin_trap();
  }
  return 0;
}
