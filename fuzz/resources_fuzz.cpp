// Picture decoders through Decode: the input is one picture file, offered under a name whose
// extension picks the decoders (ZEM_FUZZ_EXT, set per target). Every store that is returned is
// also decoded in full, as the player does at the first draw.
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
    const zem::TBitmap& b = store->Bitmap();
    if (b.Width() != store->Width() || b.Height() != store->Height()) __builtin_trap();
  }
  return 0;
}
