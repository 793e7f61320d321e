// Opening a show: the locator holds the file accessor and the parsed show script "Project.zem"
// (from a package) or a project script on disk.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "foundation/refobj.h"
#include "package/file_accessor.h"

namespace zem {

class TIniFile;

// A show script is read whole before it is parsed; a larger one, or one of more lines (each line
// becomes an item in memory), does not open.
inline constexpr int64_t kMaxScriptSize = int64_t(64) << 20;
inline constexpr int64_t kMaxScriptLines = 2000000;

// Reads and parses a show script within those limits; `why` says what failed ("is larger than
// 64 MiB, or cannot be read", "has more than 2000000 lines", "does not parse").
bool ParseShowScript(TStream& stream, TIniFile& script, std::string* why);

class TZemShowLocator : public TObj {
 public:
  // Opens the script member through the accessor and parses it; for mapped and packed sources
  // loads FileMap and RotationState from it. Without a parsable member HasScript() is false.
  TZemShowLocator(TFileAccessor* accessor, std::string script_name, bool owns_accessor);
  TZemShowLocator(std::unique_ptr<TFileAccessor> accessor, std::string script_name);
  ~TZemShowLocator() override;

  TFileAccessor& Accessor() const { return *accessor_; }
  bool HasScript() const { return script_ != nullptr; }
  // Why a script that exists could not be read (empty when there is one, or none at all).
  const std::string& LoadError() const { return load_error_; }
  TIniFile* Script() const { return script_.get(); }
  // The script for readers on other threads (the engine); nobody writes it once it is shared.
  std::shared_ptr<const TIniFile> SharedScript() const { return script_; }
  const std::string& ScriptName() const { return script_name_; }
  // "ZemVersion" of section "Main" (UTF-8).
  const std::string& ZemVersion() const { return version_; }

  // The show source built from accessor and script on first use (LocatorShowSource of the
  // model layer creates it and keeps it here, so it lives as long as the locator). Shared: the
  // main window's slide times hold it too.
  TRefObj* ShowSource() const { return show_source_.get(); }
  void SetShowSource(TRef<TRefObj> source) { show_source_ = std::move(source); }

 private:
  void Load();
  TFileAccessor* accessor_;
  bool owns_accessor_;
  std::string script_name_;
  std::shared_ptr<TIniFile> script_;
  std::string load_error_;
  std::string version_;
  TRef<TRefObj> show_source_;
};

// Installs the start-up window's filter on an accessor for the script name (set by the dialog
// layer; called only when the argument "-startup" is present).
using TStartupFilterInstaller = std::function<void(TFileAccessor& accessor, const std::string& script_name)>;

// A packed accessor on the package at path; nullptr and the error text on failure (the text is
// empty when the file holds no usable package). Its base folder is the package's folder.
std::unique_ptr<TFileAccessor> CreatePackedAccessor(const std::string& path, std::string& error);
// An accessor over plain files with the script tables, relative names below root_folder.
std::unique_ptr<TFileAccessor> CreateDiskAccessor(const std::string& root_folder = std::string());

// A packaged show: "Project.zem" of the package at path. nullptr and the error text on failure
// ("Executable SlideShow Open Error" when the script is missing or broken).
std::unique_ptr<TZemShowLocator> OpenPackagedShow(const std::string& path, std::string& error,
                                                  const TStartupFilterInstaller& startup = nullptr);
// A project on disk: the script file at path, its members as plain files. nullptr on failure,
// with the reason in `why` when given.
std::unique_ptr<TZemShowLocator> OpenProjectOnDisk(const std::string& path,
                                                   const TStartupFilterInstaller& startup = nullptr,
                                                   std::string* why = nullptr);

// Loads "Project.zem" of the package at path into `script`; false with the error text when the
// package or its script cannot be read.
bool LoadPackageScript(const std::string& path, TIniFile& script, std::string& error);

}  // namespace zem
