// The file accessor: how every part of the player reaches a show's members by name, as a
// stream or as whole bytes. It holds one reference to its source, a base folder and two hooks.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "package/file_source.h"

namespace zem {

// Called after each successful open with the member name and the stream; may replace it.
using TStreamFilter =
    std::function<std::unique_ptr<TStream>(const std::string& name, std::unique_ptr<TStream> stream)>;
// Asked when neither the source nor the filter gave a stream.
using TFallbackOpener = std::function<std::unique_ptr<TStream>(const std::string& name)>;

// Reading a member whole into memory stops here unless the caller asks for more.
inline constexpr int64_t kDefaultReadLimit = int64_t(1) << 30;

class TFileAccessor : public TObj {
 public:
  explicit TFileAccessor(TRef<TFileSource> source, std::string base_folder = std::string());
  // Another accessor on the same source, base folder and hooks.
  std::unique_ptr<TFileAccessor> Clone() const;

  TFileSource& Source() const { return *source_; }
  const TRef<TFileSource>& SourceRef() const { return source_; }
  uint32_t SourceId() const { return source_->Id(); }

  // Folder (with trailing "/" unless empty) used for files that stay on disk.
  const std::string& BaseFolder() const { return base_folder_; }
  void SetBaseFolder(std::string folder);

  void SetStreamFilter(TStreamFilter filter) { filter_ = std::move(filter); }
  void SetFallbackOpener(TFallbackOpener opener) { fallback_ = std::move(opener); }
  bool HasStreamFilter() const { return static_cast<bool>(filter_); }

  // Opens a member: through the source (under its lock), wrapped in a window with the read
  // throttle, then through the stream filter; the fall-back opener when that gave nothing.
  std::unique_ptr<TStream> OpenStream(const std::string& name) const;
  std::unique_ptr<TStream> OpenStream(WideView name) const { return OpenStream(WideToUtf8(name)); }
  // Reads a member whole; false when missing, unreadable or longer than max_bytes.
  bool ReadWhole(const std::string& name, std::vector<uint8_t>& out,
                 int64_t max_bytes = kDefaultReadLimit) const;
  bool Exists(const std::string& name) const;

  // Pass-throughs to the source.
  bool DiskPath(const std::string& name, std::string& path) const { return source_->DiskPath(name, path); }
  TImageTransform ImageTransform(const std::string& name) const { return source_->ImageTransform(name); }
  const TFileMap* FileMap() const { return source_->FileMap(); }
  const TRotationState* RotationState() const { return source_->RotationState(); }

 private:
  TRef<TFileSource> source_;
  std::string base_folder_;
  TStreamFilter filter_;
  TFallbackOpener fallback_;
};

// The process-wide accessor over plain files (base folder empty).
TFileAccessor& PlainFileAccessor();

}  // namespace zem
