// The built-in Ogg Vorbis plug-in: the five plug-in routines over libvorbisfile, reading the
// stream only through the routines it is handed.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "sound/plugin_converter.h"

namespace zem {

namespace {

struct TOggSource {
  void* stream;
  const TStreamRoutines* routines;
};

extern "C" size_t OggRead(void* ptr, size_t size, size_t nmemb, void* source) {
  auto* s = static_cast<TOggSource*>(source);
  size_t want = size * nmemb;
  if (want == 0) return 0;
  if (want > 1 << 20) want = 1 << 20;
  int64_t got = s->routines->read(s->stream, ptr, static_cast<int32_t>(want));
  if (got <= 0) return 0;
  return static_cast<size_t>(got) / (size ? size : 1);
}

extern "C" int OggSeek(void* source, ogg_int64_t offset, int whence) {
  auto* s = static_cast<TOggSource*>(source);
  if (offset > INT32_MAX || offset < INT32_MIN) return -1;
  int origin = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? 1 : 2;
  return s->routines->seek(s->stream, static_cast<int32_t>(offset), origin) < 0 ? -1 : 0;
}

extern "C" long OggTell(void* source) {
  auto* s = static_cast<TOggSource*>(source);
  return static_cast<long>(s->routines->tell(s->stream));
}

const ov_callbacks kCallbacks = {&OggRead, &OggSeek, nullptr, &OggTell};

bool Usable(const vorbis_info* vi) {
  return vi && (vi->channels == 1 || vi->channels == 2 || vi->channels == 6) && vi->rate >= 1000 && vi->rate <= 384000;
}

struct TOggDecoder {
  TOggSource source;
  OggVorbis_File vf;
  void* target;
  TPluginWrite write;
  int channels;
  long rate;
};

extern "C" uint8_t OggGetMediaInfo(void* stream, const TStreamRoutines* routines, int32_t* duration,
                                   int32_t* data, TPluginWaveFormat* format) {
  TOggSource src{stream, routines};
  routines->seek(stream, 0, 0);
  OggVorbis_File vf;
  if (ov_open_callbacks(&src, &vf, nullptr, 0, kCallbacks) != 0) return 0;
  const vorbis_info* vi = ov_info(&vf, -1);
  bool ok = Usable(vi);
  if (ok) {
    double total = ov_time_total(&vf, -1);
    *duration = total > 0 && total < 2.0e6 ? static_cast<int32_t>(std::lround(total * 1000.0)) : 0;
    *data = 0;
    format->format_tag = 1;
    format->channels = static_cast<uint16_t>(vi->channels);
    format->samples_per_sec = static_cast<uint32_t>(vi->rate);
    format->block_align = static_cast<uint16_t>(vi->channels * 2);
    format->avg_bytes_per_sec = format->samples_per_sec * format->block_align;
    format->bits_per_sample = 16;
    format->extra_size = 0;
  }
  ov_clear(&vf);
  return ok ? 1 : 0;
}

extern "C" void* OggCreateDecoder(void* stream, const TStreamRoutines* routines, int32_t, void* target,
                                  TPluginWrite write) {
  auto* d = new TOggDecoder{{stream, routines}, {}, target, write, 0, 0};
  routines->seek(stream, 0, 0);
  if (ov_open_callbacks(&d->source, &d->vf, nullptr, 0, kCallbacks) != 0) {
    delete d;
    return nullptr;
  }
  const vorbis_info* vi = ov_info(&d->vf, -1);
  if (!Usable(vi)) {
    ov_clear(&d->vf);
    delete d;
    return nullptr;
  }
  d->channels = vi->channels;
  d->rate = vi->rate;
  return d;
}

extern "C" void OggDestroyDecoder(void* handle) {
  auto* d = static_cast<TOggDecoder*>(handle);
  if (!d) return;
  ov_clear(&d->vf);
  delete d;
}

extern "C" void OggDecode(void* handle) {
  auto* d = static_cast<TOggDecoder*>(handle);
  char buf[4096];
  for (int tries = 0; tries < 8; ++tries) {
    int link = 0;
    long n = ov_read(&d->vf, buf, sizeof buf, 0, 2, 1, &link);
    if (n == OV_HOLE) continue;  // a gap in the data: go on with what follows
    if (n <= 0) return;
    // A chained stream whose format changes cannot go on in the same output format.
    const vorbis_info* vi = ov_info(&d->vf, link);
    if (!vi || vi->channels != d->channels || vi->rate != d->rate) return;
    d->write(d->target, buf, static_cast<int32_t>(n));
    return;
  }
}

extern "C" void OggSetPosition(void* handle, int32_t* position) {
  auto* d = static_cast<TOggDecoder*>(handle);
  double t = std::max(0, *position) / 1000.0;
  if (ov_time_seek(&d->vf, t) != 0) ov_time_seek(&d->vf, 0);
  double now = ov_time_tell(&d->vf);
  *position = now >= 0 ? static_cast<int32_t>(std::lround(now * 1000.0)) : 0;
}

class TOggLibrary : public TPluginLibrary {
 public:
  void* Symbol(const char* name) const override {
    std::string_view n(name);
    if (n == "GetMediaInfo") return reinterpret_cast<void*>(&OggGetMediaInfo);
    if (n == "CreateDecoder") return reinterpret_cast<void*>(&OggCreateDecoder);
    if (n == "DestroyDecoder") return reinterpret_cast<void*>(&OggDestroyDecoder);
    if (n == "Decode") return reinterpret_cast<void*>(&OggDecode);
    if (n == "SetPosition") return reinterpret_cast<void*>(&OggSetPosition);
    return nullptr;
  }
};

}  // namespace

const TPluginLibrary& OggVorbisPluginLibrary() {
  static TOggLibrary library;
  return library;
}

}  // namespace zem
