// What the nodes of a slide ask of the world outside the tree: pictures by name (including the
// generated ones, requested with the prefixes "Button: ", "Shadow: ", "Text: ", "Mask: "), the
// camera, the view rectangle and the continue test while a slide is loaded. One host is shared
// by all slides of one producer.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "model/draw_interface.h"
#include "model/generated_pictures.h"
#include "model/geometry.h"
#include "model/text_picture.h"

namespace zem {

class TFileAccessor;
class TZemObject;
class TCommonIniSection;
class TExtractorWrapper;

class TZemSlideHost : public TRefObj {
 public:
  // Answers whether a node seen exactly edge-on counts as hit.
  using TEdgeOnCallback = std::function<bool(TZemObject* node)>;

  // The picture of that name, or none when it cannot be had.
  virtual TRef<TDrawPicture> GetPicture(const WideString& name) = 0;
  // Camera position in slide pixels; it must lie in front of the slide (negative z).
  virtual TVec3 GetCameraPosition() = 0;
  virtual TRectI GetViewRect() = 0;
  // Consulted by long operations while a slide is being loaded; false asks them to stop early.
  virtual bool ContinueLoading() { return true; }
  // The show's files (text macros read the main image's facts, texts their stored outlines);
  // null when the host has none.
  virtual TFileAccessor* Files() const { return nullptr; }
  // Folder of the button themes ("PathToButtons" of the show); a theme is this + its name.
  virtual WideString ButtonsFolder() const { return {}; }
  // The button themes and the "Button: ", "Shadow: " and "PresetedMask:" pictures of this host.
  TGeneratedPictures& Generated() { return generated_; }
  // The script lookup: "tracks" answers the main section's "VideoBoss" object, "main" the main
  // section; none without a script.
  virtual const TCommonIniSection* ScriptObject(const WideString& /*name*/) { return nullptr; }
  // The same object for writing clip records back; none where the script is shared with other
  // threads (a playing show), so records are then corrected in memory only.
  virtual TCommonIniSection* WritableScriptObject(const WideString& /*name*/) { return nullptr; }
  // Opens a member of the show, or with fromDisk a file on disk, for reading; none when it
  // cannot be opened. fileDate (time_t, 0 unknown) is set when known.
  virtual std::unique_ptr<TStream> OpenMedia(const WideString& /*name*/, bool /*fromDisk*/, int64_t* fileDate) {
    if (fileDate) *fileDate = 0;
    return nullptr;
  }

  // Video decoders shared by the slides of this host, by key. Loader and engine threads.
  std::mutex& VideoWrapperLock() { return wrappersLock_; }
  std::vector<TExtractorWrapper*>& VideoWrappers() { return wrappers_; }  // under VideoWrapperLock

  void SetEdgeOnCallback(TEdgeOnCallback cb) { edgeOn_ = std::move(cb); }
  bool HasEdgeOnCallback() const { return static_cast<bool>(edgeOn_); }
  bool EdgeOnHit(TZemObject* node) const { return edgeOn_ ? edgeOn_(node) : false; }

 private:
  TEdgeOnCallback edgeOn_;
  TGeneratedPictures generated_;
  std::mutex wrappersLock_;
  std::vector<TExtractorWrapper*> wrappers_;  // without references; each leaves when freed
};

// A host over a fixed output size with pictures handed in by name; used by tools and tests.
class TSimpleSlideHost : public TZemSlideHost {
 public:
  TSimpleSlideHost(int32_t outputWidth, int32_t outputHeight) : width_(outputWidth), height_(outputHeight) {}

  // Handed-in pictures first; text names are answered by the text producer, generated names
  // by the host's own source.
  TRef<TDrawPicture> GetPicture(const WideString& name) override {
    ++requests_;
    auto it = pictures_.find(name);
    if (it != pictures_.end()) return it->second;
    if (TGeneratedPictures::Handles(name)) return Generated().Get(name, *this);
    return TTextPictureSource::Handles(name) ? texts_.Get(name, files_) : TRef<TDrawPicture>();
  }
  TVec3 GetCameraPosition() override {
    return {width_ / 2.0f, height_ / 2.0f, -static_cast<float>(height_)};
  }
  TRectI GetViewRect() override { return {0, 0, width_, height_}; }

  void AddPicture(const WideString& name, TRef<TDrawPicture> picture) { pictures_[name] = std::move(picture); }
  int32_t Requests() const { return requests_; }
  TFileAccessor* Files() const override { return files_; }
  void SetFiles(TFileAccessor* files) { files_ = files; }  // not owned
  WideString ButtonsFolder() const override { return buttons_; }
  void SetButtonsFolder(WideString folder) { buttons_ = std::move(folder); }
  bool ContinueLoading() override { return !continue_ || continue_(); }
  void SetContinueTest(std::function<bool()> test) { continue_ = std::move(test); }

 private:
  int32_t width_, height_;
  int32_t requests_ = 0;
  TFileAccessor* files_ = nullptr;
  WideString buttons_;
  std::function<bool()> continue_;
  TTextPictureSource texts_;
  std::map<WideString, TRef<TDrawPicture>> pictures_;
};

}  // namespace zem
