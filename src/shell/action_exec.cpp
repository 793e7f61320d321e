#include "shell/action_exec.h"

#include <algorithm>

#include "foundation/log.h"
#include "foundation/process.h"
#include "platform/key_codes.h"
#include "shell/command_line.h"

namespace zem {
namespace {

bool StartsNoCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && LowerAscii(std::string_view(text).substr(0, prefix.size())) == prefix;
}

void SeekTo(TActionHost& host, int64_t time) { host.Seek(std::max<int64_t>(time, 0)); }

}  // namespace

std::string WebAddress(const std::string& text) {
  if (StartsNoCase(text, "http://") || StartsNoCase(text, "https://")) return text;
  return "http://" + text;
}

std::string MailAddress(const std::string& text) {
  return StartsNoCase(text, "mailto:") ? text : "mailto:" + text;
}

int32_t CurrentSlideIndex(const TActionHost& host) {
  const TSlideTimeline* line = host.Timeline();
  return line ? line->IndexAt(static_cast<double>(host.CurrentTime())) : -1;
}

bool ExecuteAction(TActionHost& host, const TZemActionInfo& action) {
  if (host.Busy() || !host.HasViewer()) return false;
  const TSlideTimeline* line = host.Timeline();
  switch (action.kind) {
    case TZemActionKind::Exit:
      host.RequestExit();
      host.CloseWindow();
      return true;
    case TZemActionKind::PrevSlide:
      if (line) SeekTo(host, PreviousSlideTime(*line, host.CurrentTime()));
      return true;
    case TZemActionKind::NextSlide:
      if (host.AtBarrier())
        host.ReleaseBarrier();
      else if (line)
        SeekTo(host, NextSlideTime(*line, host.CurrentTime(), host.Paused()));
      return true;
    case TZemActionKind::Pause:
      if (host.AtBarrier())
        host.ReleaseBarrier();
      else
        host.SetPaused(!host.Paused());
      return true;
    case TZemActionKind::Print:
      host.Capture();
      return true;
    case TZemActionKind::GotoSlide: {
      if (!line) return true;
      const int32_t index = action.number == -1 ? SlideIndexById(*line, action.text) : action.number - 1;
      SeekTo(host, SlideStartTime(*line, index));
      return true;
    }
    case TZemActionKind::OpenWebsite:
      host.RunCommand(WebAddress(WideToUtf8(action.text)));
      return true;
    case TZemActionKind::WriteEmail:
      host.RunCommand(MailAddress(WideToUtf8(action.text)));
      return true;
    case TZemActionKind::RunApp:
      host.RunCommand(WideToUtf8(action.text));
      return true;
    case TZemActionKind::RunAppAndExit:
      host.CloseWindow();
      host.RunCommand(WideToUtf8(action.text));
      return true;
    case TZemActionKind::RunPresentation:
    case TZemActionKind::RunPresentationAndReturn:
      return RunPresentation(host, action);
    case TZemActionKind::Stop:
      host.SetPaused(true);
      host.Seek(0);
      return true;
    case TZemActionKind::CloseDialog:
      host.RequestExit();
      host.SetExitCode(1);
      host.CloseWindow();
      return true;
    case TZemActionKind::GotoTime:
      SeekTo(host, action.number);
      return true;
    default:
      return false;
  }
}

bool RunPresentation(TActionHost& host, const TZemActionInfo& action) {
  const bool with_return = action.kind == TZemActionKind::RunPresentationAndReturn;
  TCommandLine line;
  line.ParseText(WideToUtf8(action.text));
  std::string file = line.Commands().FirstValue("");
  // Shows are written on Windows; on disk the separator is "/".
  std::replace(file.begin(), file.end(), '\\', '/');
  const TStartPosition start = StartPositionFromCommands(line.Commands());

  if (!host.FileExists(ResolvePackageFile(file)) && !host.ExeFnOption().empty()) {
    std::string exefn = host.ExeFnOption();
    std::replace(exefn.begin(), exefn.end(), '\\', '/');
    const std::string folder = host.ShowFolder();
    const std::string base = exefn.front() == '/' ? exefn : folder + (folder.empty() || folder.back() == '/' ? "" : "/") + exefn;
    const std::string name = ExtractFileName(file);
    const std::string next_to_exefn = ExtractFileDir(base) + "/" + name;
    const std::string in_folder = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
    if (host.FileExists(next_to_exefn))
      file = next_to_exefn;
    else if (host.FileExists(in_folder))
      file = in_folder;
  }

  const bool packaged = file != host.CommandLineFile();
  if (packaged) {
    std::string version;
    if (!host.ReadPackageVersion(ResolvePackageFile(file), version)) {
      host.ErrorBox(std::string(host.FileExists(file) ? kErrNotZemExe : kErrZemNotFound) + "\r" + file);
      return false;
    }
    if (version != host.ShowVersion()) {
      host.ErrorBox(std::string(kErrVersionMismatch) + "\r" + file);
      return false;
    }
  }
  LogLine("Open show: " + file);
  std::string return_point;
  if (with_return)
    return_point = "\"" + host.ShowPath() + "\" -slide " + std::to_string(CurrentSlideIndex(host) + 1);
  const bool was_paused = host.Paused();
  if (host.OpenShowFile(file, packaged, start)) {
    if (with_return) host.PushReturnPoint(return_point);
    host.SetPaused(false);
    return true;
  }
  if (with_return) {
    host.SetPaused(was_paused);
  } else {
    host.RequestExit();
    host.CloseWindow();
  }
  return false;
}

void HandleWheel(TActionHost& host, TWheelCollector& wheel, int units, uint8_t modifiers, bool wheel_locked) {
  const int notches = wheel.Add(units);
  if (notches == 0 || host.Busy() || wheel_locked || !host.HasViewer()) return;
  const TSlideTimeline* line = host.Timeline();
  if (modifiers == kModCtrl) {
    // One slide per message, whatever the notch count.
    if (!line) return;
    if (notches < 0)
      SeekTo(host, NextSlideTime(*line, host.CurrentTime(), host.Paused()));
    else
      SeekTo(host, PreviousSlideTime(*line, host.CurrentTime()));
    return;
  }
  SeekTo(host, host.CurrentTime() - int64_t{700} * notches);
}

}  // namespace zem
