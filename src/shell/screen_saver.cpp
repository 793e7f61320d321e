#include "shell/screen_saver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/process.h"
#include "platform/screen_saver_control.h"
#include "foundation/strings.h"
#include "script/ini_file.h"

namespace zem {
namespace {

uint32_t NameHash(const std::string& text) { return IniNameHash(Utf8ToWide(text)); }

}  // namespace

bool IsScreenSaverCopy(const std::string& own_path) {
  const std::string name = ExtractFileName(own_path);
  return name.size() >= 4 && LowerAscii(std::string_view(name).substr(name.size() - 4)) == ".scr";
}

bool ScreenSaverRunRequested(const TCommandLine& command_line) {
  return command_line.HasArg("/s") || command_line.HasArg("/S");
}

TScreenSaverState::TScreenSaverState(std::function<void(bool)> allow) : allow_(std::move(allow)) {
  if (!allow_) allow_ = SetSystemScreenSaverAllowed;
}

TScreenSaverState::~TScreenSaverState() {
  if (saver_inhibited_) allow_(true);
}

bool TScreenSaverState::OnOpen(bool screen_saver_copy, bool another_instance_runs, const TCommandLine& command_line) {
  if (screen_saver_copy) {
    if (another_instance_runs || !ScreenSaverRunRequested(command_line)) return false;
    saver_running_ = true;
    return true;
  }
  if (!saver_running_ && !saver_inhibited_) {
    allow_(false);
    saver_inhibited_ = true;
  }
  return true;
}

std::string InstanceName(const std::string& own_path) {
  const std::string name = ExtractFileName(own_path);
  return "Instance_ID" + std::to_string(NameHash(own_path)) + std::to_string(NameHash(ExtractFileDir(own_path))) +
         std::to_string(NameHash(name)) + name;
}

TInstanceLock::TInstanceLock(const std::string& own_path, const std::string& folder) {
  std::string dir = folder;
  if (dir.empty()) {
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    dir = run && *run ? run : "/tmp";
  }
  path_ = dir + "/" + InstanceName(own_path) + ".lock";
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ >= 0) acquired_ = flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

TInstanceLock::~TInstanceLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock; the file stays for the next run
}

}  // namespace zem
