#include "package/show_locator.h"

#include "foundation/assert.h"
#include "foundation/process.h"
#include "package/disk_path.h"
#include "package/unpack.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// Examines every line item of a section as text (key lines, comments and text lines alike).
template <class Fn>
void ForEachLine(const TIniStorage& script, const char16_t* section, Fn fn) {
  const TIniSection* sec = script.FindSection(section);
  if (!sec) return;
  for (const TCommonIniItem* item = sec->First(); item; item = item->Next())
    if (auto* line = dynamic_cast<const TIniEmptyLine*>(item)) fn(line->Text());
}

}  // namespace

bool ParseShowScript(TStream& stream, TIniFile& script, std::string* why) {
  auto fail = [&](std::string text) {
    if (why) *why = std::move(text);
    return false;
  };
  std::vector<uint8_t> bytes;
  if (!stream.ReadRest(bytes, kMaxScriptSize))
    return fail("is larger than " + std::to_string(kMaxScriptSize >> 20) + " MiB, or cannot be read");
  int64_t lines = 1;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))) ++lines;
  if (lines > kMaxScriptLines) return fail("has more than " + std::to_string(kMaxScriptLines) + " lines");
  if (!script.LoadFromBytes(bytes.data(), bytes.size())) return fail("does not parse");
  return true;
}

namespace {

}  // namespace

TZemShowLocator::TZemShowLocator(TFileAccessor* accessor, std::string script_name, bool owns_accessor)
    : accessor_(accessor), owns_accessor_(owns_accessor), script_name_(std::move(script_name)) {
  ZEM_ASSERT(accessor_ != nullptr);
  Load();
}

TZemShowLocator::TZemShowLocator(std::unique_ptr<TFileAccessor> accessor, std::string script_name)
    : TZemShowLocator(accessor.release(), std::move(script_name), true) {}

TZemShowLocator::~TZemShowLocator() {
  show_source_.reset();  // the show source refers to accessor and script
  script_.reset();
  if (owns_accessor_) delete accessor_;
}

void TZemShowLocator::Load() {
  auto stream = accessor_->OpenStream(script_name_);
  if (!stream) return;  // missing: the caller's own message says so
  auto script = std::make_shared<TIniFile>();
  std::string why;
  if (!ParseShowScript(*stream, *script, &why)) {
    load_error_ = "the script \"" + script_name_ + "\" " + why;
    return;
  }
  version_ = WideToUtf8(script->ReadString(u"Main", u"ZemVersion", u""));
  if (auto* mapped = dynamic_cast<TMappedFileSource*>(&accessor_->Source())) {
    ForEachLine(*script, u"FileMap", [&](WideView text) { mapped->MutableFileMap().AddLine(text); });
    ForEachLine(*script, u"RotationState", [&](WideView text) { mapped->MutableRotationState().AddLine(text); });
  }
  script_ = std::move(script);
}

std::unique_ptr<TFileAccessor> CreatePackedAccessor(const std::string& path, std::string& error) {
  auto unpack = OpenPackage(path);
  if (!unpack->IsOpen()) {
    error = unpack->Error();
    return nullptr;
  }
  error.clear();
  return std::make_unique<TFileAccessor>(MakeRef<TPackedFileSource>(std::move(unpack)), ExtractFileDir(path));
}

std::unique_ptr<TFileAccessor> CreateDiskAccessor(const std::string& root_folder) {
  return std::make_unique<TFileAccessor>(MakeRef<TMappedFileSource>(root_folder));
}

std::unique_ptr<TZemShowLocator> OpenPackagedShow(const std::string& path, std::string& error,
                                                  const TStartupFilterInstaller& startup) {
  auto accessor = CreatePackedAccessor(path, error);
  if (!accessor) return nullptr;
  accessor->SetBaseFolder(ExtractFileDir(path));
  if (startup) startup(*accessor, kProjectScriptName);
  auto locator = std::make_unique<TZemShowLocator>(std::move(accessor), kProjectScriptName);
  if (!locator->HasScript()) {
    error = kErrShowOpen;
    return nullptr;
  }
  return locator;
}

std::unique_ptr<TZemShowLocator> OpenProjectOnDisk(const std::string& path,
                                                   const TStartupFilterInstaller& startup, std::string* why) {
  const std::string script_path = SlashPath(path);
  const std::string folder = ExtractFileDir(script_path);
  auto accessor = CreateDiskAccessor(folder);
  if (startup) startup(*accessor, script_path);
  auto locator = std::make_unique<TZemShowLocator>(std::move(accessor), script_path);
  if (!locator->HasScript()) {
    if (why) *why = locator->LoadError();
    return nullptr;
  }
  // Files that stay on disk are looked for next to the program the show will be published as.
  std::string exe = SlashPath(WideToUtf8(locator->Script()->ReadString(u"Main", u"opt_exefn", u"")));
  std::string base = ExtractFileDir(exe);
  if (base.empty() || base[0] != '/') base = base.empty() ? folder : folder + "/" + base;
  locator->Accessor().SetBaseFolder(base);
  return locator;
}

bool LoadPackageScript(const std::string& path, TIniFile& script, std::string& error) {
  auto unpack = OpenPackage(path);
  if (!unpack->IsOpen()) {
    error = unpack->Error().empty() ? "no usable package in " + path : unpack->Error();
    return false;
  }
  auto stream = unpack->OpenMember(kProjectScriptName);
  if (!stream || !ParseShowScript(*stream, script, nullptr)) {
    error = kErrShowOpen;
    return false;
  }
  return true;
}

}  // namespace zem
