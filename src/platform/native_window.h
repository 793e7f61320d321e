// The window system's own windows: the number of an SDL window (X11 window id), handed to
// child processes, and the few operations on other programs' windows that SDL cannot do
// (finding a process's window, bringing a window to the foreground, asking which one is there).
//
// Everything but NativeWindowNumber works on X11 only, through the X library loaded when first
// needed; on any other window system (or without a display) it does nothing and answers 0 or
// false. Call from the user-interface thread.
#pragma once
#include <cstdint>

struct SDL_Window;

namespace zem {

// 0 when the window has none that can be named (no X11, offscreen driver).
uint64_t NativeWindowNumber(SDL_Window* window);

// True when SDL's video runs on X11 and the X library and display could be opened.
bool NativeWindowsAvailable();

// The topmost viewable top-level window whose _NET_WM_PID is `pid` (a window manager's frame is
// looked through to the client window it holds); 0 when the process shows none yet.
uint64_t FirstVisibleWindowOfProcess(int64_t pid);

// Raises the window and gives it the input focus: through the window manager's
// _NET_ACTIVE_WINDOW request when one runs, else directly. False when the window is gone or
// cannot take the focus.
bool BringWindowToForeground(uint64_t window);

// The window the user works in now: the window manager's active window, else the top-level
// window holding the input focus (or the one under the pointer when the focus follows it).
// 0 when there is none or no X11.
uint64_t ForegroundNativeWindow();

// Whether `window` is the foreground window (ForegroundNativeWindow).
bool IsForegroundNativeWindow(uint64_t window);

// Raises the window (its frame) to the top of the stacking order without giving it the focus.
bool RaiseNativeWindow(uint64_t window);

// Whether the window manager may make the window active (the input hint of its WM_HINTS). A
// window that may not shows an inactive title bar while another window of the program works.
bool SetNativeWindowActivatable(uint64_t window, bool activatable);
bool NativeWindowActivatable(uint64_t window);

}  // namespace zem
