// The print dialog: prints the captured picture or the slide's main picture, changes the
// printer, and saves a picture to a file. The picture provider answers for the three kinds of
// picture; the printing and file services are the window system's (replaced in tests).
//
// Threads: user-interface thread (a modal dialog; the show is paused meanwhile).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/stream.h"
#include "shell/dialog_model.h"

namespace zem {

class TIniStorage;
class TZemShowLocator;

inline constexpr int32_t kPrintChangePrinter = 1000;
inline constexpr int32_t kPrintPrint = 1001;
inline constexpr int32_t kPrintSave = 1002;
inline constexpr const char* kPrintJobTitle = "Slideshow";

// Picture kinds of the provider.
enum class TPictureKind : int32_t { MainPicture = 0, Captured = 1, MainPictureFile = 2 };

class TCallBackClass {
 public:
  // locator: the show (its accessor and script); captured: the picture the engine captured
  // (or null); slideIndex: -1 for none.
  TCallBackClass(const TZemShowLocator* locator, const TBitmap* captured, int32_t slideIndex);
  // Kind 0: the slide's main picture decoded (a missing file gives the placeholder); kind 1:
  // the captured picture; kind 2: the main picture's file into `stream`, JPEG bytes unchanged,
  // a picture container as a BMP file (the name then ends in ".bmp"). False when there is
  // nothing of that kind.
  bool GetPicture(TPictureKind kind, int32_t& slideIndex, WideString& fileName, TStream* stream, TBitmap* picture);

 private:
  const TZemShowLocator* locator_;
  const TBitmap* captured_;
  int32_t slideIndex_;
};

// What the print dialog asks of the window system.
class TPrintServices {
 public:
  virtual ~TPrintServices() = default;
  virtual void PrinterSetup(void* parent) = 0;
  virtual TPrintOutcome Print(void* parent, const TBitmap& picture, bool landscape, std::string* error) = 0;
  // A file name the user chose (asking before overwriting), or nothing when cancelled.
  virtual std::optional<std::string> ChooseSaveFile(void* parent, const std::string& title, const std::string& proposedName,
                                                    const std::string& defaultExtension, const std::string& pattern) = 0;
  virtual void Warning(void* parent, const std::string& text) = 0;
};
// GTK's print dialog, print operation, file chooser and message box.
TPrintServices& WindowPrintServices();

class TZemPrintDialog : public TDialog {
 public:
  TZemPrintDialog(const TIniStorage& script, TCallBackClass& provider, TPrintServices& services);

  const TIniStorage& script;
  TCallBackClass& provider;
  TPrintServices& services;
  TDialogButton& print;
  TDialogButton* save = nullptr;  // only with "CanRestore"
  TDialogCheckBox& onlyMainImage;
  TDialogButton& changePrinter;

 protected:
  std::optional<int32_t> Command(int32_t id, TNativeDialogSession& session) override;

 private:
  std::optional<int32_t> Print(TNativeDialogSession& session);
  std::optional<int32_t> Save(TNativeDialogSession& session);
  // The save chooser's title: the "Save" button's text.
  std::string SaveTitle() const;
  // Writes the bytes to the chosen file; a failure is shown in a warning box.
  bool Write(void* parent, const std::string& path, const std::vector<uint8_t>& bytes);
};

// Runs the print dialog on a captured picture (slide index -1: none). Answers the dialog's
// result (kNativeDialogUnavailable when no dialog can be shown).
int32_t ShowPrintDialog(const TDialogOwner& owner, const TZemShowLocator& show, const TBitmap* captured,
                        int32_t slideIndex, TPrintServices& services = WindowPrintServices());

// Writes a file in its folder and nowhere else: the bytes go to a new file next to it, which
// then replaces the name (a link of that name is replaced, not followed). An existing file is
// left as it was when anything fails. False with the reason.
bool SaveBytesInFolder(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace zem
