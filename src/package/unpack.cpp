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

}  // namespace

// --- deflate helpers ---

namespace {

// Inflates from a pull function until the deflate stream ends.
template <class Pull>
bool InflateWith(Pull pull, std::vector<uint8_t>& out, int64_t max_out) {
  out.clear();
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  std::vector<uint8_t> in(64 * 1024);
  uint8_t chunk[64 * 1024];
  int ret = Z_OK;
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
    if (static_cast<int64_t>(out.size() + produced) > max_out) break;
    out.insert(out.end(), chunk, chunk + produced);
    if (ret == Z_STREAM_END) { ok = true; break; }
    if (ret != Z_OK && ret != Z_BUF_ERROR) break;
    if (ret == Z_BUF_ERROR && z.avail_in != 0) break;
  }
  inflateEnd(&z);
  if (!ok) out.clear();
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
      out, max_out);
}

bool InflateRawStream(TStream& source, int64_t count, std::vector<uint8_t>& out, int64_t max_out) {
  int64_t left = count;
  return InflateWith(
      [&](uint8_t* buf, int64_t want) -> int64_t {
        int64_t n = source.Read(buf, std::min(want, left));
        if (n > 0) left -= n;
        return n;
      },
      out, max_out);
}

bool DeflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, static_cast<uLong>(size)) + 16);
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int ret = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
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
  auto file = TFileStream::Open(path, TFileMode::Read);
  if (!file) {
    u->error_ = kErrFileNotFound;
    return u;
  }
  u->file_size_ = file->Size();
  TPackageTrailer t;
  if (u->file_size_ < 0 || !LocatePackageTrailer(*file, u->file_size_, t)) return u;
  const int64_t table_pos = t.TablePosition();
  std::vector<uint8_t> text;
  if (file->Seek(table_pos, TSeekOrigin::Begin) != table_pos ||
      !InflateRawStream(*file, t.end - 12 - table_pos, text, kMaxInflatedSize))
    return u;
  auto struc = std::make_unique<TUnpackStruc>();
  if (!struc->Ini().LoadFromBytes(text.data(), text.size())) return u;

  const TIniFile& ini = struc->Ini();
  const WideString prot = W(kProtectionSection);
  int64_t shift = 0;
  const TIniSection* ps = ini.FindSection(prot);
  const TIniIdent* rkey = ps ? ps->FindKey(u"strucpos") : nullptr;
  if (rkey) {
    std::string r = WideToUtf8(rkey->ValueView());
    if (r != std::to_string(table_pos)) {
      if (!ini.ReadBool(prot, u"allowmodify", false)) {
        u->error_ = kErrFileModified;
        return u;
      }
      int64_t rv = 0;
      if (!ParseInt64(r, rv) || rv > table_pos) {
        u->error_ = kErrFileDamaged;
        return u;
      }
      shift = table_pos - rv;
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
  int32_t ps = sec->ReadInteger(u"_ps", -1);
  int32_t sz = sec->ReadInteger(u"_sz", -1);
  if (ps == -1 || sz == -1) return false;
  info.position = static_cast<int64_t>(ps) + shift_;
  info.size = sz;
  info.method = sec->ReadInteger(u"_pm", kMethodStored);
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
  if (!MemberReadable(info)) return fail("Insufficient Source Size");
  auto file = TFileStream::Open(path_, TFileMode::Read);
  if (!file) return fail(kErrFileNotFound);
  std::string err;
  auto window = TPartialStream::Create(std::move(file), info.position, info.size, &err);
  if (!window) return fail(err);
  if (info.method == kMethodDeflated) {
    std::vector<uint8_t> data;
    if (!InflateRawStream(*window, info.size, data, kMaxInflatedSize)) return fail(kErrFileDamaged);
    window.reset();
    auto memory = std::make_unique<TMemoryStream>(std::move(data));
    int64_t size = memory->Size();
    window = TPartialStream::Create(std::move(memory), 0, size);
    window->SetThrottle(LoadCallback, TPartialStream::kChunk);
    return window;
  }
  window->SetThrottle(LoadCallback, TPartialStream::kChunk);
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
