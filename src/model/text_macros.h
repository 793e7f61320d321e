// Text macros: "<%Name%>" in a text is replaced by a fact of the slide or of its main image
// (file name parts, size, EXIF and IPTC fields) before the text is laid out.
//
// Threads: used by the thread that lays a text out (loader or engine), one parser per call.
#pragma once
#include <functional>
#include <vector>

#include "model/geometry.h"
#include "resources/exif.h"
#include "resources/iptc.h"

namespace zem {

class TZemObject;
class TZemSlide;

// Implemented by nodes that can be a slide's main image besides plain pictures (video clips:
// the clip's file name and its frame size). False when the node is not marked as main image.
class IZemMainImage {
 public:
  virtual bool MainImageInfo(WideString& name, TPointI& size) = 0;

 protected:
  ~IZemMainImage() = default;
};

// The macro names (between "<%" and "%>") in the order they are replaced: the direct ones, then
// those derived from other values.
const std::vector<WideString>& TextMacroOrder();

class TMTParser {
 public:
  // Answers a macro's value for an object; called at most once per macro and Expand.
  using TCallback = std::function<WideString(TZemObject* object, const WideString& macro)>;
  // Expanded lines never grow beyond this many code units; the rest is cut.
  static constexpr size_t kMaxExpanded = size_t(1) << 20;

  TMTParser(TCallback callback, TZemObject* object) : callback_(std::move(callback)), object_(object) {}
  // Each macro in turn: occurrences are found without regard to case, replaced by the value,
  // and the search goes on after the value (a value is never searched for the macro it
  // replaced). A macro without value becomes empty; an empty result becomes one space.
  WideString Expand(WideView text) const;

 private:
  TCallback callback_;
  TZemObject* object_;
};

// The facts the macros read for one slide: its place in the show and its main image (the
// first node, parents before children, that is exactly a picture or a video marked with an
// ImageIndex). The main image is looked for, and its EXIF and IPTC read, once, when first asked.
class TSlideFacts {
 public:
  explicit TSlideFacts(TZemSlide* slide);
  // The value of one macro name (as in TextMacroOrder()); empty when it has none.
  WideString Value(const WideString& macro);

  bool HasMainImage() {
    FindMainImage();
    return hasMain_;
  }
  const WideString& MainName() {
    FindMainImage();
    return mainName_;
  }

 private:
  // Looked for when a macro first asks: a text without main-image macros loads nothing.
  void FindMainImage();
  void ReadMetadata();

  TZemSlide* slide_;
  bool searched_ = false;
  bool hasMain_ = false;
  WideString mainName_;
  TPointI mainSize_;
  bool metadataRead_ = false;
  TExif exif_;
  TIptcData iptc_;
};

// Parts of a picture name: file name (after the last "\" or "/") with and without extension,
// folder path (up to and including that separator), the last folder's name, the name without
// extension.
struct TNameParts {
  WideString fileNameExt, fileName, folderPath, folderName, pathName;
};
TNameParts SplitPictureName(WideView name);

}  // namespace zem
