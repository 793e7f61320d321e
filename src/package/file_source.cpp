#include "package/file_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>

#include "package/disk_path.h"
#include "package/unpack.h"

namespace zem {

namespace {
std::atomic<uint32_t> g_next_source_id{1};

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

// --- picture providers ---

TCallbackHandle::TCallbackHandle(TFileSource* source, TPictureProc proc, void* user_data)
    : source_(source), proc_(std::move(proc)), user_data_(user_data) {}

TCallbackHandle::~TCallbackHandle() {
  if (source_) source_->RemoveProvider(this);
}

// --- TFileSource ---

TFileSource::TFileSource() : id_(g_next_source_id.fetch_add(1)) {}
TFileSource::~TFileSource() = default;

std::unique_ptr<TStream> TFileSource::Open(const std::string& name) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return DoOpen(name);
}

bool TFileSource::DiskPath(const std::string&, std::string&) { return false; }

bool TFileSource::Exists(const std::string& name) { return Open(name) != nullptr; }

TImageTransform TFileSource::ImageTransform(const std::string&) const { return TImageTransform::None; }

std::unique_ptr<TCallbackHandle> TFileSource::AddPictureProvider(TPictureProc proc, void* user_data) {
  std::unique_ptr<TCallbackHandle> h(new TCallbackHandle(this, std::move(proc), user_data));
  std::lock_guard<std::mutex> g(providers_lock_);
  providers_.push_back(h.get());
  return h;
}

void TFileSource::RemoveProvider(TCallbackHandle* handle) {
  std::lock_guard<std::mutex> g(providers_lock_);
  providers_.erase(std::remove(providers_.begin(), providers_.end(), handle), providers_.end());
}

std::unique_ptr<TObj> TFileSource::AskPictureProviders(const std::string& name) {
  // Copy the procedures so a provider may register or free handles while it runs.
  std::vector<std::pair<TPictureProc, void*>> procs;
  {
    std::lock_guard<std::mutex> g(providers_lock_);
    for (auto* h : providers_) procs.emplace_back(h->Procedure(), h->UserData());
  }
  for (auto& [proc, user] : procs) {
    if (!proc) continue;
    if (auto picture = proc(name, user)) return picture;
  }
  return nullptr;
}

// --- plain files ---

bool TRealFileSource::DiskPath(const std::string& name, std::string& path) {
  if (name.empty()) return false;
  std::string p = SlashPath(name);
  if (p[0] != '/' && !root_.empty()) p = (root_.back() == '/' ? root_ : root_ + "/") + p;
  p = ResolveCaseInsensitive(p);
  if (!IsRegularFile(p)) return false;
  path = p;
  return true;
}

std::unique_ptr<TStream> TRealFileSource::DoOpen(const std::string& name) {
  std::string path;
  if (!TRealFileSource::DiskPath(name, path)) return nullptr;
  return TFileStream::Open(path, TFileMode::Read);
}

// --- mapped files ---

std::string TMappedFileSource::MappedName(const std::string& name) const {
  // Targets may be mapped again; a few steps cover every real chain and stop a loop.
  std::string current = name;
  for (int step = 0; step < 8; ++step) {
    const std::string* target = map_.Find(current);
    if (!target) break;
    current = *target;
  }
  return current;
}

bool TMappedFileSource::DiskPath(const std::string& name, std::string& path) {
  return TRealFileSource::DiskPath(MappedName(name), path);
}

TImageTransform TMappedFileSource::ImageTransform(const std::string& name) const {
  return rotation_.Transform(name);
}

std::unique_ptr<TStream> TMappedFileSource::DoOpen(const std::string& name) {
  return OpenUnmapped(MappedName(name));
}

std::unique_ptr<TStream> TMappedFileSource::OpenUnmapped(const std::string& name) {
  return TRealFileSource::DoOpen(name);
}

// --- package members ---

TPackedFileSource::TPackedFileSource(std::unique_ptr<TZemUnpack> unpack) : unpack_(std::move(unpack)) {}
TPackedFileSource::~TPackedFileSource() = default;

bool TPackedFileSource::DiskPath(const std::string&, std::string&) { return false; }

bool TPackedFileSource::Exists(const std::string& name) {
  TMemberInfo info;
  return unpack_ && unpack_->FindMember(MappedName(name), info) && unpack_->MemberReadable(info);
}

std::unique_ptr<TStream> TPackedFileSource::OpenUnmapped(const std::string& name) {
  if (!unpack_ || !unpack_->IsOpen()) return nullptr;
  return unpack_->OpenMember(name);
}

}  // namespace zem
