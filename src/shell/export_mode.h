// Export mode of the player: the show is played through the engine, the drawer and the music
// player on a virtual clock, without a window and without waiting for real time, into a video
// file. Frame k shows the show at exactly from + k × 1000 / fps ms; the sound of frame k is the
// samples [S(k), S(k + 1)) of the 44100 Hz mix, S(k) = floor(k × 44100 / fps).
#pragma once
#include <cstdint>
#include <string>

namespace zem {

class TCommandsStorage;
class TIniStorage;
class TShowShell;

// The switch that selects export mode; its value is the output file.
inline constexpr const char* kExportSwitch = "export";

struct TExportRequest {
  std::string out;
  int32_t width = 0, height = 0;  // 0: the show's design size
  int32_t fps = 30;
  int32_t quality = 80;
  double from = 0;  // ms
  double to = -1;   // ms; below 0: the end of the show (one pass of a repeating show)
};

// Reads -export, -outsize, -fps, -from, -to and -quality. False with a one-line message.
bool ParseExportRequest(const TCommandsStorage& commands, TExportRequest& request, std::string& error);
// The video size of a show: its design size ("opt_scr_width" × "opt_scr_height"), else the
// snapshot's default; each side rounded down to an even number (4:2:0 video).
void ExportDesignSize(const TIniStorage& script, int32_t& width, int32_t& height);
// Frames of an export from `from` to `to` ms: every frame time before `to`.
int64_t ExportFrameCount(double from, double to, int32_t fps);
// First audio sample of frame k.
int64_t ExportAudioStart(int64_t frame, int32_t fps);

// Exports the opened show of `shell`. Returns the exit status: 0 done, 1 failed (one line on
// standard error, no file left behind), 130 stopped by Ctrl+C (the file holds what was done).
int RunExport(TShowShell& shell, const TCommandsStorage& commands);

}  // namespace zem
