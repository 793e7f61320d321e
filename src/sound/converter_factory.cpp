#include "sound/converter_factory.h"

#include "foundation/assert.h"
#include "sound/adpcm_converter.h"
#include "sound/ffmpeg_converter.h"
#include "sound/mpeg_converter.h"
#include "sound/plugin_converter.h"

namespace zem {

std::unique_ptr<TWavConverter> CreateConverter(TStream* stream, const WideString& name, const TMediaInfo& info) {
  std::unique_ptr<TWavConverter> c;
  switch (info.format_code) {
    case kMediaPcmWave:
    case kMediaFloatWave:
      c = std::make_unique<TWavConverter>();
      break;
    case kMediaAdpcmWave:
      c = std::make_unique<TAdpcmConverter>();
      break;
    case kMediaMpeg:
      c = std::make_unique<TMpegConverter>();
      break;
    case kMediaWma:
    case kMediaOgg:
    case kMediaApe:
    case kMediaAac: {
      static const TPluginSlot kSlots[] = {TPluginSlot::Wma, TPluginSlot::Ogg, TPluginSlot::Ape, TPluginSlot::Aac};
      TDllDec dec = PluginSlot(kSlots[info.format_code - kMediaWma]);
      if (!dec.loaded) return nullptr;
      c = std::make_unique<TDllConverter>(dec);
      break;
    }
    case kMediaFFmpeg: {
      TFFMpegAudioLibrary* lib = FFMpegAudioLibrary();
      if (!lib || !lib->Present()) return nullptr;
      c = std::make_unique<TFFMpegConverter>(name);
      break;
    }
    default:
      ZEM_FAIL("Unknown media format code");
  }
  if (c) c->SetStream(stream);
  return c;
}

}  // namespace zem
