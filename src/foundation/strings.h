// Text helpers. Show texts are UTF-16 (`WideString`) as authored; file paths, log lines and
// program output are UTF-8 (`std::string`).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zem {

using WideString = std::u16string;
using WideView = std::u16string_view;

// UTF-8 to UTF-16. Malformed bytes become U+FFFD; never throws.
WideString Utf8ToWide(std::string_view s);
// UTF-16 to UTF-8. A lone surrogate is written as its 3-byte form (as a Windows writer does).
std::string WideToUtf8(WideView s);

// Lower-case folding: ASCII through a fixed table, other characters through the C library's
// wide mapping (any Unicode mapping serves).
char16_t LowerChar(char16_t c);
char16_t UpperChar(char16_t c);
WideString LowerCase(WideView s);
WideString UpperCase(WideView s);
std::string LowerAscii(std::string_view s);
bool SameTextNoCase(WideView a, WideView b);

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
WideString TrimBlanks(WideView s);

}  // namespace zem
