// Prints how many pixels of the pointer's current image are not fully transparent (0: the
// pointer is invisible). The window tests use it to see whether the player hid the pointer.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "cursor_probe: no display\n");
    return 2;
  }
  int event_base = 0, error_base = 0;
  if (!XFixesQueryExtension(display, &event_base, &error_base)) {
    std::fprintf(stderr, "cursor_probe: no XFIXES\n");
    XCloseDisplay(display);
    return 2;
  }
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) {
    XCloseDisplay(display);
    return 2;
  }
  long visible = 0;
  const long count = static_cast<long>(image->width) * image->height;
  for (long i = 0; i < count; ++i)
    if ((image->pixels[i] >> 24) & 0xFF) ++visible;
  std::printf("%ld\n", visible);
  XFree(image);
  XCloseDisplay(display);
  return 0;
}
