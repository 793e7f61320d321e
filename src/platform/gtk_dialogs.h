// The system dialogs on GTK 3: a dialog of placed controls run modally, the printer choice, the
// print operation, the save-file chooser and a warning box.
//
// GTK is loaded with dlopen and started on the first call that needs it, never before: a player
// run that opens no dialog neither loads nor starts it. Everything here runs on the
// user-interface thread only (the thread of the first call; another thread raises the assertion
// error). Without GTK, or without a display it can open, the calls answer "unavailable".
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bitmap.h"

namespace zem {

struct TNativeDialogItem {
  enum class TKind : uint8_t { Static, Edit, Button, CheckBox };
  TKind kind = TKind::Static;
  std::string text;                             // UTF-8; an edit's text is read back at the end
  int32_t x = 0, y = 0, width = 0, height = 0;  // pixels of the client area
  int32_t id = 0;                               // command identifier (0: none)
  bool tabStop = true;
  bool password = false;   // edit: characters hidden
  bool isDefault = false;  // button: Enter presses it
  bool checked = false;    // check box: set at start, read back at the end
};

struct TNativeDialog {
  std::string caption;
  int32_t clientWidth = 0, clientHeight = 0;
  bool placed = false;  // false: where the window system puts it
  int32_t x = 0, y = 0;  // screen position of the window when placed
  uint64_t owner = 0;   // X11 window the dialog belongs to (0: none)
  std::vector<TNativeDialogItem> items;
};

// What a command handler may ask while its dialog runs.
class TNativeDialogSession {
 public:
  virtual ~TNativeDialogSession() = default;
  virtual bool Checked(size_t item) const = 0;
  // The dialog's window, the parent of the dialogs a command opens.
  virtual void* Window() const = 0;
};
// Called with the identifier of a control that sent a command; answers the result that ends
// the dialog, or nothing to keep it open.
using TNativeCommand = std::function<std::optional<int32_t>(int32_t id, TNativeDialogSession& session)>;

inline constexpr int32_t kNativeDialogUnavailable = -1;
// Closing the window or pressing Escape ends a dialog with this result (the cancel command).
inline constexpr int32_t kNativeDialogCancel = 2;

// Loads and starts GTK on the first call; true when dialogs can be shown.
bool NativeDialogsAvailable();
// Whether this process has loaded GTK (tests: a run without dialogs must not).
bool NativeDialogsLoaded();

// Runs the dialog modally; kNativeDialogUnavailable without GTK. Edits' texts and check boxes'
// states are written back into the items.
int32_t RunNativeDialog(TNativeDialog& dialog, const TNativeCommand& command);

// The window system's printer choice; the choice is kept for later prints of this process.
// False when cancelled or unavailable.
bool RunPrinterSetup(void* parent);

enum class TPrintOutcome : uint8_t { Printed, Cancelled, Failed };
// Prints the picture as one page (title = the job name) in the orientation asked for: scaled to
// the page height, or to the page width when that is narrower, and centred. On the printer kept
// by RunPrinterSetup without asking; else through the print dialog.
TPrintOutcome PrintPicture(void* parent, const TBitmap& picture, const std::string& title, bool landscape,
                           std::string* error = nullptr);

// A save-file chooser asking before it overwrites; `pattern` filters the names shown and
// `defaultExtension` (without dot) is added to a chosen name without one. Nothing when
// cancelled or unavailable.
std::optional<std::string> ChooseSaveFile(void* parent, const std::string& title, const std::string& proposedName,
                                          const std::string& defaultExtension, const std::string& pattern);

// A modal warning box owned by `parent`.
void ShowNativeWarning(void* parent, const std::string& title, const std::string& text);

}  // namespace zem
