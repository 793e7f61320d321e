#include "shell/show_options.h"

#include <algorithm>

#include "script/ini_file.h"

namespace zem {

TMainOptions ReadMainOptions(const TIniStorage& s) {
  TMainOptions o;
  const WideView m = u"main";
  o.zem_version = s.ReadString(m, u"ZemVersion", u"");
  o.exe_fn = s.ReadString(m, u"opt_exefn", u"");
  o.caption = s.ReadString(m, u"opt_scr_caption", o.caption);
  o.scr_full = s.ReadInteger(m, u"opt_scr_full", o.scr_full);
  o.scr_width = s.ReadInteger(m, u"opt_scr_width", o.scr_width);
  o.scr_height = s.ReadInteger(m, u"opt_scr_height", o.scr_height);
  o.without_border = s.ReadBool(m, u"opt_withoutborder", o.without_border);
  o.full_fixed_size = s.ReadBool(m, u"opt_scr_fullfixedsize", o.full_fixed_size);
  o.no_exclusive = s.ReadBool(m, u"opt_scr_noexclusive", o.no_exclusive);
  o.hider_colour = s.ReadInteger(m, u"opt_scr_hidercolor", o.hider_colour);
  o.unsharp_amount = s.ReadFloat(m, u"opt_scr_unsharpamount", o.unsharp_amount);
  o.unsharp_threshold = s.ReadInteger(m, u"opt_scr_unsharpthreshold", o.unsharp_threshold);
  o.hide_cursor = s.ReadInteger(m, u"opt_hidecursor", o.hide_cursor);
  o.hide_interval = s.ReadInteger(m, u"opt_hc2_hideinterval", o.hide_interval);
  o.hide_on_startup = s.ReadBool(m, u"opt_hc2_hideonstartup", o.hide_on_startup);
  o.lock_wheel = s.ReadBool(m, u"opt_lockwheel", o.lock_wheel);
  o.screen_saver = s.ReadBool(m, u"opt_ssaver", o.screen_saver);
  o.pause_when_inactive = s.ReadBool(m, u"opt_pausewheninactive", o.pause_when_inactive);
  o.wma_path = s.ReadString(m, u"opt_wmapath", u"");
  o.ogg_path = s.ReadString(m, u"opt_oggpath", u"");
  o.run_app_on_exit = s.ReadInteger(m, u"opt_runapponexit", o.run_app_on_exit);
  o.run_app_on_exit_if_last_slide = s.ReadBool(m, u"opt_runapponexitiflastslide", o.run_app_on_exit_if_last_slide);
  o.run_app_on_exit_fn = s.ReadString(m, u"opt_runapponexitfn", u"");
  o.lock_f1 = s.ReadBool(m, u"opt_lockf1", o.lock_f1);
  o.left_mouse = s.ReadString(m, u"opt_leftmouse", u"");
  o.right_mouse = s.ReadString(m, u"opt_rightmouse", u"");
  o.dbl_click = s.ReadString(m, u"opt_dblclick", u"");
  o.exit_on_move = s.ReadBool(m, u"opt_exitonmove", o.exit_on_move);
  o.synch_permit_control = s.ReadBool(m, u"opt_synchpermitcontrol", o.synch_permit_control);
  o.slides_count = s.ReadInteger(m, u"opt_slidescount", o.slides_count);
  o.startup_window = s.ReadBool(m, u"stw_show", o.startup_window);
  o.startup_caption = s.ReadString(m, u"stw_caption", o.startup_caption);
  o.startup_width = s.ReadInteger(m, u"opt_startupwidth", o.startup_width);
  o.startup_height = s.ReadInteger(m, u"opt_startupheight", o.startup_height);
  o.custom_dialogs_count = s.ReadInteger(m, u"opt_customdialogscount", o.custom_dialogs_count);
  return o;
}

TCursorHiding CursorHidingFromOptions(const TMainOptions& o) {
  TCursorHiding h;
  if (o.hide_cursor == 1) {
    h.hidden_at_start = true;
  } else if (o.hide_cursor == 2) {
    // Clamp so seconds x 1000 stays in range.
    h.delay_ms = std::clamp(o.hide_interval, 0, 2000000) * 1000;
    h.hidden_at_start = o.hide_on_startup;
  }
  return h;
}

}  // namespace zem
