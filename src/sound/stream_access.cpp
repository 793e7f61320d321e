#include "sound/stream_access.h"

#include <memory>

#include "foundation/assert.h"

namespace zem {

int64_t TMp3ShiftStream::Read(void* buffer, int64_t count) { return inner_->Read(buffer, count); }

int64_t TMp3ShiftStream::Write(const void*, int64_t) { ZEM_FAIL("TMp3ShiftStream is read-only"); }

int64_t TMp3ShiftStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t r = origin == TSeekOrigin::Begin ? inner_->Seek(offset + offset_, origin) : inner_->Seek(offset, origin);
  if (r < 0) return -1;
  return r - offset_;
}

int64_t TMp3ShiftStream::Size() {
  int64_t s = inner_->Size();
  return s < offset_ ? 0 : s - offset_;
}

TStream* TStreamWrapperClass::Open(const WideString& name, const TOpenStreamCallback* callback) {
  std::lock_guard lock(lock_);
  if (callback && *callback) return (*callback)(name);
  return TFileStream::Open(WideToUtf8(name), TFileMode::Read).release();
}

TStream* TStreamWrapperClass::OpenWindow(const WideString& name, int64_t offset,
                                         const TOpenStreamCallback* callback) {
  std::lock_guard lock(lock_);
  TStream* inner = Open(name, callback);
  if (!inner) return nullptr;
  return new TMp3ShiftStream(inner, offset);
}

void TStreamWrapperClass::Free(TStream* stream, const TFreeStreamCallback* callback) {
  if (!stream) return;
  std::lock_guard lock(lock_);
  std::unique_ptr<TMp3ShiftStream> window;
  if (auto* w = dynamic_cast<TMp3ShiftStream*>(stream)) {
    window.reset(w);
    stream = w->Inner();
  }
  if (callback && *callback)
    (*callback)(stream);
  else
    delete stream;
}

int64_t TStreamWrapperClass::Position(TStream* stream) {
  std::lock_guard lock(lock_);
  return stream->Position();
}

int64_t TStreamWrapperClass::Seek(TStream* stream, int64_t offset, int origin) {
  std::lock_guard lock(lock_);
  switch (origin) {
    case 0: return stream->Seek(offset, TSeekOrigin::Begin);
    case 1: return stream->Seek(offset, TSeekOrigin::Current);
    case 2: return stream->Seek(offset, TSeekOrigin::End);
    default: ZEM_FAIL("Invalid seek origin");
  }
}

int64_t TStreamWrapperClass::Read(TStream* stream, void* buffer, int64_t count) {
  if (count <= 0) return 0;
  std::lock_guard lock(lock_);
  return stream->Read(buffer, count);
}

int64_t TStreamWrapperClass::Size(TStream* stream) {
  std::lock_guard lock(lock_);
  return stream->Size();
}

TStreamWrapperClass& StreamWrapper() {
  static TStreamWrapperClass wrapper;
  return wrapper;
}

namespace {

extern "C" int64_t RoutineRead(void* stream, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return StreamWrapper().Read(static_cast<TStream*>(stream), buffer, count);
}
extern "C" int64_t RoutineTell(void* stream) { return StreamWrapper().Position(static_cast<TStream*>(stream)); }
extern "C" int64_t RoutineSeek(void* stream, int32_t offset, int32_t origin) {
  if (origin < 0 || origin > 2) return -1;
  return StreamWrapper().Seek(static_cast<TStream*>(stream), offset, origin);
}
extern "C" int64_t RoutineSize(void* stream) { return StreamWrapper().Size(static_cast<TStream*>(stream)); }

const TStreamRoutines kRoutines = {&RoutineRead, &RoutineTell, &RoutineSeek, &RoutineSize};

}  // namespace

const TStreamRoutines* SoundStreamRoutines() { return &kRoutines; }

namespace {
// Position of the "?" that starts a track suffix, or npos.
size_t TrackMark(const WideString& name) {
  size_t q = name.rfind(u'?');
  if (q == WideString::npos || q + 1 >= name.size()) return WideString::npos;
  for (size_t i = q + 1; i < name.size(); ++i)
    if (name[i] < u'0' || name[i] > u'9') return WideString::npos;
  return q;
}
}  // namespace

WideString FilePartOfName(const WideString& name) {
  size_t q = TrackMark(name);
  return q == WideString::npos ? name : name.substr(0, q);
}

int32_t TrackOfName(const WideString& name) {
  size_t q = TrackMark(name);
  if (q == WideString::npos) return -1;
  int64_t v = 0;
  for (size_t i = q + 1; i < name.size() && v < 1000000; ++i) v = v * 10 + (name[i] - u'0');
  return static_cast<int32_t>(v);
}

WideString ExtensionOfName(const WideString& name) {
  WideString file = FilePartOfName(name);
  size_t dot = file.rfind(u'.');
  size_t sep = file.find_last_of(u"\\/");
  if (dot == WideString::npos || (sep != WideString::npos && dot < sep)) return {};
  return LowerCase(file.substr(dot));
}

}  // namespace zem
