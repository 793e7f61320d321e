// File sources: where a show's members come from (plain files, or a package), reached by name
// with folders separated by "\". Sources are shared by reference count between accessors.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "package/file_map.h"

namespace zem {

class TZemUnpack;
class TFileSource;

// A picture provider is asked for a name before any file is opened and may return a ready
// picture (generated pictures). The picture type belongs to the resource layer; here it is any
// TObj the provider hands over.
using TPictureProc = std::function<std::unique_ptr<TObj>(const std::string& name, void* user_data)>;

// A registered provider; freeing the handle removes it from its source.
class TCallbackHandle : public TObj {
 public:
  ~TCallbackHandle() override;
  TFileSource* Source() const { return source_.get(); }
  const TPictureProc& Procedure() const { return proc_; }
  void* UserData() const { return user_data_; }

 private:
  friend class TFileSource;
  TCallbackHandle(TFileSource* source, TPictureProc proc, void* user_data);
  TRef<TFileSource> source_;
  TPictureProc proc_;
  void* user_data_;
};

class TFileSource : public TRefObj {
 public:
  TFileSource();
  ~TFileSource() override;

  // Opens a member under the source's lock; nullptr when it does not exist. The caller owns
  // the stream; reading it needs no lock (each stream has its own file handle).
  std::unique_ptr<TStream> Open(const std::string& name);
  // A process-unique number (the picture cache keys its entries by it).
  uint32_t Id() const { return id_; }

  // Whether a member of that name can be opened (cheaper than opening it for packages).
  virtual bool Exists(const std::string& name);
  // The file on disk that holds a member, for sources over plain files; false for packages.
  virtual bool DiskPath(const std::string& name, std::string& path);
  // The transform a picture of this name gets after decoding (RotationState).
  virtual TImageTransform ImageTransform(const std::string& name) const;
  // Tables loaded from the show script; nullptr for sources without them.
  virtual const TFileMap* FileMap() const { return nullptr; }
  virtual const TRotationState* RotationState() const { return nullptr; }
  // The package under a packed source; nullptr otherwise.
  virtual const TZemUnpack* Package() const { return nullptr; }

  // Picture providers, asked in registration order. Any thread.
  std::unique_ptr<TCallbackHandle> AddPictureProvider(TPictureProc proc, void* user_data = nullptr);
  std::unique_ptr<TObj> AskPictureProviders(const std::string& name);

 protected:
  // Runs with the source's lock held.
  virtual std::unique_ptr<TStream> DoOpen(const std::string& name) = 0;

 private:
  friend class TCallbackHandle;
  void RemoveProvider(TCallbackHandle* handle);
  const uint32_t id_;
  std::recursive_mutex lock_;  // opening members
  std::mutex providers_lock_;
  std::vector<TCallbackHandle*> providers_;
};

// Plain files. Relative names are taken below the root folder (empty: the working folder).
class TRealFileSource : public TFileSource {
 public:
  explicit TRealFileSource(std::string root_folder = std::string()) : root_(std::move(root_folder)) {}
  bool DiskPath(const std::string& name, std::string& path) override;
  const std::string& RootFolder() const { return root_; }
  void SetRootFolder(std::string folder) { root_ = std::move(folder); }

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override;

 private:
  std::string root_;
};

// Plain files with the FileMap and RotationState tables of the show script. A mapped name is
// opened under its first target, through this source again (a target may itself be mapped).
class TMappedFileSource : public TRealFileSource {
 public:
  using TRealFileSource::TRealFileSource;
  bool DiskPath(const std::string& name, std::string& path) override;
  TImageTransform ImageTransform(const std::string& name) const override;
  const TFileMap* FileMap() const override { return &map_; }
  const TRotationState* RotationState() const override { return &rotation_; }
  // Set up once, before the source is shared with other threads.
  TFileMap& MutableFileMap() { return map_; }
  TRotationState& MutableRotationState() { return rotation_; }

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override;
  // Opens a name that is not mapped.
  virtual std::unique_ptr<TStream> OpenUnmapped(const std::string& name);
  // The name after following the map (at most a few steps, so a loop cannot hang).
  std::string MappedName(const std::string& name) const;

 private:
  TFileMap map_;
  TRotationState rotation_;
};

// Members of a package, which the source owns.
class TPackedFileSource : public TMappedFileSource {
 public:
  explicit TPackedFileSource(std::unique_ptr<TZemUnpack> unpack);
  ~TPackedFileSource() override;
  bool DiskPath(const std::string& name, std::string& path) override;
  bool Exists(const std::string& name) override;
  const TZemUnpack* Package() const override { return unpack_.get(); }

 protected:
  std::unique_ptr<TStream> OpenUnmapped(const std::string& name) override;

 private:
  std::unique_ptr<TZemUnpack> unpack_;
};

}  // namespace zem
