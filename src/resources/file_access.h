// Resource access: named streams through a show's file accessor, the process-wide picture cache
// (every picture decoded once per file source, however many objects show it), picture
// providers, and the files that stay on disk (path variables, base folder).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "package/file_accessor.h"
#include "resources/bitmap_store.h"

namespace zem {

// Opens a member through the accessor: the source under its lock, a window with the read
// throttle, the stream filter, then the fall-back opener.
std::unique_ptr<TStream> OpenStream(const TFileAccessor& accessor, const WideString& name);

class TImageHandle;

// A picture from the cache: holds one reference on its cache entry, released when freed.
class TZemImage : public TImage {
 public:
  ~TZemImage() override;
  std::unique_ptr<TImage> Clone() const override;
  TImageHandle* Handle() const { return handle_; }

 private:
  friend std::unique_ptr<TZemImage> LoadPicture(const TFileAccessor&, const WideString&);
  TZemImage(TImageHandle* handle, TRef<TBitmapStore> store);  // takes a reference on handle
  TImageHandle* handle_;
};

// The cached picture load; the placeholder stands in for a missing or undecodable file, so the
// result is none only when even that cannot be made.
std::unique_ptr<TZemImage> LoadPicture(const TFileAccessor& accessor, const WideString& name);
std::unique_ptr<TZemImage> LoadPicture(const TFileAccessor& accessor, const std::string& name);

// Registers a provider of ready pictures on the accessor's source; it must return a TImage
// (or a subclass) or nullptr. Freeing the handle removes it.
using TPictureProvider = std::function<std::unique_ptr<TImage>(const std::string& name, void* user_data)>;
std::unique_ptr<TCallbackHandle> AddPictureProvider(TFileSource& source, TPictureProvider provider,
                                                    void* user_data = nullptr);

// Cache statistics (tests, logs).
int64_t LiveImageHandles();
// Number of cache entries for a name (one per file source that loaded it).
size_t CachedHandlesFor(const std::string& name);

// Path variables: tokens such as "%styles%" in names of files that stay on disk.
struct TPathVariable {
  std::string variable;  // with its percent signs, compared without case
  std::string folder;    // replacement, ending with a folder separator
  bool use_always = false;
};
// The standard list: "%styles%" -> "All/Themes/" of the own folder (only where the file
// exists), then "%styles%" -> "$XDG_DATA_HOME/Orvane/Styles/" (always). Set up once at
// start-up, before other threads load files; own_folder empty: the program's folder.
void InitPathVariables(const std::string& own_folder = std::string());
void SetPathVariables(std::vector<TPathVariable> variables);
std::vector<TPathVariable> PathVariables();
// Replaces variables as the list says; returns the path unchanged when none applies.
std::string ApplyPathVariables(const std::string& path);

// Files that stay on disk (video clips): the path itself when it exists; else what the path
// variables make of it when that exists; else the file of that name in the accessor's base
// folder. Names may use "\"; letter case of components is found as on the authoring system.
bool ResolveDiskPath(const TFileAccessor& accessor, const std::string& path, std::string& resolved);
std::unique_ptr<TFileStream> OpenDiskFile(const TFileAccessor& accessor, const std::string& path);

}  // namespace zem
