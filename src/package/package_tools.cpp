#include "package/package_tools.h"

#include <vector>

#include "foundation/process.h"
#include "foundation/strings.h"
#include "package/disk_path.h"
#include "package/unpack.h"

namespace zem {

bool ExtractPackage(const TZemUnpack& unpack, const std::string& dir, TExtractReport& report) {
  if (!ForceFolders(dir)) {
    report.failed.push_back(dir + ": cannot create the folder");
    return false;
  }
  for (const std::string& name : unpack.MemberNames()) {
    std::string path;
    if (!SafeJoin(dir, name, path)) {
      report.refused.push_back(name);
      continue;
    }
    std::string error;
    auto stream = unpack.OpenMember(name, &error);
    if (!stream) {
      report.failed.push_back(name + ": " + error);
      continue;
    }
    std::unique_ptr<TFileStream> out;
    if (ForceFolders(ExtractFileDir(path))) out = TFileStream::Open(path, TFileMode::Create);
    const int64_t size = stream->Size();
    if (!out || out->CopyFrom(*stream, -1) != size) {
      report.failed.push_back(name + ": cannot write " + path);
      continue;
    }
    ++report.extracted;
  }
  return report.refused.empty() && report.failed.empty();
}

bool VerifyPackage(const std::string& path, TVerifyReport& report) {
  auto unpack = OpenPackage(path);
  if (!unpack->IsOpen()) {
    report.problems.push_back(unpack->Error().empty()
                                  ? "no package trailer, or the table does not inflate or parse"
                                  : unpack->Error());
    return false;
  }
  report.shift = unpack->Shift();
  bool script = false;
  std::vector<uint8_t> buf(1 << 20);
  for (const std::string& name : unpack->MemberNames()) {
    ++report.members;
    TMemberInfo info;
    if (!unpack->FindMember(name, info)) {
      report.problems.push_back("member \"" + name + "\": no position or size in the table");
      continue;
    }
    if (!unpack->MemberReadable(info)) {
      report.problems.push_back("member \"" + name + "\": position " + std::to_string(info.position) +
                                " size " + std::to_string(info.size) + " lies outside the file");
      continue;
    }
    std::string error;
    auto stream = unpack->OpenMember(name, &error);
    if (!stream) {
      report.problems.push_back("member \"" + name + "\": " + error);
      continue;
    }
    int64_t size = stream->Size(), got = 0, n;
    while ((n = stream->Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) got += n;
    if (got != size) {
      report.problems.push_back("member \"" + name + "\": read " + std::to_string(got) + " of " +
                                std::to_string(size) + " bytes");
      continue;
    }
    report.bytes += got;
    if (LowerAscii(name) == LowerAscii(kProjectScriptName)) script = true;
  }
  if (!script) report.problems.push_back(std::string("no readable member \"") + kProjectScriptName + "\"");
  return report.problems.empty();
}

}  // namespace zem
