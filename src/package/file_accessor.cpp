#include "package/file_accessor.h"

#include "foundation/assert.h"
#include "package/load_throttle.h"
#include "package/partial_stream.h"

namespace zem {

TFileAccessor::TFileAccessor(TRef<TFileSource> source, std::string base_folder)
    : source_(std::move(source)) {
  ZEM_ASSERT(source_);
  SetBaseFolder(std::move(base_folder));
}

std::unique_ptr<TFileAccessor> TFileAccessor::Clone() const {
  auto copy = std::make_unique<TFileAccessor>(source_, base_folder_);
  copy->filter_ = filter_;
  copy->fallback_ = fallback_;
  return copy;
}

void TFileAccessor::SetBaseFolder(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  base_folder_ = std::move(folder);
}

std::unique_ptr<TStream> TFileAccessor::OpenStream(const std::string& name) const {
  std::unique_ptr<TStream> stream = source_->Open(name);
  if (stream) {
    int64_t size = stream->Size();
    if (size >= 0) {
      auto window = TPartialStream::Create(std::move(stream), 0, size);
      if (window) {
        window->SetThrottle(LoadCallback, TPartialStream::kChunk);
        stream = std::move(window);
      }
    }
    if (stream && filter_) stream = filter_(name, std::move(stream));
  }
  if (!stream && fallback_) stream = fallback_(name);
  return stream;
}

bool TFileAccessor::ReadWhole(const std::string& name, std::vector<uint8_t>& out, int64_t max_bytes) const {
  out.clear();
  auto stream = OpenStream(name);
  return stream && stream->ReadRest(out, max_bytes);
}

bool TFileAccessor::Exists(const std::string& name) const { return source_->Exists(name); }

TFileAccessor& PlainFileAccessor() {
  static TFileAccessor* accessor = new TFileAccessor(MakeRef<TRealFileSource>());
  return *accessor;
}

}  // namespace zem
