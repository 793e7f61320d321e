// Decoder plug-ins: five routines with the C calling convention, looked up by name. Four
// process-wide slots (WMA, Ogg Vorbis, APE, AAC). No plug-in is ever loaded from a file: the
// slots are filled from libraries built into the program.
#pragma once
#include <cstdint>
#include <memory>

#include "foundation/stream.h"
#include "sound/local_buffer.h"
#include "sound/stream_access.h"
#include "sound/wav_converter.h"

namespace zem {

#pragma pack(push, 1)
// The 18-byte wave format as the plug-in routines exchange it.
struct TPluginWaveFormat {
  uint16_t format_tag;
  uint16_t channels;
  uint32_t samples_per_sec;
  uint32_t avg_bytes_per_sec;
  uint16_t block_align;
  uint16_t bits_per_sample;
  uint16_t extra_size;
};
#pragma pack(pop)
static_assert(sizeof(TPluginWaveFormat) == 18);

extern "C" {
using TPluginWrite = void (*)(void* target, const void* bytes, int32_t count);
using TPluginGetMediaInfo = uint8_t (*)(void* stream, const TStreamRoutines* routines, int32_t* duration_ms,
                                        int32_t* data_value, TPluginWaveFormat* format);
using TPluginCreateDecoder = void* (*)(void* stream, const TStreamRoutines* routines, int32_t reserved,
                                       void* target, TPluginWrite write);
using TPluginDestroyDecoder = void (*)(void* handle);
// Delivers the next piece through the write routine; nothing delivered means the end.
using TPluginDecode = void (*)(void* handle);
// Seeks; writes back the position reached (ms).
using TPluginSetPosition = void (*)(void* handle, int32_t* position_ms);
}

// A library of plug-in routines: its exported routines by name (nullptr when missing).
class TPluginLibrary {
 public:
  virtual ~TPluginLibrary() = default;
  virtual void* Symbol(const char* name) const = 0;
};

// One loaded decoder plug-in.
struct TDllDec {
  const TPluginLibrary* library = nullptr;
  TPluginGetMediaInfo get_media_info = nullptr;
  TPluginCreateDecoder create_decoder = nullptr;
  TPluginDestroyDecoder destroy_decoder = nullptr;
  TPluginDecode decode = nullptr;
  TPluginSetPosition set_position = nullptr;
  bool loaded = false;
};

enum class TPluginSlot { Wma = 0, Ogg = 1, Ape = 2, Aac = 3 };

// Looks up the five routines; a library lacking any of them leaves the slot empty (false).
bool LoadPlugin(TPluginSlot slot, const TPluginLibrary* library);
void UnloadPlugin(TPluginSlot slot);
// A copy of the slot (empty when nothing is loaded).
TDllDec PluginSlot(TPluginSlot slot);
// The built-in plug-in libraries: Ogg Vorbis (libvorbisfile) and WMA (the video decoding
// library). The slots are filled by the plug-in set-up (plugin_setup.h).
const TPluginLibrary& OggVorbisPluginLibrary();
const TPluginLibrary& WmaPluginLibrary();

// "GetMediaInfo" of the slot's plug-in: duration -> duration, data value -> data offset, the
// wave format; false when the slot is empty or the routine fails.
bool PluginGetMediaInfo(TPluginSlot slot, TStream& stream, TMediaInfo& info);

// Converter for plug-in formats (codes 5..8): the library reads the stream itself.
class TDllConverter : public TWavConverter {
 public:
  explicit TDllConverter(const TDllDec& dec) : dec_(dec) {}
  ~TDllConverter() override;
  void Seek(double t_ms) override;
  bool Process(TLocalBuffer& in) override;
  bool Read() override { return true; }
  bool Open(const TMediaInfo& info) override;

 private:
  static void Write(void* target, const void* bytes, int32_t count);
  TDllDec dec_;
  void* handle_ = nullptr;
  TLocalBuffer decoded_;
};

}  // namespace zem
