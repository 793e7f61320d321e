// Snapshot mode of the player: the show opens as usual, but instead of playing in a window one
// frame at a given show time is drawn off screen and written to a PNG file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

// "-at": one show time in ms, or several separated by commas ("1000,2000.5,3000").
bool ParseSnapshotTimes(const std::string& text, std::vector<double>& times);
// The file of the index-th frame (from 1): "%d" (or "%0Nd", zero-padded to N digits) in the
// pattern becomes the index, "%%" a percent sign. False when the pattern has more than one
// number or a stray "%"; `hasNumber` tells whether it had one.
bool SnapshotFileName(const std::string& pattern, int index, std::string& out, bool& hasNumber);

// Draws the opened show of `shell` at each "-at" time and writes the "-snapshot" files (one
// process, one window and slide cache for all; PNG made for speed, written while the next
// frame draws). One time writes the file named; several number their files through a "%d" in
// the name (1 for the first time). Returns the exit status (0 when
// every file was written); failures are one line on standard error.
int RunSnapshot(TShowShell& shell, const TCommandsStorage& commands);

}  // namespace zem
