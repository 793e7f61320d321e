#include "make_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>

#include "foundation/process.h"
#include "foundation/stream.h"
#include "foundation/strings.h"
#include "package/disk_path.h"
#include "package/package_writer.h"
#include "script/ini_file.h"

namespace zemtool::make {

namespace fs = std::filesystem;

namespace {

constexpr char kMarker[] = "Made by zemtool make";

// The script text in the player's own encoding (a UTF-8 byte-order mark, CR LF line ends).
bool ScriptBytes(const std::string& text, std::vector<uint8_t>& out) {
  zem::TIniFile ini;
  if (!ini.LoadFromText(zem::Utf8ToWide(text))) return false;
  zem::TMemoryStream m;
  if (!ini.SaveToStream(m)) return false;
  out = std::move(m.Data());
  return true;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  auto f = zem::TFileStream::Open(path, zem::TFileMode::Create);
  return f && f->Write(bytes.data(), int64_t(bytes.size())) == int64_t(bytes.size());
}

bool Inside(const fs::path& p, const fs::path& folder) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(p, ec), f = fs::weakly_canonical(folder, ec);
  auto fi = f.begin(), ai = a.begin();
  for (; fi != f.end(); ++fi, ++ai)
    if (ai == a.end() || *ai != *fi) return false;
  return true;
}

// A folder an earlier make wrote (its script carries the marker), or an empty one.
bool OursOrEmpty(const fs::path& out) {
  std::error_code ec;
  if (fs::is_empty(out, ec)) return true;
  auto f = zem::TFileStream::Open((out / "Project.zem").string(), zem::TFileMode::Read);
  char head[256] = {};
  const int64_t n = f ? f->Read(head, sizeof head) : 0;
  return n > 0 && std::string_view(head, size_t(n)).find(kMarker) != std::string_view::npos;
}

}  // namespace

bool WriteProjectFolder(const TShowPlan& plan, std::string& error) {
  const TMakeOptions& o = plan.options;
  const fs::path out = fs::absolute(o.outFolder).lexically_normal();
  std::error_code ec;
  if (fs::exists(out, ec)) {
    if (!fs::is_directory(out, ec)) return error = o.outFolder + " exists and is not a folder", false;
    if (!o.force) return error = o.outFolder + " exists (--force replaces the show in it)", false;
    if (!OursOrEmpty(out))
      return error = o.outFolder + " holds files that zemtool make did not write; name a new or empty folder", false;
    for (const TShowPicture& p : plan.pictures)
      if (Inside(p.picture.path, out / "photos")) return error = "the pictures must not lie in " + (out / "photos").string(), false;
    for (const TMusicTrack& m : plan.music)
      if (Inside(m.path, out / "music")) return error = "the music must not lie in " + (out / "music").string(), false;
    fs::remove(out / "Project.zem", ec);
    fs::remove_all(out / "photos", ec);
    fs::remove_all(out / "music", ec);
    if (ec) return error = "cannot replace the show in " + o.outFolder + ": " + ec.message(), false;
  }
  fs::create_directories(out, ec);
  if (ec) return error = "cannot create " + o.outFolder + ": " + ec.message(), false;
  if (!o.link) {
    auto copy = [&](const std::string& from, const std::string& member) {
      const fs::path to = out / zem::SlashPath(member);
      fs::create_directories(to.parent_path(), ec);
      if (!ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
      if (ec) error = "cannot copy " + from + " to " + to.string() + ": " + ec.message();
      return !ec;
    };
    for (const TShowPicture& p : plan.pictures)
      if (!copy(p.picture.path, p.member)) return false;
    for (const TMusicTrack& m : plan.music)
      if (!copy(m.path, m.member)) return false;
  }
  std::vector<uint8_t> bytes;
  if (!ScriptBytes(ShowScript(plan, o.link), bytes) || !WriteBytes((out / "Project.zem").string(), bytes))
    return error = "cannot write " + (out / "Project.zem").string(), false;
  return true;
}

bool WritePackage(const TShowPlan& plan, const std::string& file, const std::string& player, std::string& error) {
  const TMakeOptions& o = plan.options;
  std::error_code ec;
  const fs::path target = fs::absolute(file).lexically_normal();
  if (fs::exists(target, ec)) {
    if (fs::is_directory(target, ec)) return error = file + " is a folder", false;
    if (!o.force) return error = file + " exists (--force replaces it)", false;
    for (const TShowPicture& p : plan.pictures)
      if (fs::equivalent(p.picture.path, target, ec)) return error = file + " is one of the pictures", false;
    for (const TMusicTrack& m : plan.music)
      if (fs::equivalent(m.path, target, ec)) return error = file + " is one of the music files", false;
  }
  if (!player.empty() && fs::exists(target, ec) && fs::equivalent(player, target, ec))
    return error = file + " must not be the player itself", false;

  // Written beside the target and renamed when complete: no half package under its name.
  std::mt19937_64 r{std::random_device{}()};
  const fs::path part = target.string() + ".part" + std::to_string(r() % 1000000);
  struct TRemove {
    fs::path path;
    bool keep = false;
    ~TRemove() {
      std::error_code e;
      if (!keep) fs::remove(path, e);
    }
  } cleanup{part};
  auto out = zem::TFileStream::Open(part.string(), zem::TFileMode::Create);
  if (!out) return error = "cannot create " + file, false;
  if (!player.empty()) {
    auto binary = zem::TFileStream::Open(player, zem::TFileMode::Read);
    if (!binary) return error = "cannot read the player " + player, false;
    const int64_t size = binary->Size();
    if (out->CopyFrom(*binary, -1) != size) return error = "cannot copy the player " + player, false;
  }
  std::vector<uint8_t> script;
  if (!ScriptBytes(ShowScript(plan, false, target.filename().string()), script)) return error = "cannot write the script", false;
  zem::TPackOptions options;
  options.zem_version = "5.6";
  zem::TPackageWriter writer(*out, options);
  if (!writer.AddMember("Project.zem", script)) return error = "cannot write " + file, false;
  for (const TShowPicture& p : plan.pictures)
    if (!writer.AddFile(p.member, p.picture.path)) return error = "cannot pack " + p.picture.path, false;
  for (const TMusicTrack& m : plan.music)
    if (!writer.AddFile(m.member, m.path)) return error = "cannot pack " + m.path, false;
  if (!writer.Finish(!player.empty())) return error = "cannot write " + file + " (a package holds less than 2 GiB)", false;
  out.reset();
  if (!player.empty()) ::chmod(part.c_str(), 0755);
  fs::rename(part, target, ec);
  if (ec) return error = "cannot write " + file + ": " + ec.message(), false;
  cleanup.keep = true;
  return true;
}

std::string FindPlayer(const std::string& named) {
  std::error_code ec;
  if (!named.empty()) return fs::is_regular_file(named, ec) ? named : std::string();
  const fs::path own = fs::path(zem::OwnExecutablePath()).parent_path();
  for (const fs::path& p : {own / "zemviewer", own.parent_path() / "zemviewer" / "zemviewer"})
    if (fs::is_regular_file(p, ec)) return p.string();
  if (const char* path = std::getenv("PATH")) {
    std::string all = path;
    size_t start = 0;
    while (start <= all.size()) {
      size_t colon = all.find(':', start);
      if (colon == std::string::npos) colon = all.size();
      const fs::path p = fs::path(all.substr(start, colon - start)) / "zemviewer";
      if (colon > start && ::access(p.c_str(), X_OK) == 0) return p.string();
      start = colon + 1;
    }
  }
  return std::string();
}

}  // namespace zemtool::make
