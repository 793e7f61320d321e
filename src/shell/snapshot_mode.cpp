#include "shell/snapshot_mode.h"

#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/bitmap.h"
#include "foundation/log.h"
#include "model/slide_source.h"
#include "model/transition_catalogue.h"
#include "render/drawer/snapshot.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/show_options.h"
#include "shell/show_shell.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

namespace {
constexpr int32_t kMaxOutputSide = 16384;

int Fail(const std::string& text) {
  std::fprintf(stderr, "zemviewer: snapshot failed: %s\n", text.c_str());
  LogLine("Snapshot: " + text);
  return 1;
}

bool ParseSide(const char* first, const char* last, int32_t& value) {
  auto [p, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && p == last && value >= 1 && value <= kMaxOutputSide;
}

bool ParseTime(const std::string& text, double& ms) {
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
  return ec == std::errc() && p == text.data() + text.size() && std::isfinite(ms);
}

// Writes the PNG files of rendered frames on a thread of its own, so the next frame is drawn
// while the last one is compressed. At most two frames wait.
class TFrameWriter {
 public:
  TFrameWriter() : thread_([this] { Run(); }) {}
  ~TFrameWriter() { Finish(); }
  void Add(TBitmap frame, std::string path) {
    std::unique_lock<std::mutex> g(lock_);
    room_.wait(g, [this] { return queue_.size() < 2; });
    queue_.push_back({std::move(frame), std::move(path)});
    ready_.notify_one();
  }
  // Waits for every file; the first path that could not be written, empty when all were.
  std::string Finish() {
    {
      std::lock_guard<std::mutex> g(lock_);
      done_ = true;
      ready_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
    return failed_;
  }

 private:
  void Run() {
    for (;;) {
      std::pair<TBitmap, std::string> job;
      {
        std::unique_lock<std::mutex> g(lock_);
        ready_.wait(g, [this] { return done_ || !queue_.empty(); });
        if (queue_.empty()) return;
        job = std::move(queue_.front());
        queue_.pop_front();
        room_.notify_one();
      }
      // Snapshots are screen pictures: written opaque, as RGB.
      if (!WritePngFileFast(job.first, job.second, true)) {
        if (failed_.empty()) failed_ = job.second;
      } else {
        LogLine("Snapshot written: " + job.second);
      }
    }
  }
  std::mutex lock_;
  std::condition_variable ready_, room_;
  std::deque<std::pair<TBitmap, std::string>> queue_;  // guarded by lock_
  bool done_ = false;                                   // guarded by lock_
  std::string failed_;                                  // the writer thread's, read after join
  std::thread thread_;
};

}  // namespace

bool ParseSnapshotTimes(const std::string& text, std::vector<double>& times) {
  times.clear();
  size_t pos = 0;
  for (;;) {
    const size_t comma = text.find(',', pos);
    double t = 0;
    if (!ParseTime(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos), t)) return false;
    times.push_back(t);
    if (comma == std::string::npos) return true;
    pos = comma + 1;
  }
}

bool SnapshotFileName(const std::string& pattern, int index, std::string& out, bool& hasNumber) {
  out.clear();
  hasNumber = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // "%d", or "%0Nd" with a width of at most 9 digits.
    size_t j = i + 1;
    const bool zero = j < pattern.size() && pattern[j] == '0';
    if (zero) ++j;
    int width = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 10) width = width * 10 + (pattern[j++] - '0');
    if (j >= pattern.size() || pattern[j] != 'd' || width > 9 || hasNumber) return false;
    std::string n = std::to_string(index);
    if (int(n.size()) < width) n.insert(0, size_t(width) - n.size(), zero ? '0' : ' ');
    out += n;
    hasNumber = true;
    i = j;
  }
  return true;
}

namespace {
}  // namespace

void DefaultSnapshotSize(const TMainOptions& options, int32_t& width, int32_t& height) {
  if (options.WindowMode() == 0) {
    width = 1920;
    height = 1080;
    return;
  }
  width = options.scr_width;
  height = options.scr_height;
  if (width < 1 || width > kMaxOutputSide || height < 1 || height > kMaxOutputSide) {
    width = 640;
    height = 480;
  }
}

bool ParseOutputSize(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int32_t w = 0, h = 0;
  if (!ParseSide(text.data(), text.data() + x, w) || !ParseSide(text.data() + x + 1, text.data() + text.size(), h))
    return false;
  width = w;
  height = h;
  return true;
}

int RunSnapshot(TShowShell& shell, const TCommandsStorage& commands) {
  const std::string out_path = commands.FirstValue(kSnapshotSwitch);
  if (out_path.empty()) return Fail("-snapshot needs an output file");
  std::vector<double> times;
  if (!ParseSnapshotTimes(commands.FirstValue("at"), times))
    return Fail("-at needs show times in ms, separated by commas");
  // One time: the file name as it stands. Several: numbered through the name's "%d".
  std::vector<std::string> paths;
  for (size_t i = 0; i < times.size(); ++i) {
    std::string path = out_path;
    bool numbered = false;
    if (times.size() > 1 && (!SnapshotFileName(out_path, int(i) + 1, path, numbered) || !numbered))
      return Fail("-snapshot needs one %d (or %0Nd) in the file name for several -at times");
    paths.push_back(path);
  }
  TZemShowLocator* locator = shell.CurrentLocator();
  if (!locator || !locator->HasScript()) return Fail("no show is open");

  int32_t width = 0, height = 0;
  DefaultSnapshotSize(ReadMainOptions(*locator->Script()), width, height);
  if (commands.Has("outsize") && !ParseOutputSize(commands.FirstValue("outsize"), width, height))
    return Fail("-outsize must be WIDTHxHEIGHT (1 to 16384 each)");

  // The show source takes its own copy of the script, as the engine's does.
  auto script = std::make_unique<TIniFile>();
  script->Assign(*locator->Script());
  TRef<TZemSource> source;
  try {
    source = MakeRef<TZemSource>(std::move(script), locator->Accessor().Clone());
  } catch (const std::exception& e) {
    return Fail(std::string("the show's time line is broken: ") + e.what());
  }

  // Custom effects read their effect files from this show.
  InstallCustomEffectMaker(MakeCustomEffectMaker(std::shared_ptr<const TFileAccessor>(locator->Accessor().Clone())));
  std::string error;
  std::string unwritten;
  {
    TFrameWriter writer;
    try {
      TShowSnapshot snapshot(source, width, height);
      for (size_t i = 0; i < times.size() && error.empty(); ++i) {
        TBitmap frame;
        if (snapshot.Render(times[i], frame, &error)) writer.Add(std::move(frame), paths[i]);
      }
    } catch (const std::exception& e) {
      // A script without a usable design size, for instance.
      error = e.what();
    }
    unwritten = writer.Finish();
  }
  InstallCustomEffectMaker({});
  if (!error.empty()) return Fail(error);
  if (!unwritten.empty()) return Fail("cannot write \"" + unwritten + "\"");
  return 0;
}

}  // namespace zem
