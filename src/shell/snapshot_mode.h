// Snapshot mode of the player: the show opens as usual, but instead of playing in a window one
// frame at a given show time is drawn off screen and written to a PNG file.
#pragma once
#include <cstdint>
#include <string>

namespace zem {

class TCommandsStorage;
class TShowShell;
struct TMainOptions;

// The switch that selects snapshot mode; its value is the output file.
inline constexpr const char* kSnapshotSwitch = "snapshot";

// The picture size of a snapshot when none is asked for: the show's window, or 1920 × 1080 for
// a full-screen show (there is no screen to measure).
void DefaultSnapshotSize(const TMainOptions& options, int32_t& width, int32_t& height);
// Parses "WIDTHxHEIGHT"; false on anything else or on sizes outside 1..16384.
bool ParseOutputSize(const std::string& text, int32_t& width, int32_t& height);

// Draws the opened show of `shell` at "-at" (ms) and writes the "-snapshot" file. Returns the
// exit status (0 when the file was written); failures are one line on standard error.
int RunSnapshot(TShowShell& shell, const TCommandsStorage& commands);

}  // namespace zem
