// The options of the show script's "Main" section that the player shell uses, read once into a
// record when a show opens. Keys owned by other subsystems (time line, transitions, music,
// overlay) are read there.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/strings.h"

namespace zem {

class TIniStorage;

struct TMainOptions {
  WideString zem_version;
  WideString exe_fn;                              // "opt_exefn"
  WideString caption = u"ZemViewer v5.6";         // "opt_scr_caption"
  int32_t scr_full = 1;                           // "opt_scr_full"
  int32_t scr_width = 640, scr_height = 480;      // "opt_scr_width", "opt_scr_height"
  bool without_border = true;                     // "opt_withoutborder"
  bool full_fixed_size = false;                   // "opt_scr_fullfixedsize"
  bool no_exclusive = false;                      // "opt_scr_noexclusive"
  int32_t hider_colour = 0;                       // "opt_scr_hidercolor"
  double unsharp_amount = 0;                      // "opt_scr_unsharpamount"
  int32_t unsharp_threshold = 0;                  // "opt_scr_unsharpthreshold"
  int32_t hide_cursor = 0;                        // "opt_hidecursor"
  int32_t hide_interval = 0;                      // "opt_hc2_hideinterval" (s)
  bool hide_on_startup = false;                   // "opt_hc2_hideonstartup"
  bool lock_wheel = false;                        // "opt_lockwheel"
  bool screen_saver = false;                      // "opt_ssaver"
  bool pause_when_inactive = true;                // "opt_pausewheninactive"
  WideString wma_path, ogg_path;                  // "opt_wmapath", "opt_oggpath"
  int32_t run_app_on_exit = 0;                    // "opt_runapponexit"
  bool run_app_on_exit_if_last_slide = true;      // "opt_runapponexitiflastslide"
  WideString run_app_on_exit_fn;                  // "opt_runapponexitfn"
  bool lock_f1 = false;                           // "opt_lockf1"
  WideString left_mouse, right_mouse, dbl_click;  // "opt_leftmouse", "opt_rightmouse", "opt_dblclick"
  bool exit_on_move = false;                      // "opt_exitonmove"
  bool synch_permit_control = true;               // "opt_synchpermitcontrol"
  int32_t slides_count = 0;                       // "opt_slidescount"
  bool startup_window = false;                    // "stw_show"
  WideString startup_caption = u"Startup Window"; // "stw_caption"
  int32_t startup_width = 640, startup_height = 480;  // "opt_startupwidth", "opt_startupheight"
  int32_t custom_dialogs_count = 0;               // "opt_customdialogscount"

  // Window mode of the show: 0 full screen, 1 window with border, 2 window without border.
  int32_t WindowMode() const { return scr_full == 1 ? 0 : (without_border ? 2 : 1); }
};

TMainOptions ReadMainOptions(const TIniStorage& script);

// Cursor hiding of "opt_hidecursor": the hide delay (ms, 0 = never by time) and the state at open.
struct TCursorHiding {
  int32_t delay_ms = 0;
  bool hidden_at_start = false;
};
TCursorHiding CursorHidingFromOptions(const TMainOptions& options);

}  // namespace zem
