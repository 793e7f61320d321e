#include "shell/export_mode.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/application.h"
#include "engine/engine.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "model/zem_video.h"
#include "render/draw_device.h"
#include "render/frame_readback.h"
#include "render/screen.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/show_options.h"
#include "shell/show_shell.h"
#include "shell/snapshot_mode.h"
#include "sound/backend/export_audio.h"
#include "sound/music_player_class.h"
#include "video/encode/encode_thread.h"
#include "video/encode/media_encoder.h"

namespace zem {

namespace {

constexpr int32_t kMaxSide = 16384;
constexpr int32_t kMaxFps = 240;
// The music player ticks every 44 samples (1 ms) of the audio it renders, so a sound starts
// within a millisecond of its time, as against a 5 ms tick while playing.
constexpr int64_t kMusicTickFrames = 44;
// How long a frame may wait for its slides, and a music tick for its channels, before the
// export gives up (a slide) or goes on (a sound then starts late).
constexpr uint32_t kSlideWaitMs = 60000;
constexpr uint32_t kChannelWaitMs = 20000;
constexpr int kStatusInterrupted = 130;

std::atomic<bool> g_stop{false};

int Fail(const std::string& text) {
  std::fprintf(stderr, "zemviewer: export failed: %s\n", text.c_str());
  LogLine("Export: " + text);
  return 1;
}

bool ParseInt(const std::string& text, int32_t lo, int32_t hi, int32_t& value) {
  int32_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || p != text.data() + text.size() || v < lo || v > hi) return false;
  value = v;
  return true;
}

bool ParseMs(const std::string& text, double& ms) {
  double v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v) || v < 0 || v > 1e12)
    return false;
  ms = v;
  return true;
}

void OnStopSignal(int) { g_stop.store(true); }

// Ctrl+C (and a polite kill) end the export cleanly; a second one kills as usual.
class TStopSignals {
 public:
  TStopSignals() {
    g_stop.store(false);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
  }
  ~TStopSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }

 private:
  struct sigaction oldInt_ {}, oldTerm_ {};
};

std::string Clock(double seconds) {
  const int64_t s = int64_t(std::max(0.0, seconds) + 0.5);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", (long long)(s / 3600), (long long)(s / 60 % 60), (long long)(s % 60));
  else std::snprintf(text, sizeof text, "%lld:%02lld", (long long)(s / 60), (long long)(s % 60));
  return text;
}

// The progress line on standard error: rewritten in place on a terminal, a line every few
// seconds otherwise.
class TProgress {
 public:
  TProgress(int64_t frames, int32_t fps)
      : frames_(frames), fps_(fps), tty_(isatty(2) == 1), begin_(TimeGetTimeExact()), last_(tty_ ? -1e9 : begin_) {}
  void Update(int64_t done) {
    const double now = TimeGetTimeExact();
    if (now - last_ < (tty_ ? 250 : 5000) && (done < frames_ || !tty_)) return;
    last_ = now;
    const double wall = (now - begin_) / 1000.0, shown = double(done) / fps_;
    const double speed = wall > 0 ? shown / wall : 0;
    const double left = speed > 0 ? (double(frames_ - done) / fps_) / speed : 0;
    std::fprintf(stderr, "%szemviewer: frame %lld/%lld  %s of %s  %.2fx  %s left%s", tty_ ? "\r" : "", (long long)done,
                 (long long)frames_, Clock(shown).c_str(), Clock(double(frames_) / fps_).c_str(), speed,
                 Clock(left).c_str(), tty_ ? "  " : "\n");
    std::fflush(stderr);
    dirty_ = tty_;
  }
  // Ends the rewritten line before other text.
  void Close() {
    if (dirty_) std::fputc('\n', stderr);
    dirty_ = false;
  }
  double Seconds() const { return (TimeGetTimeExact() - begin_) / 1000.0; }

 private:
  int64_t frames_;
  int32_t fps_;
  bool tty_;
  double begin_, last_;
  bool dirty_ = false;
};

}  // namespace

bool ParseExportRequest(const TCommandsStorage& commands, TExportRequest& r, std::string& error) {
  r.out = commands.FirstValue(kExportSwitch);
  if (r.out.empty()) {
    error = "-export needs an output file (.mp4, .mkv or .webm)";
    return false;
  }
  if (commands.Has("outsize")) {
    if (!ParseOutputSize(commands.FirstValue("outsize"), r.width, r.height) || (r.width | r.height) & 1 ||
        r.width < 2 || r.height < 2) {
      error = "-outsize must be WIDTHxHEIGHT, even numbers from 2 to 16384";
      return false;
    }
  }
  if (commands.Has("fps") && !ParseInt(commands.FirstValue("fps"), 1, kMaxFps, r.fps)) {
    error = "-fps must be a whole number of frames per second from 1 to 240";
    return false;
  }
  if (commands.Has("quality") && !ParseInt(commands.FirstValue("quality"), 1, 100, r.quality)) {
    error = "-quality must be a number from 1 to 100";
    return false;
  }
  if (commands.Has("from") && !ParseMs(commands.FirstValue("from"), r.from)) {
    error = "-from needs a show time in ms";
    return false;
  }
  if (commands.Has("to") && !ParseMs(commands.FirstValue("to"), r.to)) {
    error = "-to needs a show time in ms";
    return false;
  }
  if (r.to >= 0 && r.to <= r.from) {
    error = "-to must come after -from";
    return false;
  }
  return true;
}

void ExportDesignSize(const TIniStorage& script, int32_t& width, int32_t& height) {
  width = script.ReadInteger(u"Main", u"opt_scr_width", 0);
  height = script.ReadInteger(u"Main", u"opt_scr_height", 0);
  if (width < 2 || height < 2 || width > kMaxSide || height > kMaxSide)
    DefaultSnapshotSize(ReadMainOptions(script), width, height);
  width &= ~1;
  height &= ~1;
}

int64_t ExportFrameCount(double from, double to, int32_t fps) {
  if (!(to > from) || fps <= 0) return 0;
  // The last frame time lies before `to`; exact multiples count once.
  return int64_t(std::ceil((to - from) * fps / 1000.0 - 1e-9));
}

int64_t ExportAudioStart(int64_t frame, int32_t fps) { return frame * TExportAudio::kRate / fps; }

int RunExport(TShowShell& shell, const TCommandsStorage& commands) {
  TExportRequest req;
  std::string error;
  if (!ParseExportRequest(commands, req, error)) return Fail(error);
  TZemShowLocator* locator = shell.CurrentLocator();
  if (!locator || !locator->HasScript()) return Fail("no show is open");
  TContainerChoice choice;
  if (!ChooseContainer(req.out, choice, error)) return Fail(error);
  if (req.width == 0) ExportDesignSize(*locator->Script(), req.width, req.height);

  // The engine draws into a hidden window of the video's size; the exporter's thread is its
  // user-interface thread and its drawing thread.
  std::unique_ptr<THeadlessDevice> device = THeadlessDevice::Create(req.width, req.height);
  if (!device) return Fail("no offscreen drawing is possible (SDL video did not start)");
  std::shared_ptr<TExportAudio> audio = TExportAudio::Create();
  TZemApplication app;
  auto engine = std::make_unique<TZemEngine>(&app, device.release(), uint8_t{0}, true, true);
  engine->SetExportMode(true);
  SetVideoFramesExact(true);
  engine->SetCoverFit(commands.Has("cover"));
  engine->SetMusicDeviceFactory([audio] { return std::make_unique<TMusicPlayerClass>(audio->MakeDevice()); });
  try {
    auto script = std::make_unique<TIniFile>();
    script->Assign(*locator->Script());
    engine->OpenShow(locator->Accessor().Clone(), std::move(script), int32_t(std::lround(req.from)));
  } catch (const std::exception& e) {
    return Fail(std::string("the show cannot be opened: ") + e.what());
  }
  TRef<TZemSource> source = engine->CurrentSource();
  if (!source) return Fail("the show cannot be opened");
  const double duration = source->TotalDuration();
  const bool ends = source->RepeatMode() != kRepeatShow;
  double to = req.to < 0 ? duration : (ends ? std::min(req.to, duration) : req.to);
  if (!(duration > 0)) return Fail("the show has no length");
  if (!(to > req.from))
    return Fail("-from " + FormatFloat(req.from) + " is not before the end of the show (" + FormatFloat(to) + " ms)");
  const int64_t frames = ExportFrameCount(req.from, to, req.fps);

  TMediaEncoder encoder;
  TEncodeSettings settings;
  settings.width = req.width;
  settings.height = req.height;
  settings.fps = req.fps;
  settings.quality = req.quality;
  if (!encoder.Open(req.out, settings, error)) return Fail(error);
  LogLine("Export: " + req.out + " " + std::to_string(req.width) + "x" + std::to_string(req.height) + " " +
          std::to_string(req.fps) + " fps, " + std::to_string(frames) + " frames, " + encoder.Choice().videoCodec +
          " + " + encoder.Choice().audioCodec);

  engine->BeginExport(req.from);
  T3DDrawer* drawer = engine->DrawController()->Drawer();
  T3DScreen* screen = drawer ? drawer->Backend().Screen() : nullptr;
  if (!screen) return Fail("no drawing device");

  TStopSignals signals;
  TProgress progress(frames, req.fps);
  int64_t done = 0, drawnFrames = 0;
  // Where the time goes (the log's last lines): frames (waiting for the loader, drawing),
  // read-back and conversion, sound, waiting for the encoder (its queue full).
  double drawMs = 0, readMs = 0, soundMs = 0, queueMs = 0;
  {
    TFrameReadback readback(*screen);
    // Pictures are converted for the encoder here, straight out of the device's read-back
    // buffer, while the encoding thread runs the encoder.
    TPictureConverter converter(encoder);
    TEncodeThread encoding(encoder);
    const int64_t rowBytes = int64_t(req.width) * 4;
    // A drawn frame waits in the device while the next one is drawn; frames that did not
    // change after it are repeats, handed over behind it.
    bool waiting = false, anyPicture = false;
    int64_t repeatsBehind = 0;
    std::vector<int16_t> sound;
    auto takeWaiting = [&]() -> bool {
      if (!waiting) return true;
      TEncoderPicture picture = encoding.TakeBuffer();
      const double t0 = TimeGetTimeExact();
      if (readback.Width() != req.width || readback.Height() != req.height) {
        error = "the drawing device made frames of " + std::to_string(readback.Width()) + "x" +
                std::to_string(readback.Height()) + ", not of the video's size";
        return false;
      }
      bool converted = false;
      // Rows come bottom-up: start at the last row and step backwards.
      const bool taken = readback.Take([&](const uint8_t* pixels) {
        converted = converter.Convert(pixels + (req.height - 1) * rowBytes, -rowBytes, picture);
      });
      if (!taken || !converted) {
        error = taken ? "out of memory" : "the frame could not be read back from the drawing device";
        return false;
      }
      const double t1 = TimeGetTimeExact();
      waiting = false;
      bool ok = encoding.Picture(std::move(picture));
      readMs += t1 - t0;
      queueMs += TimeGetTimeExact() - t1;
      for (; ok && repeatsBehind > 0; --repeatsBehind) ok = encoding.Repeat();
      return ok || encoding.Failed();
    };
    int64_t pulled = ExportAudioStart(0, req.fps);
    for (int64_t k = 0; k < frames && error.empty(); ++k) {
      if (g_stop.load() || encoding.Failed()) break;
      const double t = req.from + double(k) * 1000.0 / req.fps;
      const double t0 = TimeGetTimeExact();
      const int32_t drawn = engine->ExportFrame(t, kSlideWaitMs, error);
      drawMs += TimeGetTimeExact() - t0;
      if (drawn < 0) break;
      if (drawn == 1) {
        ++drawnFrames;
        // The frame before (if it was drawn) is taken from the device once this one is on its
        // way, so reading it back overlapped drawing this one.
        if (!readback.Request()) {
          error = "the frame could not be read back from the drawing device";
          break;
        }
        if (!takeWaiting()) break;
        waiting = anyPicture = true;
      } else if (waiting) {
        ++repeatsBehind;
      } else if (anyPicture) {
        encoding.Repeat();
      } else {
        // Nothing on screen yet: black.
        TEncoderPicture black;
        const std::vector<uint8_t> pixels(size_t(rowBytes) * size_t(req.height), 0);
        if (!converter.Convert(pixels.data(), rowBytes, black)) {
          error = "out of memory";
          break;
        }
        encoding.Picture(std::move(black));
        anyPicture = true;
      }
      // The sound of this frame, with a music tick every millisecond of it.
      const double s0 = TimeGetTimeExact();
      const int64_t end = ExportAudioStart(k + 1, req.fps);
      sound.assign(size_t(end - pulled) * 2, 0);
      for (int64_t at = pulled; at < end;) {
        const int64_t next = std::min(end, (at / kMusicTickFrames + 1) * kMusicTickFrames);
        if (!engine->ExportMusicStep(kChannelWaitMs)) LogLine("Export: music channels late at " + FormatFloat(t));
        audio->Pull(sound.data() + (at - pulled) * 2, int32_t(next - at));
        at = next;
      }
      pulled = end;
      soundMs += TimeGetTimeExact() - s0;
      encoding.Sound(std::move(sound));
      sound = {};
      done = k + 1;
      progress.Update(done);
    }
    if (error.empty()) takeWaiting();
    std::string encodeError;
    if (!encoding.Close(encodeError) && error.empty()) error = encodeError;
  }
  progress.Close();
  const bool stopped = g_stop.load() && done < frames;
  if (error.empty()) encoder.Finish(error);
  engine.reset();
  if (!error.empty()) {
    encoder.Abort();
    return Fail(error);
  }
  char figures[200];
  std::snprintf(figures, sizeof figures, ": %lld frames (%lld drawn), %.3f s at %d fps, %dx%d, %s + %s, in %.1f s",
                (long long)done, (long long)drawnFrames, double(done) / req.fps, req.fps, req.width, req.height,
                encoder.Choice().videoCodec.c_str(), encoder.Choice().audioCodec.c_str(), progress.Seconds());
  const std::string summary = req.out + figures;
  LogLine("Export written: " + summary);
  LogLine("Export times (ms): frames (loader and drawing) " + FormatFloat(std::round(drawMs)) +
          ", read-back and conversion " + FormatFloat(std::round(readMs)) + ", sound " +
          FormatFloat(std::round(soundMs)) + ", encoder queue full " + FormatFloat(std::round(queueMs)));
  if (stopped) {
    std::fprintf(stderr, "zemviewer: export stopped: %s\n", summary.c_str());
    return kStatusInterrupted;
  }
  std::fprintf(stderr, "zemviewer: exported %s\n", summary.c_str());
  return 0;
}

}  // namespace zem
