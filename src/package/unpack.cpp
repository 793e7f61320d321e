#include "package/unpack.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "foundation/strings.h"
#include "package/load_throttle.h"
#include "package/partial_stream.h"
#include "script/ini_file.h"

namespace zem {

namespace {

bool ReadAt(TStream& s, int64_t pos, void* buf, int64_t count) {
  return s.Seek(pos, TSeekOrigin::Begin) == pos && s.ReadExact(buf, count);
}

int64_t LittleEndian64(const uint8_t* b) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
  return static_cast<int64_t>(v);
}

WideString W(const char* s) { return Utf8ToWide(s); }

// Strict signed decimal (the table writer's format).
bool ParseInt64(const std::string& text, int64_t& out) {
  if (text.empty()) return false;
  const char* b = text.data();
  const char* e = b + text.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e && b != e;
}

// A 64-bit table value: decimal, or hexadecimal after "$" or "0x", blanks around it ignored.
bool ParseTableInt64(std::string text, int64_t& out) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;
  text.erase(0, i);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.erase(0, 1);
  }
  int base = 10;
  if (!text.empty() && text[0] == '$') {
    base = 16;
    text.erase(0, 1);
  } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.erase(0, 2);
  }
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  uint64_t v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  if (negative) {
    if (v > uint64_t(INT64_MAX) + 1) return false;
    out = v == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v);
  } else {
    if (v > uint64_t(INT64_MAX)) return false;
    out = static_cast<int64_t>(v);
  }
  return true;
}

int64_t ReadTableInt64(const TIniSection& sec, const char16_t* key, int64_t def) {
  const TIniIdent* k = sec.FindKey(key);
  int64_t v;
  return k && ParseTableInt64(WideToUtf8(k->ValueView()), v) ? v : def;
}

// Lines of a text (any of CR, LF, CR LF ends one).
int64_t CountLines(const std::vector<uint8_t>& text) {
  int64_t n = 1;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++n;
  return n;
}

}  // namespace

// --- deflate helpers ---

namespace {

// Inflates from a pull function until the deflate stream ends; `why` gets the reason of a failure.
template <class Pull>
bool InflateWith(Pull pull, std::vector<uint8_t>& out, int64_t max_out, std::string* why) {
  out.clear();
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  std::vector<uint8_t> in(64 * 1024);
  uint8_t chunk[64 * 1024];
  int ret = Z_OK;
  const char* reason = "ends before its deflate data does";
  bool ok = false;
  for (;;) {
    if (z.avail_in == 0) {
      int64_t n = pull(in.data(), static_cast<int64_t>(in.size()));
      if (n <= 0) break;  // input ended before the stream did
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    ret = inflate(&z, Z_NO_FLUSH);
    size_t produced = sizeof chunk - z.avail_out;
    if (static_cast<int64_t>(out.size() + produced) > max_out) {
      reason = "inflates beyond its limit";
      break;
    }
    out.insert(out.end(), chunk, chunk + produced);
    if (ret == Z_STREAM_END) { ok = true; break; }
    if (ret != Z_OK && ret != Z_BUF_ERROR) {
      reason = "is damaged deflate data";
      break;
    }
    if (ret == Z_BUF_ERROR && z.avail_in != 0) break;
  }
  inflateEnd(&z);
  if (!ok) {
    out.clear();
    if (why) *why = reason;
  }
  return ok;
}

}  // namespace

bool InflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int64_t max_out) {
  size_t offset = 0;
  return InflateWith(
      [&](uint8_t* buf, int64_t want) -> int64_t {
        size_t n = std::min(static_cast<size_t>(want), size - offset);
        if (n) std::memcpy(buf, data + offset, n);
        offset += n;
        return static_cast<int64_t>(n);
      },
      out, max_out, nullptr);
}

bool InflateRawStream(TStream& source, int64_t count, std::vector<uint8_t>& out, int64_t max_out, std::string* why) {
  int64_t left = count;
  return InflateWith(
      [&](uint8_t* buf, int64_t want) -> int64_t {
        int64_t n = source.Read(buf, std::min(want, left));
        if (n > 0) left -= n;
        return n;
      },
      out, max_out, why);
}

bool DeflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.clear();
  // zlib counts in 32 bits: feed and collect in pieces.
  constexpr size_t kPiece = size_t(1) << 30;
  uint8_t chunk[64 * 1024];
  size_t offset = 0;
  int ret = Z_OK;
  do {
    if (z.avail_in == 0 && offset < size) {
      const size_t n = std::min(kPiece, size - offset);
      z.next_in = const_cast<uint8_t*>(data + offset);
      z.avail_in = static_cast<uInt>(n);
      offset += n;
    }
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    ret = deflate(&z, offset == size ? Z_FINISH : Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (ret == Z_OK || ret == Z_BUF_ERROR);
  deflateEnd(&z);
  return ret == Z_STREAM_END;
}

// --- names ---

std::string MemberSectionName(const std::string& member_name) {
  std::string s = member_name;
  for (char& c : s) {
    if (c == '[') c = '<';
    else if (c == ']') c = '>';
  }
  return s;
}

std::string MemberNameFromSection(const std::string& section_name) {
  std::string s = section_name;
  for (char& c : s) {
    if (c == '<') c = '[';
    else if (c == '>') c = ']';
  }
  return s;
}

// --- trailer ---

bool LocatePackageTrailer(TStream& file, int64_t n, TPackageTrailer& out) {
  uint8_t b[12];
  TPackageTrailer t;
  if (n < 12) return false;
  if (!ReadAt(file, n - 4, b, 4)) return false;
  if (std::memcmp(b, kPackageMarker, 4) == 0) {
    t.end = n;
    t.start = 0;
  } else {
    if (n < 20 || !ReadAt(file, n - 12, b, 12) || std::memcmp(b, kPackageMarker, 4) != 0) return false;
    t.end = n - 8;
    int64_t length = LittleEndian64(b + 4);
    if (length < 12 || length > t.end) return false;
    t.start = t.end - length;
    t.appended = true;
  }
  if (!ReadAt(file, t.end - 12, b, 8)) return false;
  t.table_offset = LittleEndian64(b);
  // The table lies between the package start and the trailer.
  if (t.table_offset < 0 || t.table_offset > t.end - 12 - t.start) return false;
  out = t;
  return true;
}

// --- table ---

TUnpackStruc::TUnpackStruc() : ini_(std::make_unique<TIniFile>()) {}
TUnpackStruc::~TUnpackStruc() = default;

TZemUnpack::~TZemUnpack() = default;

std::unique_ptr<TZemUnpack> TZemUnpack::Open(const std::string& path) {
  std::unique_ptr<TZemUnpack> u(new TZemUnpack());
  u->path_ = path;
  u->key_ = PackageScrambleKey();
  auto fail = [&](const char* error, std::string reason) {
    u->error_ = error;
    u->reason_ = std::move(reason);
    return std::move(u);
  };
  auto file = TFileStream::Open(path, TFileMode::Read);
  if (!file) return fail(kErrFileNotFound, "the file cannot be opened");
  u->file_size_ = file->Size();
  TPackageTrailer t;
  if (u->file_size_ < 0 || !LocatePackageTrailer(*file, u->file_size_, t))
    return fail("", "no package trailer (\".dne\" and a table position inside the file) at its end");
  const int64_t table_pos = t.TablePosition();
  std::vector<uint8_t> text;
  std::string why;
  if (file->Seek(table_pos, TSeekOrigin::Begin) != table_pos ||
      !InflateRawStream(*file, t.end - 12 - table_pos, text, kMaxTableSize, &why))
    return fail("", "the file table at " + std::to_string(table_pos) + " " + why);
  if (CountLines(text) > kMaxTableLines)
    return fail("", "the file table has more than " + std::to_string(kMaxTableLines) + " lines");
  auto struc = std::make_unique<TUnpackStruc>();
  if (!struc->Ini().LoadFromBytes(text.data(), text.size())) return fail("", "the file table does not parse");
  text = {};

  const TIniFile& ini = struc->Ini();
  const WideString prot = W(kProtectionSection);
  int64_t shift = 0;
  const TIniSection* ps = ini.FindSection(prot);
  const TIniIdent* rkey = ps ? ps->FindKey(u"strucpos") : nullptr;
  if (rkey) {
    std::string r = WideToUtf8(rkey->ValueView());
    if (r != std::to_string(table_pos)) {
      if (!ini.ReadBool(prot, u"allowmodify", false))
        return fail(kErrFileModified, "the table lies at " + std::to_string(table_pos) + ", it was written at " + r);
      int64_t rv = 0;
      // A recorded position below 0 never held a table; the difference must fit in 64 bits.
      if (!ParseInt64(r, rv) || rv > table_pos || rv < 0 || __builtin_sub_overflow(table_pos, rv, &shift))
        return fail(kErrFileDamaged, "the recorded table position \"" + r + "\" is not a position at or before " +
                                         std::to_string(table_pos));
    }
  }
  u->version_ = WideToUtf8(ini.ReadString(prot, u"zemversion", u""));
  u->shift_ = shift;
  u->trailer_ = t;
  u->struc_ = std::move(struc);
  u->file_ = std::move(file);
  return u;
}

bool TZemUnpack::FindMember(const std::string& name, TMemberInfo& info) const {
  if (!struc_) return false;
  const TIniSection* sec = struc_->Ini().FindSection(Utf8ToWide(MemberSectionName(name)));
  if (!sec) return false;
  const int64_t ps = ReadTableInt64(*sec, u"_ps", -1);
  const int64_t sz = ReadTableInt64(*sec, u"_sz", -1);
  if (ps == -1 || sz == -1) return false;
  // A position the shift carries out of range lies outside every file.
  if (__builtin_add_overflow(ps, shift_, &info.position)) info.position = INT64_MIN;
  info.size = sz;
  info.inflated_size = ReadTableInt64(*sec, u"_us", -1);
  info.method_text.clear();
  info.method = kMethodStored;
  if (const TIniIdent* pm = sec->FindKey(u"_pm")) {
    info.method_text = WideToUtf8(pm->ValueView());
    int64_t m = 0;
    info.method = ParseTableInt64(info.method_text, m) && m >= kMethodStored && m <= kMethodScrambled
                      ? static_cast<int32_t>(m)
                      : kMethodUnknown;
  }
  return true;
}

bool TZemUnpack::MemberReadable(const TMemberInfo& info) const {
  return info.position >= 0 && info.size >= 0 && info.position <= file_size_ &&
         info.size <= file_size_ - info.position;
}

std::unique_ptr<TStream> TZemUnpack::OpenMember(const std::string& name, std::string* error) const {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return std::unique_ptr<TStream>();
  };
  TMemberInfo info;
  if (!FindMember(name, info)) return fail("not in the table");
  if (info.method == kMethodUnknown) return fail("unknown storage method \"" + info.method_text + "\"");
  if (!MemberReadable(info)) return fail("Insufficient Source Size");
  auto file = TFileStream::Open(path_, TFileMode::Read);
  if (!file) return fail(kErrFileNotFound);
  std::string err;
  auto window = TPartialStream::Create(std::move(file), info.position, info.size, &err);
  if (!window) return fail(err);
  window->SetThrottle(LoadCallback, TPartialStream::kChunk);
  if (info.method == kMethodDeflated) {
    auto inflated = TInflateStream::Open(std::move(window), info.size, info.inflated_size, &err);
    if (!inflated) return fail(std::string(kErrFileDamaged) + ": " + err);
    return inflated;
  }
  if (info.method == kMethodScrambled) return std::make_unique<TCryptStream>(std::move(window), key_);
  return window;
}

std::vector<std::string> TZemUnpack::MemberNames() const {
  std::vector<std::string> names;
  if (!struc_) return names;
  for (const WideString& s : struc_->Ini().SectionNames()) {
    if (SameTextNoCase(s, W(kProtectionSection))) continue;
    names.push_back(MemberNameFromSection(WideToUtf8(s)));
  }
  return names;
}

bool PackageVersion(const std::string& path, std::string& version) {
  auto u = TZemUnpack::Open(path);
  if (!u->IsOpen()) return false;
  version = u->Version();
  return true;
}

bool HasPackageTrailer(const std::string& path) {
  auto file = TFileStream::Open(path, TFileMode::Read);
  TPackageTrailer t;
  return file && LocatePackageTrailer(*file, file->Size(), t);
}

}  // namespace zem
