#include "resources/decoders.h"

#include <cstring>
#include <mutex>

namespace zem {

namespace {

struct TDecoderEntry {
  TDecodeProc proc;
  std::vector<std::string> extensions;  // lower case
};

// Filled once with the built-in decoders; RegisterDecoder appends during start-up only.
struct TRegistry {
  std::mutex lock;
  std::vector<TDecoderEntry> entries;
};

TRegistry& Registry() {
  static TRegistry* r = [] {
    auto* reg = new TRegistry;
    reg->entries.push_back({DecodeGfxContainer, {".vygfx", ".bmp", ".dib", ".png", ".gif"}});
    reg->entries.push_back({DecodeBmp, {".bmp", ".dib"}});
    reg->entries.push_back({DecodeJpeg, {".jpg", ".jpeg", ".jpe", ".jfif"}});
    reg->entries.push_back({DecodeGif, {".gif"}});
    reg->entries.push_back({DecodePng, {".png"}});
    return reg;
  }();
  return *r;
}

constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWithPng(TStream& s) {
  int64_t pos = s.Position();
  uint8_t sig[8];
  bool yes = s.ReadExact(sig, 8) && std::memcmp(sig, kPngSignature, 8) == 0;
  s.SetPosition(pos);
  return yes;
}

TRef<TBitmapStore> RunDecoders(TStream& stream, std::unique_ptr<TStream>* owned, const WideString& name,
                               const TTransformLookup* transform) {
  std::string ext = PictureExtension(name);
  if (ext == ".bmp" && StartsWithPng(stream)) ext = ".png";
  std::vector<TDecoderEntry> entries;
  {
    std::lock_guard<std::mutex> guard(Registry().lock);
    entries = Registry().entries;
  }
  const int64_t start = stream.Position();
  for (auto& e : entries) {
    if (!ext.empty()) {
      bool listed = false;
      for (auto& x : e.extensions) listed |= x == ext;
      if (!listed) continue;
    }
    TDecodeRequest req;
    req.stream = &stream;
    req.owned = owned;
    req.name = name;
    req.transform = transform;
    TRef<TBitmapStore> store = e.proc(req);
    if (store) return store;
    // A decoder that failed part-way must have put the position back; make sure.
    if (owned && !*owned) return {};
    stream.SetPosition(start);
  }
  return {};
}

}  // namespace

void RegisterDecoder(TDecodeProc proc, std::vector<std::string> extensions) {
  for (auto& e : extensions) e = LowerAscii(e);
  std::lock_guard<std::mutex> guard(Registry().lock);
  Registry().entries.push_back({proc, std::move(extensions)});
}

bool RegisterPictureLibrary(const std::string&, std::vector<std::string> extensions) {
  // libpng is linked in, so the entry exists from the start; only new extensions are added.
  std::lock_guard<std::mutex> guard(Registry().lock);
  for (auto& e : Registry().entries) {
    if (e.proc != DecodePng) continue;
    for (auto& x : extensions) {
      std::string lx = LowerAscii(x);
      bool have = false;
      for (auto& y : e.extensions) have |= y == lx;
      if (!have) e.extensions.push_back(lx);
    }
    return true;
  }
  return false;
}

std::string PictureExtension(const WideString& name) {
  size_t slash = name.find_last_of(u"\\/");
  size_t dot = name.rfind(u'.');
  if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) return std::string();
  return LowerAscii(WideToUtf8(name.substr(dot)));
}

TRef<TBitmapStore> Decode(TStream& stream, const WideString& name, const TTransformLookup* transform) {
  return RunDecoders(stream, nullptr, name, transform);
}

TRef<TBitmapStore> Decode(std::unique_ptr<TStream> stream, const WideString& name,
                          const TTransformLookup* transform) {
  if (!stream) return {};
  TStream& s = *stream;
  return RunDecoders(s, &stream, name, transform);
  // Whatever the decoders left in `stream` is freed here.
}

}  // namespace zem
