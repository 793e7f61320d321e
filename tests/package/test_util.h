// Helpers shared by the package tests: a scratch folder and packages built in it.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "package/package_writer.h"

namespace zem::test {

class TScratch {
 public:
  TScratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zem-pkg-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
};

struct TMember {
  std::string name;
  std::vector<uint8_t> data;
  int32_t method;
};

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Pseudo-random bytes (incompressible) or a repeating text (compressible).
inline std::vector<uint8_t> Noise(size_t n, uint32_t seed = 1) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return v;
}
inline std::vector<uint8_t> Text(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>("slide show text "[i % 16]);
  return v;
}

// Writes `prefix` then a package with the members. `edit` may change the table before it is
// written. Returns the absolute table position.
inline int64_t WritePackage(const std::string& path, const std::vector<TMember>& members, bool appended,
                            const std::vector<uint8_t>& prefix = {}, TPackOptions options = {},
                            const std::function<void(TIniFile&)>& edit = nullptr) {
  auto out = TFileStream::Open(path, TFileMode::Create);
  if (!out) return -1;
  out->WriteAll(prefix.data(), static_cast<int64_t>(prefix.size()));
  TPackageWriter w(*out, options);
  for (const auto& m : members)
    if (!w.AddMemberAs(m.name, m.data, m.method)) return -1;
  if (edit) edit(w.Table());
  if (!w.Finish(appended)) return -1;
  return w.TablePosition();
}

inline std::vector<uint8_t> ReadAll(TStream& s) {
  std::vector<uint8_t> out;
  s.ReadRest(out, INT64_MAX);
  return out;
}

}  // namespace zem::test
