#include "sound/plugin_setup.h"

#include <filesystem>
#include <mutex>
#include <vector>

#include "foundation/log.h"
#include "foundation/stream.h"
#include "package/file_accessor.h"
#include "package/temp_folders.h"
#include "script/ini_file.h"
#include "sound/ffmpeg_audio.h"
#include "sound/plugin_converter.h"

namespace zem {

namespace {

std::mutex g_lock;
bool g_done = false;                   // under g_lock
std::vector<std::string> g_folders;    // under g_lock: folders holding plug-in copies

// Copies the member into a new temporary folder under `leaf`; false when it cannot.
bool CopyMember(const TFileAccessor& files, const std::string& member, const std::string& leaf) {
  std::unique_ptr<TStream> in = files.OpenStream(member);
  if (!in) return false;
  std::string folder;
  try {
    folder = NewTempFolder(true);
  } catch (const ETempFolder&) {
    return false;
  }
  g_folders.push_back(folder);
  std::unique_ptr<TFileStream> out = TFileStream::Open(folder + leaf, TFileMode::Create);
  const int64_t size = in->Size();
  return out && size >= 0 && out->CopyFrom(*in, -1) == size;
}

// One slot: the member must exist and copy; then the built-in plug-in fills the slot.
void SetUpSlot(const TCommonIniSection* main, const TFileAccessor* files, const char16_t* key, const char* leaf,
               TPluginSlot slot, const TPluginLibrary& library, bool needsVideoLibrary, const char* failure) {
  const WideString path = main ? main->ReadString(key, u"") : WideString();
  if (path.empty() || !files) return;
  const std::string member = WideToUtf8(path);
  if (!files->Exists(member)) return;
  if (!CopyMember(*files, member, leaf)) return;
  // WMA decodes through the video decoding library; without it WMA stays unavailable.
  TFFMpegAudioLibrary* video = FFMpegAudioLibrary();
  const bool ready = !needsVideoLibrary || (video && video->Present());
  if (!ready || !LoadPlugin(slot, &library)) LogLine(failure);
}

}  // namespace

void SetUpDecoderPlugins(const TCommonIniSection* main, const TFileAccessor* files) {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_done) return;
  g_done = true;
  SetUpSlot(main, files, u"opt_wmapath", "zemwma.dll", TPluginSlot::Wma, WmaPluginLibrary(), true,
            "WMA INITIALIZE FAILED");
  SetUpSlot(main, files, u"opt_oggpath", "zemogg.dll", TPluginSlot::Ogg, OggVorbisPluginLibrary(), false,
            "OGG INITIALIZE FAILED");
}

void ShutDownDecoderPlugins() {
  std::lock_guard<std::mutex> g(g_lock);
  UnloadPlugin(TPluginSlot::Wma);
  UnloadPlugin(TPluginSlot::Ogg);
  for (const std::string& folder : g_folders) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (ec || std::filesystem::exists(folder, ec)) LogLine("+++++++++++++++++++ Delete Forlder ERROR: " + folder);
  }
  g_folders.clear();
}

void ResetDecoderPluginSetUp() {
  std::lock_guard<std::mutex> g(g_lock);
  g_done = false;
  UnloadPlugin(TPluginSlot::Wma);
  UnloadPlugin(TPluginSlot::Ogg);
}

}  // namespace zem
