// Lower-case form and hash of a name being looked up, kept on the stack when it is short so
// that lookups do not allocate.
#pragma once
#include <cstddef>

#include "foundation/strings.h"
#include "script/ini_file.h"

namespace zem {

class TLowerName {
 public:
  explicit TLowerName(WideView name) {
    if (name.size() <= kInline) {
      for (size_t i = 0; i < name.size(); ++i) buf_[i] = LowerChar(name[i]);
      view_ = WideView(buf_, name.size());
    } else {
      heap_ = LowerCase(name);
      view_ = heap_;
    }
    hash_ = IniNameHash(view_);
  }
  TLowerName(const TLowerName&) = delete;
  TLowerName& operator=(const TLowerName&) = delete;

  WideView View() const { return view_; }
  uint32_t Hash() const { return hash_; }

 private:
  static constexpr size_t kInline = 64;
  char16_t buf_[kInline];
  WideString heap_;
  WideView view_;
  uint32_t hash_;
};

}  // namespace zem
