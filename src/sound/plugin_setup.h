// Setting up the decoder plug-in slots, once per process when the first music player is made:
// "opt_wmapath" and "opt_oggpath" of the main section name package members holding the WMA and
// Ogg Vorbis plug-ins. A named member is copied into a temporary folder ("zemwma.dll",
// "zemogg.dll") as a plug-in loader would, but never loaded as code: the slot gets the
// built-in plug-in instead (WMA through the video decoding library, Ogg through libvorbisfile).
#pragma once
#include <string>

namespace zem {

class TCommonIniSection;
class TFileAccessor;

// First call only (later calls do nothing); `main` and `files` may be null.
void SetUpDecoderPlugins(const TCommonIniSection* main, const TFileAccessor* files);
// Process end: both slots emptied, the copies' folders deleted (a failure is logged).
void ShutDownDecoderPlugins();
// Tests: forget that the set-up ran (slots emptied too).
void ResetDecoderPluginSetUp();

}  // namespace zem
