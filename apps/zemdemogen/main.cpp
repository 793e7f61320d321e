// zemdemogen: writes the demo show's pictures and music into a folder.
//   zemdemogen FOLDER [--size WIDTHxHEIGHT]
#include <charconv>
#include <cstdio>
#include <string>

#include "demo_media.h"

namespace {

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  auto a = std::from_chars(text.data(), text.data() + x, w);
  auto b = std::from_chars(text.data() + x + 1, text.data() + text.size(), h);
  return a.ec == std::errc() && a.ptr == text.data() + x && b.ec == std::errc() &&
         b.ptr == text.data() + text.size() && w >= 16 && h >= 16 && w <= 8192 && h <= 8192;
}

}  // namespace

int main(int argc, char** argv) {
  zem::TDemoMediaOptions options;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) {
      if (!ParseSize(argv[++i], options.width, options.height)) {
        std::fprintf(stderr, "zemdemogen: --size needs WIDTHxHEIGHT (16..8192)\n");
        return 2;
      }
    } else if (folder.empty() && !a.empty() && a[0] != '-') {
      folder = a;
    } else {
      std::fprintf(stderr, "usage: zemdemogen FOLDER [--size WIDTHxHEIGHT]\n");
      return 2;
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: zemdemogen FOLDER [--size WIDTHxHEIGHT]\n");
    return 2;
  }
  std::vector<zem::TDemoFile> made;
  std::string error;
  if (!zem::WriteDemoMedia(folder, options, made, error)) {
    std::fprintf(stderr, "zemdemogen: %s\n", error.c_str());
    return 1;
  }
  size_t total = 0;
  for (const auto& f : made) {
    std::printf("%s\t%zu bytes\n", f.name.c_str(), f.bytes.size());
    total += f.bytes.size();
  }
  std::printf("wrote %zu files (%zu bytes) into %s\n", made.size(), total, folder.c_str());
  return 0;
}
