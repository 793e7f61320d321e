// Screen-saver copies of the player and the single-instance test.
#pragma once
#include <functional>
#include <string>

#include "shell/command_line.h"

namespace zem {

// A copy whose own file name ends in ".scr" (any case) runs as a screen saver.
bool IsScreenSaverCopy(const std::string& own_path);
// A screen-saver copy plays only when "/s" or "/S" is among the tokens (the system's preview
// and settings requests end the process).
bool ScreenSaverRunRequested(const TCommandLine& command_line);

// What opening a show decides about screen savers: a screen-saver copy runs only as the one
// instance and only when asked with "/s"; every other show keeps the system's saver off while
// it plays, and the setting is restored at process end.
class TScreenSaverState {
 public:
  // `allow` switches the system screen saver (the platform's by default).
  explicit TScreenSaverState(std::function<void(bool allowed)> allow = {});
  // Restores the system screen saver after a normal run.
  ~TScreenSaverState();
  TScreenSaverState(const TScreenSaverState&) = delete;
  TScreenSaverState& operator=(const TScreenSaverState&) = delete;

  // Step of opening a show; false when the show must not play.
  bool OnOpen(bool screen_saver_copy, bool another_instance_runs, const TCommandLine& command_line);
  bool ScreenSaverRunning() const { return saver_running_; }

 private:
  std::function<void(bool)> allow_;
  bool saver_running_ = false;
  bool saver_inhibited_ = false;
};

// The instance name: "Instance_ID", the three name hashes (own path, own folder, own file name)
// in decimal, and the own file name.
std::string InstanceName(const std::string& own_path);

// A lock on the file named by the instance name in $XDG_RUNTIME_DIR (else /tmp), held for the
// object's life. Another instance runs when the lock cannot be taken.
class TInstanceLock {
 public:
  explicit TInstanceLock(const std::string& own_path, const std::string& folder = std::string());
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;
  bool Acquired() const { return acquired_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool acquired_ = false;
};

}  // namespace zem
