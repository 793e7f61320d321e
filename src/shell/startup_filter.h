// The start-up window's show: in the child process ("-startup") the show script is rewritten
// while it is read, so that the show is one slide made of its "dialog_startup" section, in a
// window, without panel, music, transitions, password or program to run at the end.
//
// Threads: whichever thread opens the script member (the user-interface thread at an open).
#pragma once
#include <memory>
#include <string>

#include "package/file_accessor.h"

namespace zem {

class TIniFile;
class TIniStorage;

// The one-slide script, or null when the script has no "dialog_startup" or no "main" section.
std::unique_ptr<TIniFile> BuildStartupScript(const TIniStorage& script);

// A stream filter that rewrites the member named exactly `scriptName` (when it loads and has
// both sections) and passes every other stream unchanged.
TStreamFilter MakeStartupScriptFilter(std::string scriptName);

// Installs that filter on the accessor of a show opened in start-up mode.
void InstallStartupScriptFilter(TFileAccessor& accessor, const std::string& scriptName);

}  // namespace zem
