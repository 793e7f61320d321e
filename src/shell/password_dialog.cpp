#include "shell/password_dialog.h"

#include "foundation/log.h"
#include "script/ini_file.h"

namespace zem {

TZemPasswordDialog::TZemPasswordDialog(const TIniStorage& s)
    : TDialog(s.ReadString(u"Main", u"opt_lng_password_caption", u"Password required"), 260, 98,
              TDialogPlacement::Screen),
      script(s),
      label(Add<TDialogStatic>(s.ReadString(u"Main", u"opt_lng_password_label", u"Enter password:"), 12, 12, 244, 16)),
      edit(Add<TDialogEdit>(u"", 12, 32, 236, 21)),
      ok(Add<TDialogButton>(s.ReadString(u"Main", u"opt_lng_button_ok", u"OK"), 52, 62, 75, 25, 1)),
      cancel(Add<TDialogButton>(s.ReadString(u"Main", u"opt_lng_button_cancel", u"Cancel"), 133, 62, 75, 25, 2)) {
  edit.password = true;
  ok.isDefault = true;
}

bool CheckShowPassword(const TDialogOwner& owner, const TIniStorage& script) {
  try {
    if (!script.ReadBool(u"Main", u"opt_usepass", false)) return false;
    TZemPasswordDialog dialog(script);
    const int32_t result = dialog.ShowModal(owner);
    if (result == kNativeDialogUnavailable) {
      // A password nobody could be asked for does not let the show through.
      LogLine("CheckShowPassword: no dialog can be shown; the show is blocked");
      return true;
    }
    if (result != 1) return true;
    return dialog.edit.text != script.ReadString(u"Main", u"opt_pass", kDefaultShowPassword);
  } catch (const std::exception& e) {
    LogLine(std::string("CheckShowPassword: ") + e.what());
    return false;
  }
}

}  // namespace zem
