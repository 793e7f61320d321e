// Runs the player program as a child process with no display (SDL's offscreen driver), standard
// error captured, and a time limit so that nothing can wait forever.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/stream.h"

extern char** environ;

namespace zem::test {

struct TRun {
  int status = -1;  // exit status; -1 when killed or not started
  std::string err;
};

// Starts the program with a time limit (20 s unless given); standard error goes to a file that
// is read back. `extra_env` entries come first, so they win over the same names inherited from
// this process.
inline TRun RunPlayerProcess(const std::vector<std::string>& argv, const std::string& err_file,
                             const std::vector<std::string>& extra_env = {}, int limit_s = 20) {
  TRun r;
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_store = extra_env;
  env_store.push_back("SDL_VIDEODRIVER=offscreen");
  env_store.push_back("SDL_AUDIODRIVER=dummy");
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "SDL_", 4) && std::strncmp(*e, "DISPLAY=", 8) && std::strncmp(*e, "WAYLAND_DISPLAY=", 16))
      env_store.push_back(*e);
  std::vector<char*> env;
  for (auto& e : env_store) env.push_back(e.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
  int status = 0;
  for (;;) {
    pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return r;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
  std::vector<uint8_t> bytes;
  ReadFileBytes(err_file, bytes);
  r.err.assign(bytes.begin(), bytes.end());
  return r;
}

}  // namespace zem::test
