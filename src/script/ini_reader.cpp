#include "script/ini_reader.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/log.h"

namespace zem {

namespace {

constexpr size_t kByteBuffer = 32 * 1024;

// Stream bytes with a few bytes pushed back (those examined for a byte-order mark).
class TByteInput {
 public:
  explicit TByteInput(TStream& stream) : stream_(stream) {}
  void PushBack(const uint8_t* data, size_t n) { pending_.insert(pending_.begin(), data, data + n); }
  size_t Read(uint8_t* out, size_t max) {
    size_t done = 0;
    if (!pending_.empty()) {
      done = std::min(max, pending_.size());
      std::memcpy(out, pending_.data(), done);
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    }
    while (done < max) {
      int64_t n = stream_.Read(out + done, static_cast<int64_t>(max - done));
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

 private:
  TStream& stream_;
  std::vector<uint8_t> pending_;
};

// A buffered byte reader shared by the decoders.
class TBufferedSource : public TIniTextSource {
 protected:
  explicit TBufferedSource(std::unique_ptr<TByteInput> input) : input_(std::move(input)), buf_(kByteBuffer) {}
  // Makes at least `need` bytes available when the input has them; returns the available count.
  size_t Fill(size_t need) {
    if (end_ - pos_ >= need || eof_) return end_ - pos_;
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < need && !eof_) {
      size_t n = input_->Read(buf_.data() + end_, buf_.size() - end_);
      if (n == 0) eof_ = true;
      end_ += n;
    }
    return end_ - pos_;
  }
  std::unique_ptr<TByteInput> input_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
};

class TUtf16Source : public TBufferedSource {
 public:
  TUtf16Source(std::unique_ptr<TByteInput> input, bool big_endian)
      : TBufferedSource(std::move(input)), big_endian_(big_endian) {}
  size_t Read(char16_t* out, size_t max) override {
    size_t n = 0;
    while (n < max) {
      // A single byte left at the end is not a character and is dropped.
      size_t avail = Fill(2) / 2;
      if (avail == 0) break;
      size_t take = std::min(avail, max - n);
      for (size_t k = 0; k < take; ++k, pos_ += 2) {
        uint8_t a = buf_[pos_], b = buf_[pos_ + 1];
        out[n++] = static_cast<char16_t>(big_endian_ ? (a << 8 | b) : (b << 8 | a));
      }
    }
    return n;
  }

 private:
  bool big_endian_;
};

class TUtf8Source : public TBufferedSource {
 public:
  explicit TUtf8Source(std::unique_ptr<TByteInput> input) : TBufferedSource(std::move(input)) {}
  size_t Read(char16_t* out, size_t max) override {
    size_t n = 0;
    if (pending_low_ && n < max) {
      out[n++] = pending_low_;
      pending_low_ = 0;
    }
    while (n < max) {
      if (Fill(1) < 1) break;
      uint8_t lead = buf_[pos_];
      if (lead < 0x80) {
        out[n++] = lead;
        ++pos_;
        continue;
      }
      int extra;
      uint32_t cp;
      if (lead >= 0xC0 && lead <= 0xDF) { extra = 1; cp = lead & 0x1F; }
      else if (lead >= 0xE0 && lead <= 0xEF) { extra = 2; cp = lead & 0x0F; }
      else if (lead >= 0xF0 && lead <= 0xF7) { extra = 3; cp = lead & 0x07; }
      else if (lead >= 0xF8 && lead <= 0xFB) { extra = 4; cp = lead & 0x03; }
      else if (lead >= 0xFC && lead <= 0xFD) { extra = 5; cp = lead & 0x01; }
      else throw EInvalidChar("Invalid UTF-8 lead byte");
      if (Fill(1 + extra) < static_cast<size_t>(1 + extra)) throw EInvalidChar("Truncated UTF-8 sequence");
      for (int k = 1; k <= extra; ++k) {
        uint8_t c = buf_[pos_ + k];
        if (c < 0x80 || c > 0xBF) throw EInvalidChar("Invalid UTF-8 continuation byte");
        cp = (cp << 6) | (c & 0x3F);
      }
      pos_ += 1 + extra;
      if (cp < 0x10000) {
        out[n++] = static_cast<char16_t>(cp);
      } else {
        // Beyond the surrogate range the text cannot be represented: bad input, not a bug.
        if (cp > 0x10FFFF) throw EInvalidChar("Illegal char range for surrogates");
        cp -= 0x10000;
        out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
        char16_t low = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        if (n < max) out[n++] = low; else pending_low_ = low;
      }
    }
    return n;
  }

 private:
  char16_t pending_low_ = 0;
};

// Windows-1252 code points of bytes 80h-9Fh; the five undefined bytes map to themselves.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252(uint8_t b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b; }

class TCp1252Source : public TBufferedSource {
 public:
  explicit TCp1252Source(std::unique_ptr<TByteInput> input) : TBufferedSource(std::move(input)) {}
  size_t Read(char16_t* out, size_t max) override {
    size_t n = 0;
    while (n < max) {
      size_t avail = Fill(1);
      if (avail == 0) break;
      size_t take = std::min(avail, max - n);
      for (size_t k = 0; k < take; ++k) out[n++] = Cp1252(buf_[pos_ + k]);
      pos_ += take;
    }
    return n;
  }
};

// Any other code page through iconv; bytes it cannot convert become U+FFFD, as the system's
// conversion does without strict checking.
class TIconvSource : public TBufferedSource {
 public:
  TIconvSource(std::unique_ptr<TByteInput> input, iconv_t cd) : TBufferedSource(std::move(input)), cd_(cd) {}
  ~TIconvSource() override { iconv_close(cd_); }
  size_t Read(char16_t* out, size_t max) override {
    size_t n = 0;
    while (n < max) {
      if (out_pos_ < out_.size()) {
        size_t take = std::min(max - n, out_.size() - out_pos_);
        std::memcpy(out + n, out_.data() + out_pos_, take * sizeof(char16_t));
        out_pos_ += take;
        n += take;
        continue;
      }
      out_.clear();
      out_pos_ = 0;
      if (!Convert()) break;
    }
    return n;
  }

 private:
  // Converts the next bytes into out_; false at the end.
  bool Convert() {
    size_t avail = Fill(16);
    if (avail == 0) return false;
    uint8_t tmp[8192];
    char* in = reinterpret_cast<char*>(buf_.data() + pos_);
    size_t in_left = avail;
    char* o = reinterpret_cast<char*>(tmp);
    size_t o_left = sizeof tmp;
    size_t r = iconv(cd_, &in, &in_left, &o, &o_left);
    int err = errno;
    size_t used = avail - in_left;
    size_t produced = sizeof tmp - o_left;
    for (size_t k = 0; k + 1 < produced; k += 2) out_.push_back(static_cast<char16_t>(tmp[k] | tmp[k + 1] << 8));
    pos_ += used;
    if (r == static_cast<size_t>(-1) && produced == 0 && used == 0) {
      if (err == EINVAL && !eof_ && avail < buf_.size()) {
        // An incomplete sequence at the buffer end: fetch more bytes first.
        if (Fill(avail + 1) > avail) return true;
      }
      // Not convertible (or cut off at the end of the input): one replacement per byte.
      out_.push_back(0xFFFD);
      ++pos_;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
  }

  iconv_t cd_;
  std::vector<char16_t> out_;
  size_t out_pos_ = 0;
};

class TWideSource : public TIniTextSource {
 public:
  explicit TWideSource(WideView text) : text_(text) {}
  size_t Read(char16_t* out, size_t max) override {
    size_t take = std::min(max, text_.size() - pos_);
    std::memcpy(out, text_.data() + pos_, take * sizeof(char16_t));
    pos_ += take;
    return take;
  }

 private:
  WideView text_;
  size_t pos_ = 0;
};

// iconv's name for a code page: digits get "CP" in front.
std::string IconvName(const std::string& code_page) {
  bool digits = !code_page.empty() && code_page.find_first_not_of("0123456789") == std::string::npos;
  return digits ? "CP" + code_page : code_page;
}

// An iconv descriptor for the code page, or (iconv_t)-1 for the built-in 1252 table.
iconv_t OpenCodePage(const std::string& code_page) {
  if (code_page.empty() || code_page == "1252" || code_page == "CP1252" || code_page == "cp1252")
    return reinterpret_cast<iconv_t>(-1);
  iconv_t cd = iconv_open("UTF-16LE", IconvName(code_page).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1))
    LogLine("TIniFile: code page " + code_page + " unknown, using 1252");
  return cd;
}

std::string EnvCodePage() {
  const char* env = std::getenv("ZEM_CODEPAGE");
  return env ? std::string(env) : std::string();
}

}  // namespace

std::unique_ptr<TIniTextSource> OpenIniTextSource(TStream& stream, TIniEncoding& encoding) {
  auto input = std::make_unique<TByteInput>(stream);
  uint8_t head[3];
  size_t n = input->Read(head, 3);
  size_t bom = 0;
  if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
    encoding = TIniEncoding::Utf16LE;
    bom = 2;
  } else if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
    encoding = TIniEncoding::Utf16BE;
    bom = 2;
  } else if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    encoding = TIniEncoding::Utf8;
    bom = 3;
  } else {
    encoding = TIniEncoding::Ansi;
  }
  input->PushBack(head + bom, n - bom);
  switch (encoding) {
    case TIniEncoding::Utf16LE: return std::make_unique<TUtf16Source>(std::move(input), false);
    case TIniEncoding::Utf16BE: return std::make_unique<TUtf16Source>(std::move(input), true);
    case TIniEncoding::Utf8: return std::make_unique<TUtf8Source>(std::move(input));
    case TIniEncoding::Ansi: break;
  }
  iconv_t cd = OpenCodePage(EnvCodePage());
  if (cd != reinterpret_cast<iconv_t>(-1)) return std::make_unique<TIconvSource>(std::move(input), cd);
  return std::make_unique<TCp1252Source>(std::move(input));
}

std::unique_ptr<TIniTextSource> WideIniTextSource(WideView text) { return std::make_unique<TWideSource>(text); }

WideString DecodeAnsiBytes(const uint8_t* data, size_t size, const std::string& code_page) {
  TBufferStream stream(data, static_cast<int64_t>(size));
  auto input = std::make_unique<TByteInput>(stream);
  std::unique_ptr<TIniTextSource> src;
  iconv_t cd = OpenCodePage(code_page);
  if (cd != reinterpret_cast<iconv_t>(-1)) src = std::make_unique<TIconvSource>(std::move(input), cd);
  else src = std::make_unique<TCp1252Source>(std::move(input));
  WideString out;
  char16_t chunk[4096];
  while (size_t n = src->Read(chunk, 4096)) out.append(chunk, n);
  return out;
}

}  // namespace zem
