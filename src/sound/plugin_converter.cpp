#include "sound/plugin_converter.h"

#include <array>
#include <mutex>

#include "foundation/log.h"

namespace zem {

namespace {

std::mutex g_slots_lock;
std::array<TDllDec, 4> g_slots;  // guarded by g_slots_lock

}  // namespace

bool LoadPlugin(TPluginSlot slot, const TPluginLibrary* library) {
  TDllDec d;
  if (library) {
    d.library = library;
    d.get_media_info = reinterpret_cast<TPluginGetMediaInfo>(library->Symbol("GetMediaInfo"));
    d.create_decoder = reinterpret_cast<TPluginCreateDecoder>(library->Symbol("CreateDecoder"));
    d.destroy_decoder = reinterpret_cast<TPluginDestroyDecoder>(library->Symbol("DestroyDecoder"));
    d.decode = reinterpret_cast<TPluginDecode>(library->Symbol("Decode"));
    d.set_position = reinterpret_cast<TPluginSetPosition>(library->Symbol("SetPosition"));
    d.loaded = d.get_media_info && d.create_decoder && d.destroy_decoder && d.decode && d.set_position;
  }
  std::lock_guard lock(g_slots_lock);
  g_slots[static_cast<size_t>(slot)] = d.loaded ? d : TDllDec();
  return d.loaded;
}

void UnloadPlugin(TPluginSlot slot) {
  std::lock_guard lock(g_slots_lock);
  g_slots[static_cast<size_t>(slot)] = TDllDec();
}

TDllDec PluginSlot(TPluginSlot slot) {
  std::lock_guard lock(g_slots_lock);
  return g_slots[static_cast<size_t>(slot)];
}

bool PluginGetMediaInfo(TPluginSlot slot, TStream& stream, TMediaInfo& info) {
  TDllDec d = PluginSlot(slot);
  if (!d.loaded) return false;
  info.Clear();
  StreamWrapper().Seek(&stream, 0, 0);
  int32_t duration = 0, data = 0;
  TPluginWaveFormat wf{};
  if (!d.get_media_info(&stream, SoundStreamRoutines(), &duration, &data, &wf)) return false;
  TWaveFormat& f = info.wave_format;
  f.format_tag = wf.format_tag;
  f.channels = wf.channels;
  f.samples_per_sec = wf.samples_per_sec;
  f.avg_bytes_per_sec = wf.avg_bytes_per_sec;
  f.block_align = wf.block_align;
  f.bits_per_sample = wf.bits_per_sample;
  f.extra_size = wf.extra_size;
  if (f.format_tag != kWaveFormatPcm || !PlausibleWaveFormat(f)) {
    info.Clear();
    return false;
  }
  info.duration = duration > 0 ? static_cast<uint32_t>(duration) : 0;
  info.data_offset = static_cast<uint32_t>(data);
  return true;
}

// ------------------------------------------------------------------------------------------
// TDllConverter

TDllConverter::~TDllConverter() {
  if (handle_) dec_.destroy_decoder(handle_);
}

bool TDllConverter::Open(const TMediaInfo& info) {
  if (!dec_.loaded || !stream_) return false;
  if (!TWavConverter::Open(info)) return false;
  read_chunk_ = kReadChunk;
  decoded_.SetFormat(info.wave_format);
  decoded_.Reserve(kReadChunk);
  output_.SetFormat(has_target_ ? target_ : info.wave_format);
  StreamWrapper().Seek(stream_, 0, 0);
  handle_ = dec_.create_decoder(stream_, SoundStreamRoutines(), 0, this, &TDllConverter::Write);
  return handle_ != nullptr;
}

void TDllConverter::Write(void* target, const void* bytes, int32_t count) {
  auto* self = static_cast<TDllConverter*>(target);
  if (count > 0 && self->decoded_.Size() + count <= TLocalBuffer::kMaxCapacity) self->decoded_.Append(bytes, count);
}

void TDllConverter::Seek(double t_ms) {
  input_.Clear();
  output_.Clear();
  decoded_.Clear();
  if (resampler_) resampler_->Reset();
  position_ = t_ms;
  if (!handle_) return;
  int32_t pos = static_cast<int32_t>(std::max(0.0, std::min(t_ms, 2.0e9)));
  dec_.set_position(handle_, &pos);
  position_ = pos;
}

bool TDllConverter::Process(TLocalBuffer&) {
  if (!handle_) return false;
  dec_.decode(handle_);
  if (decoded_.Empty()) return false;
  return ProcessPcm(decoded_);
}

}  // namespace zem
