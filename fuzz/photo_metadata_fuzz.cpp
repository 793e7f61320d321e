// EXIF and IPTC readers over untrusted JPEG files (ZEM_FUZZ_KIND 0: EXIF, 1: IPTC).
#include <cstddef>
#include <cstdint>

#include "foundation/stream.h"
#include "resources/exif.h"
#include "resources/iptc.h"

#ifndef ZEM_FUZZ_KIND
#define ZEM_FUZZ_KIND 0
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zem::TBufferStream stream(data, static_cast<int64_t>(size));
  if (ZEM_FUZZ_KIND == 0) {
    zem::TExif exif;
    if (exif.LoadFromJpeg(stream)) {
      for (uint16_t tag : {zem::kExifDateTime, zem::kExifImageDescription, zem::kExifUserComment, zem::kExifMake,
                           zem::kExifDateTimeOriginal})
        if (exif.Text(tag).size() > zem::TExif::kMaxFieldBytes) __builtin_trap();
      double v = 0;
      exif.Number(zem::kExifExposureTime, v);
      if (exif.Orientation() < 0 || exif.Orientation() > 8) __builtin_trap();
    }
  } else {
    zem::TIptcData iptc;
    if (iptc.LoadFromJpeg(stream))
      for (int d = 0; d < 256; ++d) iptc.First(static_cast<uint8_t>(d));
  }
  return 0;
}
