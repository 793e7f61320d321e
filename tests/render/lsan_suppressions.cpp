// Mesa's EGL and llvmpipe keep one-time allocations until the process ends; they are not
// ours. The driver modules are pinned once a context exists (PinDriverModules), so that the
// leak report can still name them at exit and these suppressions apply.
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libEGL_mesa.so\n"
         "leak:libGLX_mesa.so\n"
         "leak:swrast_dri.so\n"
         "leak:libgallium\n"
         "leak:libLLVM\n"
         "leak:libglapi.so\n"
         "leak:libX11.so\n"
         "leak:libxcb\n"
         "leak:libdbus-1.so\n";
}

namespace zem::test {

void PinDriverModules() {
  static bool done = false;
  if (done) return;
  done = true;
  std::vector<std::string> paths;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        const char* n = info->dlpi_name;
        if (n && (std::strstr(n, "_dri.so") || std::strstr(n, "libgallium") || std::strstr(n, "libLLVM") ||
                  std::strstr(n, "libEGL_mesa") || std::strstr(n, "libGLX_mesa") ||
                  std::strstr(n, "libglapi") || std::strstr(n, "libX11") || std::strstr(n, "libxcb")))
          static_cast<std::vector<std::string>*>(data)->push_back(n);
        return 0;
      },
      &paths);
  for (const std::string& p : paths) dlopen(p.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace zem::test
