// Text decoders of the script reader: bytes of a stream to UTF-16 code units, in chunks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "script/ini_file.h"

namespace zem {

// Reads code units; 0 means the end of the text. Decoders raise EInvalidChar on bad bytes.
class TIniTextSource {
 public:
  virtual ~TIniTextSource() = default;
  virtual size_t Read(char16_t* out, size_t max) = 0;
};

// Detects the encoding at the stream's position (consuming a byte-order mark) and returns the
// matching decoder. The ANSI decoder follows the environment variable ZEM_CODEPAGE.
std::unique_ptr<TIniTextSource> OpenIniTextSource(TStream& stream, TIniEncoding& encoding);

// Text that is already UTF-16.
std::unique_ptr<TIniTextSource> WideIniTextSource(WideView text);

// Decodes bytes of one code page; code_page 0 or 1252 is the built-in Windows-1252 table, any
// other name ("1251", "CP932") goes through iconv, falling back to 1252 with a log line.
WideString DecodeAnsiBytes(const uint8_t* data, size_t size, const std::string& code_page);

}  // namespace zem
