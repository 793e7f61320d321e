// Sound parsers on untrusted bytes: the WAVE reader with the WAVE converters (PCM, float,
// MS-ADPCM), or the MPEG reader with the MPEG converter, chosen by ZEM_FUZZ_EXT. Decoding and
// seeking run on whatever the reader accepted, with a cap on the output.
#include <cstdint>
#include <vector>

#include "foundation/stream.h"
#include "sound/converter_factory.h"
#include "sound/media_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  std::vector<uint8_t> bytes(data, data + size);
  TMemoryStream stream(std::move(bytes));
  TMediaInfo info;
  if (!TMediaInfoExtractor::Extract(stream, ZEM_FUZZ_EXT, info)) return 0;
  if (info.data_offset + static_cast<uint64_t>(info.data_size) > size) __builtin_trap();
  auto conv = CreateConverter(&stream, u"fuzz" ZEM_FUZZ_EXT, info);
  if (!conv || !conv->Open(info)) return 0;
  for (int i = 0; i < 64; ++i) {
    bool more = conv->Fill(4096);
    conv->Output().Consume(4096);
    if (!more) break;
  }
  conv->Seek(info.duration / 2.0 + 50);
  conv->Fill(4096);
  return 0;
}
