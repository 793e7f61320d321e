#include "resources/file_access.h"

#include <sys/stat.h>

#include <cstdlib>
#include <list>
#include <mutex>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "foundation/process.h"
#include "package/disk_path.h"
#include "package/load_throttle.h"
#include "resources/decoders.h"
#include "resources/placeholder.h"

namespace zem {

std::unique_ptr<TStream> OpenStream(const TFileAccessor& accessor, const WideString& name) {
  return accessor.OpenStream(WideToUtf8(name));
}

// ---- the picture cache ----

// One cache entry: the picture of one name from one file source.
class TImageHandle {
 public:
  std::mutex lock;         // held while the picture is loaded the first time
  std::string key;         // upper-case name
  uint32_t source_id = 0;
  int32_t refs = 0;        // guarded by the cache lock
  bool loaded = false;     // guarded by `lock`
  TRef<TBitmapStore> store;
};

namespace {

constexpr size_t kBuckets = 9997;

struct TCacheEntry {
  std::string key;
  std::vector<TImageHandle*> handles;  // one per file source
};

// The process-wide hash list. `lock` guards the buckets, the handle lists and every
// handle's reference count.
struct TPictureCache {
  std::mutex lock;
  std::vector<std::list<TCacheEntry>> buckets;
  int64_t live = 0;
  TPictureCache() : buckets(kBuckets) {}

  std::list<TCacheEntry>& Bucket(const std::string& key) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : key) h = (h ^ c) * 1099511628211ull;
    return buckets[h % kBuckets];
  }

  // Finds or creates the handle of key for the source and takes a reference. Lock held.
  TImageHandle* Acquire(const std::string& key, uint32_t source_id) {
    auto& bucket = Bucket(key);
    TCacheEntry* entry = nullptr;
    for (auto& e : bucket)
      if (e.key == key) { entry = &e; break; }
    if (!entry) entry = &bucket.emplace_back(TCacheEntry{key, {}});
    for (TImageHandle* h : entry->handles)
      if (h->source_id == source_id) { ++h->refs; return h; }
    auto* h = new TImageHandle;
    h->key = key;
    h->source_id = source_id;
    h->refs = 1;
    entry->handles.push_back(h);
    ++live;
    return h;
  }

  // Drops a reference; the last one removes the handle. Lock held. Returns the handle to
  // delete (outside the lock), or nullptr.
  TImageHandle* Release(TImageHandle* h) {
    if (--h->refs > 0) return nullptr;
    auto& bucket = Bucket(h->key);
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
      if (it->key != h->key) continue;
      std::erase(it->handles, h);
      if (it->handles.empty()) bucket.erase(it);
      break;
    }
    --live;
    return h;
  }
};

TPictureCache& Cache() {
  static TPictureCache* cache = new TPictureCache;  // handles may outlive static destruction order
  return *cache;
}

void ReleaseHandle(TImageHandle* h) {
  TImageHandle* dead;
  {
    std::lock_guard<std::mutex> guard(Cache().lock);
    dead = Cache().Release(h);
  }
  delete dead;  // releases the store outside the cache lock
}

}  // namespace

TZemImage::TZemImage(TImageHandle* handle, TRef<TBitmapStore> store) : TImage(std::move(store)), handle_(handle) {
  std::lock_guard<std::mutex> guard(Cache().lock);
  ++handle_->refs;
}

TZemImage::~TZemImage() { ReleaseHandle(handle_); }

std::unique_ptr<TImage> TZemImage::Clone() const {
  return std::unique_ptr<TImage>(new TZemImage(handle_, TRef<TBitmapStore>(Store())));
}

std::unique_ptr<TZemImage> LoadPicture(const TFileAccessor& accessor, const WideString& name) {
  const std::string utf8 = WideToUtf8(name);
  TImageHandle* h;
  {
    std::lock_guard<std::mutex> guard(Cache().lock);
    h = Cache().Acquire(UpperName(utf8), accessor.SourceId());
  }
  std::unique_ptr<TZemImage> result;
  try {
    std::lock_guard<std::mutex> guard(h->lock);
    if (!h->loaded) {
      TRef<TBitmapStore> store;
      // 1. A provider's ready picture.
      if (std::unique_ptr<TObj> obj = accessor.Source().AskPictureProviders(utf8))
        if (auto* img = dynamic_cast<TImage*>(obj.get())) store = img->Store();
      // 2. The file, decoded with the source's orientation table.
      bool opened = false;
      if (!store) {
        if (std::unique_ptr<TStream> stream = accessor.OpenStream(utf8)) {
          opened = true;
          TTransformLookup lookup = [&accessor](const WideString& n) { return accessor.ImageTransform(WideToUtf8(n)); };
          store = Decode(std::move(stream), name, &lookup);
          if (store) store->SetName(CapName(utf8));  // a fresh store of this file only
        }
      }
      // 3. The placeholder.
      if (!store) {
        LogMediaFailure("Picture", utf8, opened ? "no picture decoder reads it" : "not found (or its member is damaged)");
        store = MakePlaceholderStore(name, opened ? TPlaceholderReason::LoadError : TPlaceholderReason::NotFound);
      }
      if (store) store->SetProgress(LoadCallback);
      h->store = std::move(store);
      h->loaded = true;
    }
    if (h->store) result.reset(new TZemImage(h, h->store));
  } catch (...) {
    ReleaseHandle(h);
    throw;
  }
  ReleaseHandle(h);
  return result;
}

std::unique_ptr<TZemImage> LoadPicture(const TFileAccessor& accessor, const std::string& name) {
  return LoadPicture(accessor, Utf8ToWide(name));
}

std::unique_ptr<TCallbackHandle> AddPictureProvider(TFileSource& source, TPictureProvider provider, void* user_data) {
  return source.AddPictureProvider(
      [p = std::move(provider)](const std::string& name, void* data) -> std::unique_ptr<TObj> { return p(name, data); },
      user_data);
}

int64_t LiveImageHandles() {
  std::lock_guard<std::mutex> guard(Cache().lock);
  return Cache().live;
}

size_t CachedHandlesFor(const std::string& name) {
  std::string key = UpperName(name);
  std::lock_guard<std::mutex> guard(Cache().lock);
  for (auto& e : Cache().Bucket(key))
    if (e.key == key) return e.handles.size();
  return 0;
}

// ---- files that stay on disk ----

namespace {

struct TPathVariables {
  std::mutex lock;
  bool initialised = false;
  std::vector<TPathVariable> list;
};

TPathVariables& Variables() {
  static TPathVariables* v = new TPathVariables;
  return *v;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A name on disk: "\" as "/", letter case as found.
std::string DiskForm(const std::string& path) { return ResolveCaseInsensitive(SlashPath(path)); }

std::vector<TPathVariable> StandardVariables(std::string own_folder) {
  if (own_folder.empty()) own_folder = ExtractFileDir(OwnExecutablePath());
  if (!own_folder.empty() && own_folder.back() != '/') own_folder += '/';
  std::string data_home;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) data_home = x;
  else if (const char* home = std::getenv("HOME"); home && *home) data_home = std::string(home) + "/.local/share";
  if (!data_home.empty() && data_home.back() != '/') data_home += '/';
  return {{"%styles%", own_folder + "All/Themes/", false}, {"%styles%", data_home + "Orvane/Styles/", true}};
}

size_t FindNoCase(const std::string& hay, const std::string& needle) {
  if (needle.empty() || hay.size() < needle.size()) return std::string::npos;
  std::string h = LowerAscii(hay), n = LowerAscii(needle);
  return h.find(n);
}

}  // namespace

void InitPathVariables(const std::string& own_folder) {
  auto list = StandardVariables(own_folder);
  std::lock_guard<std::mutex> guard(Variables().lock);
  Variables().list = std::move(list);
  Variables().initialised = true;
}

void SetPathVariables(std::vector<TPathVariable> variables) {
  std::lock_guard<std::mutex> guard(Variables().lock);
  Variables().list = std::move(variables);
  Variables().initialised = true;
}

std::vector<TPathVariable> PathVariables() {
  {
    std::lock_guard<std::mutex> guard(Variables().lock);
    if (Variables().initialised) return Variables().list;
  }
  InitPathVariables();
  std::lock_guard<std::mutex> guard(Variables().lock);
  return Variables().list;
}

std::string ApplyPathVariables(const std::string& path) {
  std::string result = path;
  for (const TPathVariable& v : PathVariables()) {
    size_t at = FindNoCase(result, v.variable);
    if (at == std::string::npos) continue;
    std::string candidate = result.substr(0, at) + v.folder + result.substr(at + v.variable.size());
    if (IsFile(DiskForm(candidate))) return candidate;
    if (v.use_always) result = candidate;
  }
  return result;
}

bool ResolveDiskPath(const TFileAccessor& accessor, const std::string& path, std::string& resolved) {
  if (path.empty()) return false;
  std::string disk = DiskForm(path);
  if (IsFile(disk)) { resolved = disk; return true; }
  std::string replaced = ApplyPathVariables(path);
  if (replaced != path) {
    disk = DiskForm(replaced);
    if (IsFile(disk)) { resolved = disk; return true; }
  }
  const std::string& base = accessor.BaseFolder();
  if (!base.empty()) {
    std::string joined;
    if (SafeJoin(base, SlashPath(path), joined) && IsFile(disk = DiskForm(joined))) { resolved = disk; return true; }
    std::string file = ExtractFileName(SlashPath(path));
    if (!file.empty() && IsFile(disk = DiskForm(base + file))) { resolved = disk; return true; }
  }
  return false;
}

std::unique_ptr<TFileStream> OpenDiskFile(const TFileAccessor& accessor, const std::string& path) {
  std::string resolved;
  if (!ResolveDiskPath(accessor, path, resolved)) return nullptr;
  return TFileStream::Open(resolved, TFileMode::Read);
}

}  // namespace zem
