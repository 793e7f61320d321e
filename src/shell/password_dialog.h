// The show password: a show whose script asks for one plays only after the right entry.
//
// Threads: user-interface thread (a modal dialog).
#pragma once
#include "shell/dialog_model.h"

namespace zem {

class TIniStorage;

// The password expected when the script has none of its own.
inline constexpr const char16_t* kDefaultShowPassword = u"kqvm27xbtnrplzse83Jwdca";

class TZemPasswordDialog : public TDialog {
 public:
  explicit TZemPasswordDialog(const TIniStorage& script);

  const TIniStorage& script;
  TDialogStatic& label;
  TDialogEdit& edit;
  TDialogButton& ok;
  TDialogButton& cancel;
};

// True when the show must not play: it asks for a password ("opt_usepass") and the dialog was
// cancelled, closed, answered wrongly (case counts) or could not be shown at all. An error
// inside the check lets the show play.
bool CheckShowPassword(const TDialogOwner& owner, const TIniStorage& script);

}  // namespace zem
