// Music descriptions from untrusted show scripts: the object form (tracks, items, links, sound
// comments, video sound) and the key form, and "VolumeParams" texts.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "script/ini_file.h"
#include "sound/composite_params.h"
#include "sound/music/music_options.h"
#include "sound/music/music_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromBytes(data, size)) return 0;
  // Keys of the first section double as a "VolumeParams" text.
  const WideString volume = ini->ReadString(u"Main", u"VolumeParams", u"");
  try {
    TVolumeParamsList list(true);
    AddVolumeParamsText(volume, 0, list);
  } catch (const EMusicConfigError&) {
  }
  try {
    auto source = MakeRef<TZemSource>(std::move(ini), nullptr);
    TZemMusicSource music(*source, 1);
    for (int32_t i = 0; i < music.SlideCount(); ++i) {
      const TSlideMusicInfo& s = music.Slide(i);
      if (IsCompositeText(s.sound)) {
        TCompositeParams p;
        p.LoadFromText(s.sound);
      }
    }
    if (music.PlayList().Count() > 0) music.PlayList().Get(music.PlayList().Count() * 3 + 1);
  } catch (const std::exception&) {
    // Assertions and configuration errors end building the description, as they do in the player.
  }
  return 0;
}
