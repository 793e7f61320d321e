#include "shell/print_dialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "foundation/log.h"
#include "package/show_locator.h"
#include "resources/bmp_writer.h"
#include "resources/decoders.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// A main picture file larger than this is not copied for saving.
constexpr int64_t kMaxSavedFileBytes = int64_t(1) << 30;

WideString FilePart(const WideString& name) {
  const size_t slash = name.find_last_of(u"\\/");
  return slash == WideString::npos ? name : name.substr(slash + 1);
}

WideString WithExtension(const WideString& name, WideView ext) {
  const size_t slash = name.find_last_of(u"\\/");
  const size_t dot = name.rfind(u'.');
  if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) return name + WideString(ext);
  return name.substr(0, dot) + WideString(ext);
}

bool IsJpegExtension(const std::string& ext) {
  return ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jfif";
}

class TWindowPrintServices final : public TPrintServices {
 public:
  void PrinterSetup(void* parent) override { RunPrinterSetup(parent); }
  TPrintOutcome Print(void* parent, const TBitmap& picture, bool landscape, std::string* error) override {
    return PrintPicture(parent, picture, kPrintJobTitle, landscape, error);
  }
  std::optional<std::string> ChooseSaveFile(void* parent, const std::string& title, const std::string& proposedName,
                                            const std::string& defaultExtension, const std::string& pattern) override {
    return zem::ChooseSaveFile(parent, title, proposedName, defaultExtension, pattern);
  }
  void Warning(void* parent, const std::string& text) override { ShowNativeWarning(parent, "Slideshow Error", text); }
};

}  // namespace

TPrintServices& WindowPrintServices() {
  static TWindowPrintServices services;
  return services;
}

// ---------------------------------------------------------------------------------------------
// Picture provider

TCallBackClass::TCallBackClass(const TZemShowLocator* locator, const TBitmap* captured, int32_t slideIndex)
    : locator_(locator), captured_(captured), slideIndex_(slideIndex) {}

bool TCallBackClass::GetPicture(TPictureKind kind, int32_t& slideIndex, WideString& fileName, TStream* stream,
                                TBitmap* picture) {
  WideString name;
  if (slideIndex_ >= 0) {
    slideIndex = slideIndex_;
    if (locator_ && locator_->Script())
      name = locator_->Script()->ReadString(u"slide" + Utf8ToWide(std::to_string(int64_t(slideIndex_) + 1)),
                                            u"picture", u"");
    fileName = name;
  }
  switch (kind) {
    case TPictureKind::MainPicture: {
      if (name.empty() || !picture || !locator_) return false;
      std::unique_ptr<TZemImage> image = LoadPicture(locator_->Accessor(), name);
      if (!image || !image->Store()) return false;
      *picture = image->Store()->Bitmap();
      if (picture->Empty()) return false;
      picture->ConvertTo(TPixelFormat::Argb32);
      return true;
    }
    case TPictureKind::Captured:
      if (!captured_ || captured_->Empty() || !picture) return false;
      *picture = *captured_;
      picture->ConvertTo(TPixelFormat::Argb32);
      return true;
    case TPictureKind::MainPictureFile: {
      if (!stream || name.empty() || !locator_) return false;
      std::unique_ptr<TStream> member = locator_->Accessor().OpenStream(name);
      if (!member || member->Size() > kMaxSavedFileBytes) return false;
      if (IsJpegExtension(PictureExtension(name))) {
        // The photograph exactly as the show holds it.
        stream->SetSize(0);
        stream->SetPosition(0);
        const int64_t size = member->Size();
        if (stream->CopyFrom(*member, -1) != size) return false;
        stream->SetPosition(0);
        return true;
      }
      TRef<TBitmapStore> store = Decode(std::move(member), WithExtension(name, u".vygfx"));
      if (!store) return false;
      std::vector<uint8_t> bmp;
      if (!EncodeBmp(store->Bitmap(), bmp)) return false;
      stream->SetSize(0);
      stream->SetPosition(0);
      if (!stream->WriteAll(bmp.data(), int64_t(bmp.size()))) return false;
      stream->SetPosition(0);
      fileName = WithExtension(name, u".bmp");
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Saving

bool SaveBytesInFolder(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    error = "no file name";
    return false;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    error = std::strerror(errno);
    return false;
  }
  static std::atomic<uint32_t> counter{0};
  const std::string temp = ".zem-save-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".part";
  const int fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  bool ok = fd >= 0;
  int code = ok ? 0 : errno;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      code = n < 0 ? errno : EIO;
      break;
    }
    done += size_t(n);
  }
  if (fd >= 0) {
    if (ok && ::fsync(fd) != 0) {
      ok = false;
      code = errno;
    }
    if (::close(fd) != 0 && ok) {
      ok = false;
      code = errno;
    }
  }
  if (ok && ::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok && fd >= 0) ::unlinkat(dir, temp.c_str(), 0);
  ::close(dir);
  if (!ok) error = std::strerror(code);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// The dialog

TZemPrintDialog::TZemPrintDialog(const TIniStorage& s, TCallBackClass& p, TPrintServices& services)
    : TDialog(s.ReadString(u"Main", u"opt_lng_print_caption", u"Print"), 282, 86, TDialogPlacement::Screen),
      script(s),
      provider(p),
      services(services),
      print(Add<TDialogButton>(s.ReadString(u"Main", u"opt_lng_print_button5", u"Print"), 12, 12, 125, 25,
                               kPrintPrint)),
      save(s.ReadBool(u"Main", u"CanRestore", false)
               ? &Add<TDialogButton>(s.ReadString(u"Main", u"opt_lng_print_button6", u"Save"), 145, 12, 125, 25,
                                     kPrintSave)
               : nullptr),
      onlyMainImage(
          Add<TDialogCheckBox>(s.ReadString(u"Main", u"opt_lng_print_button7", u"Only Main Image"), 145, 49, 125, 25)),
      changePrinter(Add<TDialogButton>(s.ReadString(u"Main", u"opt_lng_print_label", u"Change Printer"), 12, 49, 125,
                                       25, kPrintChangePrinter)) {}

std::optional<int32_t> TZemPrintDialog::Command(int32_t id, TNativeDialogSession& session) {
  switch (id) {
    case kPrintChangePrinter:
      services.PrinterSetup(session.Window());
      return std::nullopt;
    case kPrintPrint:
      return Print(session);
    case kPrintSave:
      return Save(session);
    default:
      return TDialog::Command(id, session);
  }
}

std::optional<int32_t> TZemPrintDialog::Print(TNativeDialogSession& session) {
  TBitmap picture;
  int32_t slide = -1;
  WideString name;
  bool got = session.Checked(IndexOf(onlyMainImage)) &&
             provider.GetPicture(TPictureKind::MainPicture, slide, name, nullptr, &picture);
  if (!got) got = provider.GetPicture(TPictureKind::Captured, slide, name, nullptr, &picture);
  if (!got || picture.Width() <= 0 || picture.Height() <= 0) return 1;
  std::string error;
  const TPrintOutcome outcome = services.Print(session.Window(), picture, picture.Width() > picture.Height(), &error);
  if (outcome == TPrintOutcome::Failed) LogLine("TZemPrintDialog: not printed: " + error);
  return 1;
}

std::string TZemPrintDialog::SaveTitle() const {
  return WideToUtf8(script.ReadString(u"Main", u"opt_lng_print_button6", u"Save"));
}

bool TZemPrintDialog::Write(void* parent, const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string error;
  if (SaveBytesInFolder(path, bytes, error)) return true;
  LogLine("TZemPrintDialog: " + path + " not written: " + error);
  services.Warning(parent, "The picture could not be saved as\n" + path + "\n" + error);
  return false;
}

std::optional<int32_t> TZemPrintDialog::Save(TNativeDialogSession& session) {
  void* parent = session.Window();
  int32_t slide = -1;
  WideString name;
  if (session.Checked(IndexOf(onlyMainImage))) {
    TMemoryStream file;
    if (provider.GetPicture(TPictureKind::MainPictureFile, slide, name, &file, nullptr) && !name.empty()) {
      // Only the file's own name is proposed: no folder of the show reaches the chooser.
      const std::string proposed = WideToUtf8(FilePart(name));
      const std::string ext = PictureExtension(Utf8ToWide(proposed));
      const std::string bare = ext.empty() ? std::string() : proposed.substr(proposed.size() - ext.size() + 1);
      const std::optional<std::string> path =
          services.ChooseSaveFile(parent, SaveTitle(), proposed, bare, "*." + (bare.empty() ? std::string("*") : bare));
      if (!path) return std::nullopt;
      if (!Write(parent, *path, file.Data())) return std::nullopt;
      return 1;
    }
  }
  TBitmap picture;
  if (!provider.GetPicture(TPictureKind::Captured, slide, name, nullptr, &picture) || picture.Width() <= 0 ||
      picture.Height() <= 0)
    return 1;
  const int32_t shown = slide >= 0 ? slide : -1;
  const std::string proposed = "Slide" + std::to_string(int64_t(shown) + 1) + ".bmp";
  const std::optional<std::string> path = services.ChooseSaveFile(parent, SaveTitle(), proposed, "bmp", "*.bmp");
  if (path) {
    std::vector<uint8_t> bmp;
    if (!EncodeBmp(picture, bmp)) return 1;
    if (!Write(parent, *path, bmp)) return std::nullopt;
  }
  return 1;
}

int32_t ShowPrintDialog(const TDialogOwner& owner, const TZemShowLocator& show, const TBitmap* captured,
                        int32_t slideIndex, TPrintServices& services) {
  if (!show.Script()) return 0;
  TCallBackClass provider(&show, captured, slideIndex);
  TZemPrintDialog dialog(*show.Script(), provider, services);
  return dialog.ShowModal(owner);
}

}  // namespace zem
