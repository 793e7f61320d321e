#include "model/text_macros.h"

#include <typeinfo>
#include <unordered_map>

#include "model/slide_host.h"
#include "model/zem_image.h"
#include "model/zem_slide.h"
#include "package/file_accessor.h"

namespace zem {

namespace {

struct TIptcMacro {
  const char16_t* name;
  uint8_t dataset;
  bool trimmed;  // first value, trimmed
};

const TIptcMacro kIptcMacros[] = {
    {u"MainImg.IPTC.DocumentTitle", kIptcObjectName, false},
    {u"MainImg.IPTC.SpecialInstructions", kIptcSpecialInstructions, false},
    {u"MainImg.IPTC.AuthorByline", kIptcByline, true},
    {u"MainImg.IPTC.AuthorTitle", kIptcBylineTitle, true},
    {u"MainImg.IPTC.City", kIptcCity, false},
    {u"MainImg.IPTC.Sublocation", kIptcSublocation, false},
    {u"MainImg.IPTC.ProvinceState", kIptcProvinceState, false},
    {u"MainImg.IPTC.Country", kIptcCountry, false},
    {u"MainImg.IPTC.OTR", kIptcTransmissionReference, false},
    {u"MainImg.IPTC.Headline", kIptcHeadline, false},
    {u"MainImg.IPTC.Credits", kIptcCredit, false},
    {u"MainImg.IPTC.Source", kIptcSource, false},
    {u"MainImg.IPTC.Copyright", kIptcCopyright, false},
    {u"MainImg.IPTC.CaptionDescription", kIptcCaption, false},
    {u"MainImg.IPTC.CaptionWriter", kIptcCaptionWriter, true},
};

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// Position of `needle` (ASCII, lower case) in `text` at or after `from`, compared after
// lower-case folding; npos when absent.
size_t FindFolded(WideView text, WideView needle, size_t from) {
  if (needle.empty() || text.size() < needle.size()) return WideView::npos;
  for (size_t i = text.find(u'<', from); i != WideView::npos && i + needle.size() <= text.size();
       i = text.find(u'<', i + 1)) {
    size_t k = 1;
    while (k < needle.size() && LowerChar(text[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return i;
  }
  return WideView::npos;
}

}  // namespace

const std::vector<WideString>& TextMacroOrder() {
  static const std::vector<WideString> kOrder = [] {
    std::vector<WideString> v = {u"SlideIndex",           u"SlidesCount",
                                 u"MainImg.Width",        u"MainImg.Height",
                                 u"MainImg.Exif.Comment", u"MainImg.Exif.Description",
                                 u"MainImg.PathNameExt"};
    for (const auto& m : kIptcMacros) v.push_back(m.name);
    for (const char16_t* d : {u"MainImg.FileName", u"MainImg.PathName", u"MainImg.FileNameExt",
                              u"MainImg.FolderPath", u"MainImg.FolderName", u"MainImg.Exif.Date",
                              u"MainImg.Exif.Time"})
      v.push_back(d);
    return v;
  }();
  return kOrder;
}

WideString TMTParser::Expand(WideView text) const {
  WideString cur(text.substr(0, std::min(text.size(), kMaxExpanded)));
  for (const WideString& macro : TextMacroOrder()) {
    const WideString needle = LowerCase(u"<%" + macro + u"%>");
    size_t at = FindFolded(cur, needle, 0);
    if (at == WideString::npos) continue;
    const WideString value = callback_ ? callback_(object_, macro) : WideString();
    WideString out;
    size_t pos = 0;
    while (at != WideString::npos) {
      out.append(cur, pos, at - pos);
      if (out.size() < kMaxExpanded) out.append(value, 0, kMaxExpanded - out.size());
      pos = at + needle.size();
      at = FindFolded(cur, needle, pos);
    }
    out.append(cur, pos, WideString::npos);
    if (out.size() > kMaxExpanded) out.resize(kMaxExpanded);
    cur.swap(out);
  }
  if (cur.empty()) cur.push_back(u' ');
  return cur;
}

TNameParts SplitPictureName(WideView name) {
  TNameParts p;
  const size_t sep = name.find_last_of(u"\\/");
  p.fileNameExt = WideString(sep == WideView::npos ? name : name.substr(sep + 1));
  p.folderPath = WideString(sep == WideView::npos ? WideView() : name.substr(0, sep + 1));
  const size_t dot = p.fileNameExt.rfind(u'.');
  p.fileName = dot == WideString::npos ? p.fileNameExt : p.fileNameExt.substr(0, dot);
  p.pathName = p.folderPath + p.fileName;
  if (sep != WideView::npos) {
    const WideView folder = name.substr(0, sep);
    const size_t prev = folder.find_last_of(u"\\/");
    p.folderName = WideString(prev == WideView::npos ? folder : folder.substr(prev + 1));
  }
  return p;
}

TSlideFacts::TSlideFacts(TZemSlide* slide) : slide_(slide) {}

void TSlideFacts::FindMainImage() {
  if (searched_ || !slide_) return;
  searched_ = true;
  ForEachNode(slide_, [&](TZemObject* n) {
    if (hasMain_ || n == slide_) return;
    if (typeid(*n) == typeid(show::TZemImage)) {
      auto* image = static_cast<show::TZemImage*>(n);
      if (image->ImageIndex() == show::TZemImage::kNoImageIndex) return;
      hasMain_ = true;
      mainName_ = image->ImageName();
      image->LoadImage();
      if (TDrawPicture* p = image->Picture()) mainSize_ = {p->Width(), p->Height()};
    } else if (auto* other = dynamic_cast<IZemMainImage*>(n)) {
      hasMain_ = other->MainImageInfo(mainName_, mainSize_);
    }
  });
}

void TSlideFacts::ReadMetadata() {
  if (metadataRead_) return;
  metadataRead_ = true;
  TZemSlideHost* host = slide_ ? slide_->Host() : nullptr;
  TFileAccessor* files = host ? host->Files() : nullptr;
  if (!files || mainName_.empty()) return;
  std::unique_ptr<TStream> stream = files->OpenStream(WideToUtf8(mainName_));
  TJpegMetadata meta;
  if (!stream || !ReadJpegMetadata(*stream, meta)) return;
  if (!meta.exif.empty()) exif_.Load(meta.exif.data(), meta.exif.size());
  if (!meta.photoshop.empty()) iptc_.Load(meta.photoshop.data(), meta.photoshop.size());
}

WideString TSlideFacts::Value(const WideString& macro) {
  if (macro == u"SlideIndex") return Num(int64_t(slide_ ? slide_->slideIndex : 0) + 1);
  if (macro == u"SlidesCount") return Num(slide_ ? slide_->slidesCount : 0);
  FindMainImage();
  if (!hasMain_) return {};
  if (macro == u"MainImg.Width") return Num(mainSize_.x);
  if (macro == u"MainImg.Height") return Num(mainSize_.y);
  if (macro == u"MainImg.PathNameExt") return mainName_;
  const TNameParts parts = SplitPictureName(mainName_);
  if (macro == u"MainImg.FileName") return parts.fileName;
  if (macro == u"MainImg.PathName") return parts.pathName;
  if (macro == u"MainImg.FileNameExt") return parts.fileNameExt;
  if (macro == u"MainImg.FolderPath") return parts.folderPath;
  if (macro == u"MainImg.FolderName") return parts.folderName;
  ReadMetadata();
  if (macro == u"MainImg.Exif.Comment") return exif_.Text(kExifUserComment);
  if (macro == u"MainImg.Exif.Description") return exif_.Text(kExifImageDescription);
  if (macro == u"MainImg.Exif.Date" || macro == u"MainImg.Exif.Time") {
    const WideString dt = exif_.Text(kExifDateTime);
    const size_t space = dt.find(u' ');
    if (macro == u"MainImg.Exif.Date") return space == WideString::npos ? dt : dt.substr(0, space);
    return space == WideString::npos ? WideString() : dt.substr(space + 1);
  }
  for (const auto& m : kIptcMacros) {
    if (macro != m.name) continue;
    const WideString v = iptc_.First(m.dataset);
    return m.trimmed ? TrimBlanks(v) : v;
  }
  return {};
}

}  // namespace zem
