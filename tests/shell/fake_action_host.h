// A fake time line and a fake main window that record what actions asked of them.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "shell/action_exec.h"
#include "shell/input_handlers.h"

namespace zem::test {

// A show with fixed slide times: slide i starts at i * 5000 and its transition to the next
// begins at start + 4000; transitions last 1000 except into slide 2, which has none.
class TFakeTimeline : public TSlideTimeline {
 public:
  int32_t count = 4;
  bool ends = true;
  int32_t SlideCount() const override { return count; }
  bool ShowEnds() const override { return ends; }
  double SlideStart(int32_t i) const override { return i < 0 ? -1073741823.0 : i * 5000.0; }
  double SlideNext(int32_t i) const override { return i < 0 ? 0 : i * 5000.0 + 4000; }
  double IncomingLength(int32_t i) const override { return i == 2 || i <= 0 ? 0 : 1000; }
  WideString SlideId(int32_t i) const override { return i == 2 ? u"Intro" : u"s" + Utf8ToWide(std::to_string(i)); }
  int32_t IndexAt(double t) const override {
    for (int32_t i = -1; i < 100; ++i)
      if (SlideStart(i) <= t && t <= SlideNext(i) + (i >= 0 ? 1000 : 0)) return i;
    return 100;
  }
};

// Records what an action asked of the window, viewer and engine.
class TFakeHost : public TInputHost {
 public:
  bool busy = false, viewer = true, paused = false, barrier = false, exit_requested = false, closed = false;
  int64_t time = 0;
  std::vector<int64_t> seeks;
  std::vector<std::string> commands, boxes, opened, pushed;
  int captures = 0, releases = 0, exit_code = 0;
  TFakeTimeline line;
  bool has_line = true;
  std::map<std::string, std::string> packages;  // path -> version
  std::string show_version = "5.6", exefn, folder = "/shows", cmd_file;
  bool open_result = true;

  bool Busy() const override { return busy; }
  bool HasViewer() const override { return viewer; }
  int64_t CurrentTime() const override { return time; }
  bool Paused() const override { return paused; }
  void SetPaused(bool p) override { paused = p; }
  void Seek(int64_t t) override { seeks.push_back(t); time = t; }
  bool AtBarrier() const override { return barrier; }
  void ReleaseBarrier() override { ++releases; barrier = false; }
  void Capture() override { ++captures; }
  const TSlideTimeline* Timeline() const override { return has_line ? &line : nullptr; }
  void RequestExit() override { exit_requested = true; }
  void CloseWindow() override { closed = true; }
  void SetExitCode(int code) override { exit_code = code; }
  void RunCommand(const std::string& text) override { commands.push_back(text); }
  bool FileExists(const std::string& path) const override { return packages.count(path) > 0; }
  bool ReadPackageVersion(const std::string& path, std::string& version) const override {
    auto it = packages.find(path);
    if (it == packages.end() || it->second.empty()) return false;
    version = it->second;
    return true;
  }
  void ErrorBox(const std::string& text) override { boxes.push_back(text); }
  std::string ShowPath() const override { return "/shows/main.exe"; }
  std::string ShowFolder() const override { return folder; }
  std::string ShowVersion() const override { return show_version; }
  std::string ExeFnOption() const override { return exefn; }
  std::string CommandLineFile() const override { return cmd_file; }
  bool OpenShowFile(const std::string& path, bool, const TStartPosition&) override {
    opened.push_back(path);
    return open_result;
  }
  void PushReturnPoint(const std::string& text) override { pushed.push_back(text); }

  // Input host.
  bool startup = false, engine = true, dialog = false, hidden = false;
  uint32_t since_created = 5000;
  int dialogs_closed = 0, helps = 0, refreshes = 0;
  struct TSent {
    uint8_t kind;
    TZemActionKind action;
  };
  std::vector<TSent> sent;
  bool StartupMode() const override { return startup; }
  bool HasEngine() const override { return engine; }
  bool DialogHoldsPlayback() const override { return dialog; }
  void CloseTopDialog() override { ++dialogs_closed; }
  void ShowHelp() override { ++helps; }
  uint32_t MsSinceWindowCreated() const override { return since_created; }
  bool PointerHidden() const override { return hidden; }
  void RefreshPointer() override { ++refreshes; }
  void SendMouseToEngine(uint8_t kind, int32_t, int32_t, const TZemActionInfo& action, uint8_t, uint8_t) override {
    sent.push_back({kind, action.kind});
  }
};

}  // namespace zem::test
