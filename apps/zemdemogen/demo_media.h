// The demo show's media: which files exist and how each is made.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zem {

struct TDemoMediaOptions {
  int32_t width = 1280;   // size of the full-frame pictures
  int32_t height = 720;
  int32_t logo_side = 384;
  uint32_t sample_rate = 22050;
  int jpeg_quality = 85;
};

// One generated file: its member name in the show and its content.
struct TDemoFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// The names the show script refers to, in the order they are made.
const std::vector<std::string>& DemoMediaNames();
// Makes one file by name; false for an unknown name or an encoder failure.
bool MakeDemoFile(const std::string& name, const TDemoMediaOptions& options, TDemoFile& out);
// Makes every file and writes it into `folder` (created when missing). A file whose content is
// unchanged is not rewritten, so its time stamp only moves when the media really change.
// False with `error` on the first failure.
bool WriteDemoMedia(const std::string& folder, const TDemoMediaOptions& options, std::vector<TDemoFile>& made,
                    std::string& error);

}  // namespace zem
