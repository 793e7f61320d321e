#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/display.h"
#include "platform/message_box.h"

namespace zem {
namespace {

// Sets an environment variable for one scope and puts the old value back.
class TEnv {
 public:
  TEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~TEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// Runs fn with standard error going to a file; returns what was written.
template <class Fn>
std::string CaptureStderr(Fn fn) {
  char path[] = "/tmp/zem-stderr-XXXXXX";
  int fd = ::mkstemp(path);
  std::fflush(stderr);
  int saved = ::dup(2);
  ::dup2(fd, 2);
  fn();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::string text;
  ::lseek(fd, 0, SEEK_SET);
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  ::close(fd);
  ::unlink(path);
  return text;
}

TEST(MessageBox, WithoutADisplayTheTextGoesToStandardError) {
  TEnv driver("SDL_VIDEODRIVER", "offscreen");
  EXPECT_FALSE(MessageBoxDisplayAvailable());
  TMessageBoxResult result{};
  std::string err = CaptureStderr([&] { result = ShowErrorBox("Can`t Load Show\n\"a\" or \"b\""); });
  EXPECT_EQ(result, TMessageBoxResult::StandardError);
  EXPECT_EQ(err, "Slideshow Error: Can`t Load Show\n\"a\" or \"b\"\n");
}

TEST(MessageBox, NoDesktopSessionMeansNoBox) {
  TEnv driver("SDL_VIDEODRIVER", nullptr);
  TEnv x11("DISPLAY", nullptr);
  TEnv wayland("WAYLAND_DISPLAY", "");
  EXPECT_FALSE(MessageBoxDisplayAvailable());
  TEnv x11b("DISPLAY", ":99");
  EXPECT_TRUE(MessageBoxDisplayAvailable());
  TEnv dummy("SDL_VIDEODRIVER", "dummy");
  EXPECT_FALSE(MessageBoxDisplayAvailable());
}

TEST(Display, HeadlessDepthIsNotRefused) {
  TEnv driver("SDL_VIDEODRIVER", "offscreen");
  int depth = PrimaryDisplayDepth();
  // Either no display at all (0) or a real desktop depth; never a low-colour refusal.
  EXPECT_TRUE(depth == 0 || depth >= 16) << depth;
}

}  // namespace
}  // namespace zem
