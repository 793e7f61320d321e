#include "platform/native_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <vector>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace zem {

uint64_t NativeWindowNumber(SDL_Window* window) {
  if (!window) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return static_cast<uint64_t>(info.info.x11.window);
#endif
  return 0;
}

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

// The X library as SDL uses it: loaded at run time (SDL loads it the same way), so the player
// needs no X library where it runs on another window system.
struct TXlib {
  void* lib = nullptr;
  Display* display = nullptr;
  decltype(&XOpenDisplay) OpenDisplay = nullptr;
  decltype(&XCloseDisplay) CloseDisplay = nullptr;
  decltype(&XDefaultRootWindow) DefaultRoot = nullptr;
  decltype(&XInternAtom) InternAtom = nullptr;
  decltype(&XGetWindowProperty) GetWindowProperty = nullptr;
  decltype(&XFree) Free = nullptr;
  decltype(&XQueryTree) QueryTree = nullptr;
  decltype(&XGetWindowAttributes) GetWindowAttributes = nullptr;
  decltype(&XRaiseWindow) RaiseWindow = nullptr;
  decltype(&XSetInputFocus) SetInputFocus = nullptr;
  decltype(&XGetInputFocus) GetInputFocus = nullptr;
  decltype(&XQueryPointer) QueryPointer = nullptr;
  decltype(&XSendEvent) SendEvent = nullptr;
  decltype(&XSync) Sync = nullptr;
  decltype(&XSetErrorHandler) SetErrorHandler = nullptr;
  decltype(&XGetWMHints) GetWMHints = nullptr;
  decltype(&XSetWMHints) SetWMHints = nullptr;
  decltype(&XAllocWMHints) AllocWMHints = nullptr;
  decltype(&XFlush) Flush = nullptr;
  Atom net_wm_pid = 0, net_active_window = 0, net_supporting_wm_check = 0, net_supported = 0;

  ~TXlib() {
    if (display) CloseDisplay(display);
    // The library stays loaded: SDL may still use it.
  }

  template <typename F>
  bool Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
  }

  bool Load() {
    lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    const bool bound = Bind(OpenDisplay, "XOpenDisplay") && Bind(CloseDisplay, "XCloseDisplay") &&
                       Bind(DefaultRoot, "XDefaultRootWindow") && Bind(InternAtom, "XInternAtom") &&
                       Bind(GetWindowProperty, "XGetWindowProperty") && Bind(Free, "XFree") &&
                       Bind(QueryTree, "XQueryTree") && Bind(GetWindowAttributes, "XGetWindowAttributes") &&
                       Bind(RaiseWindow, "XRaiseWindow") && Bind(SetInputFocus, "XSetInputFocus") &&
                       Bind(GetInputFocus, "XGetInputFocus") && Bind(QueryPointer, "XQueryPointer") &&
                       Bind(SendEvent, "XSendEvent") && Bind(Sync, "XSync") &&
                       Bind(SetErrorHandler, "XSetErrorHandler") && Bind(GetWMHints, "XGetWMHints") &&
                       Bind(SetWMHints, "XSetWMHints") && Bind(AllocWMHints, "XAllocWMHints") &&
                       Bind(Flush, "XFlush");
    if (!bound) return false;
    // A connection of our own: SDL's event reading never sees the replies asked for here.
    display = OpenDisplay(nullptr);
    if (!display) return false;
    net_wm_pid = InternAtom(display, "_NET_WM_PID", False);
    net_active_window = InternAtom(display, "_NET_ACTIVE_WINDOW", False);
    net_supporting_wm_check = InternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    net_supported = InternAtom(display, "_NET_SUPPORTED", False);
    return true;
  }
};

std::mutex g_xlib_mutex;  // guards the connection; every entry point below holds it

// Set while an error trap is installed, read after the trap's round trip.
bool g_x_error = false;
int RecordXError(Display*, XErrorEvent*) {
  g_x_error = true;
  return 0;
}

// Turns X errors on the windows of other programs (they may vanish at any moment) into a
// result instead of Xlib's default, which ends the process. Holds the previous handler.
class TErrorTrap {
 public:
  explicit TErrorTrap(TXlib& x) : x_(x) {
    x_.Sync(x_.display, False);
    g_x_error = false;
    previous_ = x_.SetErrorHandler(RecordXError);
  }
  ~TErrorTrap() {
    x_.Sync(x_.display, False);
    x_.SetErrorHandler(previous_);
  }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  // Whether any request since the trap was set failed.
  bool Failed() {
    x_.Sync(x_.display, False);
    return g_x_error;
  }

 private:
  TXlib& x_;
  XErrorHandler previous_ = nullptr;
};

// The connection, opened on first use; nullptr when SDL does not run on X11 or it cannot open.
TXlib* Xlib() {
  static TXlib* xlib = nullptr;
  static bool tried = false;
  if (tried) return xlib;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return nullptr;  // decided again once SDL runs
  tried = true;
  static TXlib instance;
  if (instance.Load()) xlib = &instance;
  return xlib;
}

// The first 32-bit item of a property; false when the window lacks it.
bool ReadCardinal(TXlib& x, Window w, Atom property, unsigned long& value) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int rc = x.GetWindowProperty(x.display, w, property, 0, 1, False, AnyPropertyType, &type, &format, &count,
                                     &after, &data);
  const bool ok = rc == Success && data && format == 32 && count >= 1;
  // Format 32 items come as longs.
  if (ok) value = reinterpret_cast<unsigned long*>(data)[0];
  if (data) x.Free(data);
  return ok;
}

// The children of a window, bottom of the stacking order first.
std::vector<Window> Children(TXlib& x, Window w, Window* parent_out = nullptr) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<Window> out;
  if (x.QueryTree(x.display, w, &root, &parent, &children, &count)) out.assign(children, children + count);
  if (children) x.Free(children);
  if (parent_out) *parent_out = parent;
  return out;
}

bool Viewable(TXlib& x, Window w) {
  XWindowAttributes attributes;
  return x.GetWindowAttributes(x.display, w, &attributes) && attributes.map_state == IsViewable;
}

// The window of `pid` inside `w` (itself or a client window inside a frame), searched
// `depth` levels down; 0 when none.
Window ProcessWindowIn(TXlib& x, Window w, unsigned long pid, int depth) {
  unsigned long owner = 0;
  if (ReadCardinal(x, w, x.net_wm_pid, owner) && owner == pid) return w;
  // Some managers mark their frames with their own process; the client is still inside.
  if (depth == 0) return 0;
  const std::vector<Window> children = Children(x, w);
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    if (Window found = ProcessWindowIn(x, *it, pid, depth - 1)) return found;
  return 0;
}

// The window manager's active window, when a window manager that keeps one runs.
bool ActiveWindowOfManager(TXlib& x, Window root, Window& active) {
  unsigned long check = 0, value = 0;
  if (!ReadCardinal(x, root, x.net_supporting_wm_check, check) || check == 0) return false;
  // A manager that ended leaves its check window's number behind; the window itself is gone.
  unsigned long again = 0;
  const bool alive = ReadCardinal(x, static_cast<Window>(check), x.net_supporting_wm_check, again);
  x.Sync(x.display, False);
  g_x_error = false;  // the stale window's error is this answer, not a failure of the caller
  if (!alive || again != check) return false;
  if (!ReadCardinal(x, root, x.net_active_window, value)) return false;
  active = static_cast<Window>(value);
  return true;
}

// The child of the root that holds `w` (its frame when a window manager reparented it).
Window TopLevelOf(TXlib& x, Window root, Window w) {
  for (int guard = 0; w != 0 && w != root && guard < 64; ++guard) {
    Window parent = 0;
    Children(x, w, &parent);
    if (parent == root || parent == 0) return w;
    w = parent;
  }
  return w == root ? 0 : w;
}

// The top-level window with the input focus, or under the pointer when the focus follows it.
Window FocusTopLevel(TXlib& x, Window root) {
  Window focus = 0;
  int revert = 0;
  x.GetInputFocus(x.display, &focus, &revert);
  if (focus == PointerRoot) {
    Window root_out = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    if (!x.QueryPointer(x.display, root, &root_out, &child, &rx, &ry, &wx, &wy, &mask)) return 0;
    return child;
  }
  if (focus == None) return 0;
  return TopLevelOf(x, root, focus);
}

}  // namespace

bool NativeWindowsAvailable() {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  return Xlib() != nullptr;
}

uint64_t FirstVisibleWindowOfProcess(int64_t pid) {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x || pid <= 0) return 0;
  TErrorTrap trap(*x);
  const Window root = x->DefaultRoot(x->display);
  const std::vector<Window> top = Children(*x, root);
  // Topmost first: the window the user sees in front is the process's first window.
  for (auto it = top.rbegin(); it != top.rend(); ++it) {
    if (!Viewable(*x, *it)) continue;
    const Window w = ProcessWindowIn(*x, *it, static_cast<unsigned long>(pid), 2);
    if (w && Viewable(*x, w)) return w;
  }
  return 0;
}

bool BringWindowToForeground(uint64_t window) {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x || window == 0) return false;
  TErrorTrap trap(*x);
  const Window w = static_cast<Window>(window);
  // Only a window on the screen can take the focus (a gone one answers no attributes).
  if (!Viewable(*x, w)) return false;
  const Window root = x->DefaultRoot(x->display);
  Window active = 0;
  if (ActiveWindowOfManager(*x, root, active)) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = x->net_active_window;
    e.xclient.format = 32;
    // Source 2 (a pager): the user asked for this window, so focus-stealing rules do not apply.
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = CurrentTime;
    x->SendEvent(x->display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  } else {
    x->RaiseWindow(x->display, TopLevelOf(*x, root, w));
    x->SetInputFocus(x->display, w, RevertToParent, CurrentTime);
  }
  return !trap.Failed();
}

uint64_t ForegroundNativeWindow() {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x) return 0;
  TErrorTrap trap(*x);
  const Window root = x->DefaultRoot(x->display);
  Window active = 0;
  const Window found = ActiveWindowOfManager(*x, root, active) ? active : FocusTopLevel(*x, root);
  return trap.Failed() ? 0 : static_cast<uint64_t>(found);
}

bool IsForegroundNativeWindow(uint64_t window) {
  if (window == 0) return false;
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x) return false;
  TErrorTrap trap(*x);
  const Window root = x->DefaultRoot(x->display);
  Window active = 0;
  if (ActiveWindowOfManager(*x, root, active)) return active == static_cast<Window>(window) && !trap.Failed();
  // Without a manager's answer, the window is in front when it shares the focus's top-level
  // window (a reparenting manager puts both inside one frame).
  const Window focus = FocusTopLevel(*x, root);
  const bool same = focus != 0 && focus == TopLevelOf(*x, root, static_cast<Window>(window));
  return same && !trap.Failed();
}

bool RaiseNativeWindow(uint64_t window) {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x || window == 0) return false;
  TErrorTrap trap(*x);
  const Window root = x->DefaultRoot(x->display);
  const Window top = TopLevelOf(*x, root, static_cast<Window>(window));
  if (top) x->RaiseWindow(x->display, top);
  return top != 0 && !trap.Failed();
}

bool SetNativeWindowActivatable(uint64_t window, bool activatable) {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x || window == 0) return false;
  TErrorTrap trap(*x);
  const Window w = static_cast<Window>(window);
  XWMHints* hints = x->GetWMHints(x->display, w);
  if (!hints) hints = x->AllocWMHints();
  if (!hints) return false;
  hints->flags |= InputHint;
  hints->input = activatable ? True : False;
  x->SetWMHints(x->display, w, hints);
  x->Free(hints);
  x->Flush(x->display);
  return !trap.Failed();
}

bool NativeWindowActivatable(uint64_t window) {
  std::lock_guard<std::mutex> lock(g_xlib_mutex);
  TXlib* x = Xlib();
  if (!x || window == 0) return true;
  TErrorTrap trap(*x);
  XWMHints* hints = x->GetWMHints(x->display, static_cast<Window>(window));
  // Without the hint a window manager lets the window take the focus.
  const bool result = !hints || !(hints->flags & InputHint) || hints->input;
  if (hints) x->Free(hints);
  return result;
}

#else

bool RaiseNativeWindow(uint64_t) { return false; }
bool SetNativeWindowActivatable(uint64_t, bool) { return false; }
bool NativeWindowActivatable(uint64_t) { return true; }
bool NativeWindowsAvailable() { return false; }
uint64_t FirstVisibleWindowOfProcess(int64_t) { return 0; }
bool BringWindowToForeground(uint64_t) { return false; }
uint64_t ForegroundNativeWindow() { return 0; }
bool IsForegroundNativeWindow(uint64_t) { return false; }

#endif

}  // namespace zem
