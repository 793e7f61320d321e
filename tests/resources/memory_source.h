// A file source over members held in memory, for tests that give a show's files to the text
// producer or the macros without writing a package.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "package/file_accessor.h"

namespace zem::test {

class TMemorySource : public TFileSource {
 public:
  std::map<std::string, std::vector<uint8_t>> members;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    auto it = members.find(name);
    if (it == members.end()) return nullptr;
    return std::make_unique<TMemoryStream>(it->second);
  }
};

inline std::unique_ptr<TFileAccessor> MemoryAccessor(TRef<TMemorySource>& source) {
  source = MakeRef<TMemorySource>();
  return std::make_unique<TFileAccessor>(TRef<TFileSource>(source.get()));
}

}  // namespace zem::test
