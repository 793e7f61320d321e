#include "platform/gtk_dialogs.h"

#include <SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/assert.h"
#include "foundation/log.h"

#if defined(ZEM_HAVE_GTK3)
// GTK is reached only through the pointers below: its cast macros must not call type functions.
#define G_DISABLE_CAST_CHECKS 1
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#endif

namespace zem {

#if defined(ZEM_HAVE_GTK3)

namespace {

#define ZEM_GTK_FUNCTIONS(X)                                                                                    \
  X(gtk_disable_setlocale) X(gtk_init_check) X(gdk_set_allowed_backends) X(gdk_display_get_default)             \
  X(g_signal_connect_data) X(g_object_unref) X(g_free) X(g_error_free) X(g_main_context_iteration)              \
  X(gtk_window_new) X(gtk_window_set_title) X(gtk_window_set_modal) X(gtk_window_set_resizable)                 \
  X(gtk_window_move) X(gtk_window_set_type_hint) X(gtk_window_set_default) X(gtk_window_present)                \
  X(gtk_fixed_new) X(gtk_fixed_put) X(gtk_container_add) X(gtk_widget_set_size_request) X(gtk_widget_show_all)  \
  X(gtk_widget_destroy) X(gtk_widget_realize) X(gtk_widget_get_window) X(gtk_widget_set_can_default)            \
  X(gtk_widget_grab_focus) X(gtk_widget_set_can_focus) X(gtk_widget_get_style_context) X(gtk_label_new)         \
  X(gtk_label_set_xalign) X(gtk_label_set_yalign) X(gtk_label_set_line_wrap) X(gtk_entry_new)                   \
  X(gtk_entry_set_visibility) X(gtk_entry_set_activates_default) X(gtk_entry_get_text) X(gtk_entry_set_text)    \
  X(gtk_button_new_with_label) X(gtk_check_button_new_with_label) X(gtk_toggle_button_get_active)               \
  X(gtk_toggle_button_set_active) X(gtk_css_provider_new) X(gtk_css_provider_load_from_data)                    \
  X(gtk_style_context_add_provider) X(gdk_window_set_transient_for) X(gtk_dialog_run)                           \
  X(gtk_print_unix_dialog_new) X(gtk_print_unix_dialog_set_settings) X(gtk_print_unix_dialog_get_settings)      \
  X(gtk_print_unix_dialog_set_page_setup) X(gtk_print_unix_dialog_get_page_setup)                               \
  X(gtk_print_unix_dialog_get_selected_printer) X(gtk_printer_get_name) X(gtk_print_settings_set_printer)       \
  X(gtk_print_settings_set_orientation) X(gtk_print_settings_copy) X(gtk_page_setup_new) X(gtk_page_setup_copy) \
  X(gtk_page_setup_set_orientation) X(gtk_print_operation_new) X(gtk_print_operation_set_job_name)              \
  X(gtk_print_operation_set_n_pages) X(gtk_print_operation_set_default_page_setup)                              \
  X(gtk_print_operation_set_print_settings) X(gtk_print_operation_run) X(gtk_print_operation_cancel)            \
  X(gtk_print_operation_get_status) X(gtk_print_context_get_cairo_context) X(gtk_print_context_get_width)       \
  X(gtk_print_context_get_height) X(cairo_image_surface_create_for_data) X(cairo_format_stride_for_width)       \
  X(cairo_surface_status) X(cairo_surface_destroy) X(cairo_save) X(cairo_restore) X(cairo_translate)            \
  X(cairo_scale) X(cairo_rectangle) X(cairo_clip) X(cairo_set_source_surface) X(cairo_get_source)               \
  X(cairo_pattern_set_filter) X(cairo_paint) X(gtk_file_chooser_dialog_new)                                     \
  X(gtk_file_chooser_set_do_overwrite_confirmation) X(gtk_file_chooser_set_current_name)                        \
  X(gtk_file_chooser_get_filename) X(gtk_file_filter_new) X(gtk_file_filter_add_pattern)                        \
  X(gtk_file_filter_set_name) X(gtk_file_chooser_add_filter) X(gtk_message_dialog_new)

// Present on X11 builds of GDK only; without them dialogs are not tied to the owner window.
#define ZEM_GTK_X11_FUNCTIONS(X)                                                                      \
  X(gdk_x11_display_get_type) X(gdk_x11_display_get_xdisplay) X(gdk_x11_window_foreign_new_for_display) \
  X(g_type_check_instance_is_a) X(XSetErrorHandler)

struct TGtkApi {
#define ZEM_DECLARE(f) decltype(&::f) f = nullptr;
  ZEM_GTK_FUNCTIONS(ZEM_DECLARE)
  ZEM_GTK_X11_FUNCTIONS(ZEM_DECLARE)
#undef ZEM_DECLARE
  void* lib = nullptr;
  bool tried = false, started = false, x11 = false;
  std::thread::id thread;
  Display* xdisplay = nullptr;  // GDK's own connection
  GtkPrintSettings* settings = nullptr;  // the printer chosen with RunPrinterSetup
  GtkPageSetup* pageSetup = nullptr;
};

TGtkApi& G() {
  static TGtkApi api;
  return api;
}

XErrorHandler g_previousXErrors = nullptr, g_gdkXErrors = nullptr;

// GDK's X error handler ends the process on errors it did not expect; errors of the other X
// connections (SDL's) keep going to the handler they had before GTK started.
int DispatchXError(Display* display, XErrorEvent* event) {
  if (display == G().xdisplay && g_gdkXErrors) return g_gdkXErrors(display, event);
  return g_previousXErrors ? g_previousXErrors(display, event) : 0;
}

bool LoadGtk(TGtkApi& g) {
  g.lib = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!g.lib) {
    const char* e = dlerror();
    LogLine(std::string("GTK: not loaded: ") + (e ? e : "libgtk-3.so.0"));
    return false;
  }
  bool all = true;
#define ZEM_BIND(f)                                                    \
  g.f = reinterpret_cast<decltype(g.f)>(dlsym(g.lib, #f));            \
  if (!g.f) {                                                          \
    LogLine("GTK: missing " #f);                                       \
    all = false;                                                       \
  }
  ZEM_GTK_FUNCTIONS(ZEM_BIND)
#undef ZEM_BIND
#define ZEM_BIND_OPTIONAL(f) g.f = reinterpret_cast<decltype(g.f)>(dlsym(g.lib, #f));
  ZEM_GTK_X11_FUNCTIONS(ZEM_BIND_OPTIONAL)
#undef ZEM_BIND_OPTIONAL
  return all;
}

bool Start() {
  TGtkApi& g = G();
  if (!g.tried) g.thread = std::this_thread::get_id();
  // GTK is not thread-safe: the user-interface thread alone may use it.
  ZEM_ASSERT(g.thread == std::this_thread::get_id());
  if (g.tried) return g.started;
  g.tried = true;
  if (!LoadGtk(g)) return false;
  // The player's number formats stay those of the C locale.
  g.gtk_disable_setlocale();
  // The same window system as the show's window, so the dialogs can belong to it.
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
  const bool sdlX11 = driver && std::strcmp(driver, "x11") == 0;
  if (sdlX11) g.gdk_set_allowed_backends("x11");
  XErrorHandler before = nullptr;
  if (g.XSetErrorHandler) {
    before = g.XSetErrorHandler(nullptr);
    g.XSetErrorHandler(before);
  }
  if (!g.gtk_init_check(nullptr, nullptr)) {
    LogLine("GTK: no display for dialogs");
    return false;
  }
  GdkDisplay* display = g.gdk_display_get_default();
  g.x11 = display && g.gdk_x11_display_get_type && g.g_type_check_instance_is_a &&
          g.gdk_x11_display_get_xdisplay && g.gdk_x11_window_foreign_new_for_display &&
          g.g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(display), g.gdk_x11_display_get_type());
  if (g.x11 && g.XSetErrorHandler) {
    g.xdisplay = g.gdk_x11_display_get_xdisplay(display);
    g_previousXErrors = before;
    g_gdkXErrors = g.XSetErrorHandler(DispatchXError);
    if (g_gdkXErrors == DispatchXError) g_gdkXErrors = nullptr;
  }
  g.started = true;
  LogLine("GTK: started for dialogs");
  return true;
}

// Lets GTK finish what closing a window left to do (unmapping, freeing), without waiting.
void Drain() {
  for (int i = 0; i < 1000 && G().g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

template <typename F>
void Connect(gpointer instance, const char* signal, F* handler, gpointer data) {
  G().g_signal_connect_data(instance, signal, reinterpret_cast<GCallback>(handler), data, nullptr, GConnectFlags(0));
}

// The design's control sizes are small: the theme's padding and minimum sizes give way.
void Tighten(GtkWidget* w) {
  TGtkApi& g = G();
  static GtkCssProvider* css = [&g] {
    GtkCssProvider* p = g.gtk_css_provider_new();
    const char* rules =
        "button { padding: 0 6px; min-height: 0; }\n"
        "entry { padding: 0 4px; min-height: 0; }\n"
        "checkbutton { padding: 0; min-height: 0; }\n";
    g.gtk_css_provider_load_from_data(p, rules, -1, nullptr);
    return p;
  }();
  g.gtk_style_context_add_provider(g.gtk_widget_get_style_context(w), reinterpret_cast<GtkStyleProvider*>(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void TieToOwner(GtkWidget* window, uint64_t owner) {
  TGtkApi& g = G();
  if (!g.x11 || owner == 0) return;
  g.gtk_widget_realize(window);
  GdkWindow* own = g.gtk_widget_get_window(window);
  GdkWindow* foreign = g.gdk_x11_window_foreign_new_for_display(g.gdk_display_get_default(), Window(owner));
  if (own && foreign) {
    g.gdk_window_set_transient_for(own, foreign);
    g.g_object_unref(foreign);
  }
}

struct TRunningDialog final : TNativeDialogSession {
  TNativeDialog* dialog = nullptr;
  const TNativeCommand* command = nullptr;
  GtkWidget* window = nullptr;
  std::vector<GtkWidget*> widgets;
  bool done = false;
  bool busy = false;  // a command runs (it may open dialogs of its own)
  int32_t result = kNativeDialogCancel;

  bool Checked(size_t item) const override {
    if (item >= widgets.size() || dialog->items[item].kind != TNativeDialogItem::TKind::CheckBox) return false;
    return G().gtk_toggle_button_get_active(reinterpret_cast<GtkToggleButton*>(widgets[item]));
  }
  void* Window() const override { return window; }

  void End(int32_t r) {
    result = r;
    done = true;
  }
};

struct TButtonBinding {
  TRunningDialog* run;
  int32_t id;
};

void OnClicked(GtkButton*, gpointer data) {
  auto* b = static_cast<TButtonBinding*>(data);
  TRunningDialog& run = *b->run;
  if (run.done || run.busy) return;
  run.busy = true;
  std::optional<int32_t> end = (*run.command) ? (*run.command)(b->id, run) : std::optional<int32_t>(b->id);
  run.busy = false;
  if (end) run.End(*end);
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* run = static_cast<TRunningDialog*>(data);
  if (!run->busy) run->End(kNativeDialogCancel);
  return TRUE;  // the dialog is destroyed by its runner
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* run = static_cast<TRunningDialog*>(data);
  if (event->keyval != GDK_KEY_Escape || run->busy) return FALSE;
  run->End(kNativeDialogCancel);
  return TRUE;
}

// The page of a print: one picture, scaled and centred.
struct TPrintJob {
  const TBitmap* picture = nullptr;
  bool drawn = false;
};

void OnDrawPage(GtkPrintOperation* op, GtkPrintContext* context, gint, gpointer data) {
  TGtkApi& g = G();
  auto* job = static_cast<TPrintJob*>(data);
  const TBitmap& p = *job->picture;
  const int64_t pw = int64_t(g.gtk_print_context_get_width(context));
  const int64_t ph = int64_t(g.gtk_print_context_get_height(context));
  const int64_t iw = p.Width(), ih = p.Height();
  if (pw <= 0 || ph <= 0 || iw <= 0 || ih <= 0) {
    g.gtk_print_operation_cancel(op);
    return;
  }
  // Page height first; the page width when that would be wider than the page.
  int64_t w = iw * ph / ih, h = ph;
  if (w > pw) {
    w = pw;
    h = ih * pw / iw;
  }
  const int64_t x = (pw - w) / 2, y = (ph - h) / 2;
  // Premultiplied ARGB rows for cairo.
  const int stride = g.cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, int(iw));
  if (stride <= 0) {
    g.gtk_print_operation_cancel(op);
    return;
  }
  std::vector<uint8_t> pixels(size_t(stride) * size_t(ih));
  for (int32_t row = 0; row < p.Height(); ++row)
    for (int32_t col = 0; col < p.Width(); ++col) {
      const uint32_t v = p.GetPixel(col, row);
      const uint32_t a = v >> 24;
      auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
      const uint32_t out = (a << 24) | (pre((v >> 16) & 255) << 16) | (pre((v >> 8) & 255) << 8) | pre(v & 255);
      std::memcpy(&pixels[size_t(row) * size_t(stride) + size_t(col) * 4], &out, 4);
    }
  cairo_surface_t* surface =
      g.cairo_image_surface_create_for_data(pixels.data(), CAIRO_FORMAT_ARGB32, int(iw), int(ih), stride);
  if (g.cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    g.cairo_surface_destroy(surface);
    g.gtk_print_operation_cancel(op);
    return;
  }
  cairo_t* cr = g.gtk_print_context_get_cairo_context(context);
  g.cairo_save(cr);
  g.cairo_rectangle(cr, double(x), double(y), double(w), double(h));
  g.cairo_clip(cr);
  g.cairo_translate(cr, double(x), double(y));
  g.cairo_scale(cr, double(w) / double(iw), double(h) / double(ih));
  g.cairo_set_source_surface(cr, surface, 0, 0);
  g.cairo_pattern_set_filter(g.cairo_get_source(cr), CAIRO_FILTER_GOOD);
  g.cairo_paint(cr);
  g.cairo_restore(cr);
  // The page is rendered before the callback returns; the pixels may go.
  g.cairo_surface_destroy(surface);
  job->drawn = true;
}

}  // namespace

bool NativeDialogsAvailable() { return Start(); }

bool NativeDialogsLoaded() { return G().lib != nullptr; }

int32_t RunNativeDialog(TNativeDialog& dialog, const TNativeCommand& command) {
  if (!Start()) return kNativeDialogUnavailable;
  TGtkApi& g = G();
  TRunningDialog run;
  run.dialog = &dialog;
  run.command = &command;
  GtkWidget* window = g.gtk_window_new(GTK_WINDOW_TOPLEVEL);
  run.window = window;
  auto* win = reinterpret_cast<GtkWindow*>(window);
  g.gtk_window_set_title(win, dialog.caption.c_str());
  g.gtk_window_set_modal(win, TRUE);
  g.gtk_window_set_resizable(win, FALSE);
  g.gtk_window_set_type_hint(win, GDK_WINDOW_TYPE_HINT_DIALOG);
  GtkWidget* fixed = g.gtk_fixed_new();
  g.gtk_widget_set_size_request(fixed, dialog.clientWidth, dialog.clientHeight);
  g.gtk_container_add(reinterpret_cast<GtkContainer*>(window), fixed);

  std::vector<std::unique_ptr<TButtonBinding>> bindings;
  GtkWidget* defaultButton = nullptr;
  GtkWidget* firstEdit = nullptr;
  for (TNativeDialogItem& item : dialog.items) {
    GtkWidget* w = nullptr;
    switch (item.kind) {
      case TNativeDialogItem::TKind::Static:
        w = g.gtk_label_new(item.text.c_str());
        g.gtk_label_set_xalign(reinterpret_cast<GtkLabel*>(w), 0);
        g.gtk_label_set_yalign(reinterpret_cast<GtkLabel*>(w), 0);
        g.gtk_label_set_line_wrap(reinterpret_cast<GtkLabel*>(w), TRUE);
        break;
      case TNativeDialogItem::TKind::Edit:
        w = g.gtk_entry_new();
        g.gtk_entry_set_text(reinterpret_cast<GtkEntry*>(w), item.text.c_str());
        g.gtk_entry_set_visibility(reinterpret_cast<GtkEntry*>(w), !item.password);
        g.gtk_entry_set_activates_default(reinterpret_cast<GtkEntry*>(w), TRUE);
        if (!firstEdit) firstEdit = w;
        break;
      case TNativeDialogItem::TKind::Button:
        w = g.gtk_button_new_with_label(item.text.c_str());
        if (item.isDefault) {
          g.gtk_widget_set_can_default(w, TRUE);
          defaultButton = w;
        }
        break;
      case TNativeDialogItem::TKind::CheckBox:
        w = g.gtk_check_button_new_with_label(item.text.c_str());
        g.gtk_toggle_button_set_active(reinterpret_cast<GtkToggleButton*>(w), item.checked);
        break;
    }
    Tighten(w);
    if (!item.tabStop && item.kind != TNativeDialogItem::TKind::Static) g.gtk_widget_set_can_focus(w, FALSE);
    if (item.id != 0 &&
        (item.kind == TNativeDialogItem::TKind::Button || item.kind == TNativeDialogItem::TKind::CheckBox)) {
      bindings.push_back(std::make_unique<TButtonBinding>(TButtonBinding{&run, item.id}));
      Connect(w, "clicked", OnClicked, bindings.back().get());
    }
    g.gtk_widget_set_size_request(w, std::max(1, item.width), std::max(1, item.height));
    g.gtk_fixed_put(reinterpret_cast<GtkFixed*>(fixed), w, item.x, item.y);
    run.widgets.push_back(w);
  }
  if (defaultButton) g.gtk_window_set_default(win, defaultButton);
  Connect(window, "delete-event", OnDelete, &run);
  Connect(window, "key-press-event", OnKey, &run);
  if (dialog.placed) g.gtk_window_move(win, dialog.x, dialog.y);
  TieToOwner(window, dialog.owner);
  g.gtk_widget_show_all(window);
  if (firstEdit) g.gtk_widget_grab_focus(firstEdit);
  else if (defaultButton) g.gtk_widget_grab_focus(defaultButton);
  g.gtk_window_present(win);

  while (!run.done) g.g_main_context_iteration(nullptr, TRUE);

  for (size_t i = 0; i < dialog.items.size(); ++i) {
    TNativeDialogItem& item = dialog.items[i];
    if (item.kind == TNativeDialogItem::TKind::Edit)
      item.text = g.gtk_entry_get_text(reinterpret_cast<GtkEntry*>(run.widgets[i]));
    else if (item.kind == TNativeDialogItem::TKind::CheckBox)
      item.checked = g.gtk_toggle_button_get_active(reinterpret_cast<GtkToggleButton*>(run.widgets[i]));
  }
  g.gtk_widget_destroy(window);
  Drain();
  return run.result;
}

bool RunPrinterSetup(void* parent) {
  if (!Start()) return false;
  TGtkApi& g = G();
  GtkWidget* d = g.gtk_print_unix_dialog_new(nullptr, static_cast<GtkWindow*>(parent));
  auto* dialog = reinterpret_cast<GtkPrintUnixDialog*>(d);
  if (g.settings) g.gtk_print_unix_dialog_set_settings(dialog, g.settings);
  if (g.pageSetup) g.gtk_print_unix_dialog_set_page_setup(dialog, g.pageSetup);
  const gint response = g.gtk_dialog_run(reinterpret_cast<GtkDialog*>(d));
  bool chosen = false;
  if (response == GTK_RESPONSE_OK) {
    GtkPrintSettings* settings = g.gtk_print_unix_dialog_get_settings(dialog);
    if (GtkPrinter* printer = g.gtk_print_unix_dialog_get_selected_printer(dialog))
      g.gtk_print_settings_set_printer(settings, g.gtk_printer_get_name(printer));
    if (g.settings) g.g_object_unref(g.settings);
    g.settings = settings;
    if (g.pageSetup) g.g_object_unref(g.pageSetup);
    g.pageSetup = g.gtk_page_setup_copy(g.gtk_print_unix_dialog_get_page_setup(dialog));
    chosen = true;
    LogLine("GTK: printer chosen");
  }
  g.gtk_widget_destroy(d);
  Drain();
  return chosen;
}

TPrintOutcome PrintPicture(void* parent, const TBitmap& picture, const std::string& title, bool landscape,
                           std::string* error) {
  if (!Start()) {
    if (error) *error = "no dialogs on this display";
    return TPrintOutcome::Failed;
  }
  TGtkApi& g = G();
  const GtkPageOrientation orientation = landscape ? GTK_PAGE_ORIENTATION_LANDSCAPE : GTK_PAGE_ORIENTATION_PORTRAIT;
  GtkPrintOperation* op = g.gtk_print_operation_new();
  g.gtk_print_operation_set_job_name(op, title.c_str());
  g.gtk_print_operation_set_n_pages(op, 1);
  GtkPageSetup* setup = g.pageSetup ? g.gtk_page_setup_copy(g.pageSetup) : g.gtk_page_setup_new();
  g.gtk_page_setup_set_orientation(setup, orientation);
  g.gtk_print_operation_set_default_page_setup(op, setup);
  g.g_object_unref(setup);
  GtkPrintOperationAction action = GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG;
  if (g.settings) {
    // The printer chosen before: printed there without asking.
    GtkPrintSettings* s = g.gtk_print_settings_copy(g.settings);
    g.gtk_print_settings_set_orientation(s, orientation);
    g.gtk_print_operation_set_print_settings(op, s);
    g.g_object_unref(s);
    action = GTK_PRINT_OPERATION_ACTION_PRINT;
  }
  TPrintJob job;
  job.picture = &picture;
  Connect(op, "draw-page", OnDrawPage, &job);
  GError* gerror = nullptr;
  const GtkPrintOperationResult result =
      g.gtk_print_operation_run(op, action, static_cast<GtkWindow*>(parent), &gerror);
  // The document goes to its printer (or file) while GTK's loop runs: wait until it is handed on.
  if (result == GTK_PRINT_OPERATION_RESULT_APPLY)
    for (int i = 0; i < 6000 && g.gtk_print_operation_get_status(op) < GTK_PRINT_STATUS_PENDING; ++i) {
      if (!g.g_main_context_iteration(nullptr, FALSE)) usleep(10000);
    }
  TPrintOutcome outcome = TPrintOutcome::Cancelled;
  if (result == GTK_PRINT_OPERATION_RESULT_APPLY && job.drawn) outcome = TPrintOutcome::Printed;
  if (result == GTK_PRINT_OPERATION_RESULT_ERROR) {
    outcome = TPrintOutcome::Failed;
    if (error) *error = gerror && gerror->message ? gerror->message : "printing failed";
  }
  if (gerror) g.g_error_free(gerror);
  g.g_object_unref(op);
  Drain();
  return outcome;
}

std::optional<std::string> ChooseSaveFile(void* parent, const std::string& title, const std::string& proposedName,
                                          const std::string& defaultExtension, const std::string& pattern) {
  if (!Start()) return std::nullopt;
  TGtkApi& g = G();
  GtkWidget* d = g.gtk_file_chooser_dialog_new(title.c_str(), static_cast<GtkWindow*>(parent),
                                               GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                               "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  auto* chooser = reinterpret_cast<GtkFileChooser*>(d);
  g.gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  g.gtk_file_chooser_set_current_name(chooser, proposedName.c_str());
  GtkFileFilter* filter = g.gtk_file_filter_new();
  g.gtk_file_filter_add_pattern(filter, pattern.c_str());
  g.gtk_file_filter_set_name(filter, pattern.c_str());
  g.gtk_file_chooser_add_filter(chooser, filter);
  std::optional<std::string> path;
  if (g.gtk_dialog_run(reinterpret_cast<GtkDialog*>(d)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = g.gtk_file_chooser_get_filename(chooser)) {
      path = name;
      g.g_free(name);
    }
  }
  g.gtk_widget_destroy(d);
  Drain();
  if (path && !defaultExtension.empty()) {
    const size_t slash = path->rfind('/');
    const std::string base = path->substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.find('.') == std::string::npos) *path += "." + defaultExtension;
  }
  return path;
}

void ShowNativeWarning(void* parent, const std::string& title, const std::string& text) {
  if (!Start()) {
    LogLine("GTK: warning not shown: " + text);
    return;
  }
  TGtkApi& g = G();
  GtkWidget* d = g.gtk_message_dialog_new(static_cast<GtkWindow*>(parent), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                          GTK_BUTTONS_OK, "%s", text.c_str());
  g.gtk_window_set_title(reinterpret_cast<GtkWindow*>(d), title.c_str());
  g.gtk_dialog_run(reinterpret_cast<GtkDialog*>(d));
  g.gtk_widget_destroy(d);
  Drain();
}

#else  // no GTK headers at build time: no system dialogs

bool NativeDialogsAvailable() { return false; }
bool NativeDialogsLoaded() { return false; }
int32_t RunNativeDialog(TNativeDialog&, const TNativeCommand&) { return kNativeDialogUnavailable; }
bool RunPrinterSetup(void*) { return false; }
TPrintOutcome PrintPicture(void*, const TBitmap&, const std::string&, bool, std::string* error) {
  if (error) *error = "built without GTK";
  return TPrintOutcome::Failed;
}
std::optional<std::string> ChooseSaveFile(void*, const std::string&, const std::string&, const std::string&,
                                          const std::string&) {
  return std::nullopt;
}
void ShowNativeWarning(void*, const std::string&, const std::string& text) { LogLine("no dialogs: " + text); }

#endif

}  // namespace zem
