#include "package/package_writer.h"

#include <zlib.h>

#include <algorithm>
#include <set>
#include <filesystem>

#include "foundation/process.h"
#include "foundation/strings.h"
#include "package/disk_path.h"
#include "package/partial_stream.h"
#include "script/ini_file.h"

namespace zem {

namespace {

void PutLE64(uint8_t* b, int64_t v) {
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

std::u16string W(const std::string& s) { return Utf8ToWide(s); }

}  // namespace

TPackageWriter::TPackageWriter(TStream& out, TPackOptions options)
    : out_(out), options_(std::move(options)), table_(std::make_unique<TIniFile>()) {
  start_ = out_.Position();
  if (start_ < 0) failed_ = true;
  table_->GetOrAddSection(W(kProtectionSection));
}

TPackageWriter::~TPackageWriter() = default;

TIniFile& TPackageWriter::Table() { return *table_; }

bool TPackageWriter::Record(const std::string& name, int64_t pos, int64_t size, int32_t method, int64_t inflated) {
  WideString section = W(MemberSectionName(name));
  table_->WriteString(section, u"_ps", W(std::to_string(pos)));
  table_->WriteString(section, u"_sz", W(std::to_string(size)));
  table_->WriteString(section, u"_pm", W(std::to_string(method)));
  // Readers check a deflated member against the size it must inflate to.
  if (method == kMethodDeflated) table_->WriteString(section, u"_us", W(std::to_string(inflated)));
  return true;
}

bool TPackageWriter::WriteScrambled(const uint8_t* data, int64_t count, int64_t member_offset) {
  std::vector<uint8_t> copy(data, data + count);
  TCryptStream::Apply(copy.data(), count, member_offset, PackageScrambleKey());
  return out_.WriteAll(copy.data(), count);
}

bool TPackageWriter::AddMemberAs(const std::string& name, const std::vector<uint8_t>& data, int32_t method) {
  if (failed_) return false;
  int64_t pos = out_.Position();
  std::vector<uint8_t> packed;
  const std::vector<uint8_t>* bytes = &data;
  if (method == kMethodDeflated) {
    if (!DeflateRaw(data.data(), data.size(), packed)) return false;
    bytes = &packed;
  }
  bool ok = method == kMethodScrambled
                ? WriteScrambled(bytes->data(), static_cast<int64_t>(bytes->size()), 0)
                : out_.WriteAll(bytes->data(), static_cast<int64_t>(bytes->size()));
  if (!ok) return failed_ = true, false;
  return Record(name, pos, static_cast<int64_t>(bytes->size()), method, static_cast<int64_t>(data.size()));
}

bool TPackageWriter::AddMember(const std::string& name, const std::vector<uint8_t>& data, int32_t* method) {
  int32_t m = options_.scramble ? kMethodScrambled : kMethodStored;
  if (!options_.store_all && !data.empty()) {
    std::vector<uint8_t> packed;
    if (DeflateRaw(data.data(), data.size(), packed) && packed.size() < data.size() &&
        InflateWithinLimits(static_cast<int64_t>(packed.size()), static_cast<int64_t>(data.size())))
      m = kMethodDeflated;
  }
  if (method) *method = m;
  return AddMemberAs(name, data, m);
}

bool TPackageWriter::AddFile(const std::string& name, const std::string& path, int32_t* method) {
  if (failed_) return false;
  auto file = TFileStream::Open(path, TFileMode::Read);
  if (!file) return false;
  const int64_t size = file->Size();
  const int64_t pos = out_.Position();
  std::vector<uint8_t> in(1 << 20), zout(1 << 20);

  if (!options_.store_all && size > 0) {
    // Deflate while writing; fall back to plain storage when that is not smaller.
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    bool ok = true;
    int64_t written = 0, consumed = 0;
    int flush = Z_NO_FLUSH;
    while (ok && written < size) {
      if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
        int64_t n = file->Read(in.data(), static_cast<int64_t>(in.size()));
        if (n < 0) { ok = false; break; }
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(n);
        consumed += n;
        if (n == 0) flush = Z_FINISH;
      }
      z.next_out = zout.data();
      z.avail_out = static_cast<uInt>(zout.size());
      int ret = deflate(&z, flush);
      int64_t produced = static_cast<int64_t>(zout.size() - z.avail_out);
      if (produced && !out_.WriteAll(zout.data(), produced)) ok = false;
      written += produced;
      if (ret == Z_STREAM_END) break;
      if (ret != Z_OK && ret != Z_BUF_ERROR) ok = false;
    }
    deflateEnd(&z);
    // Readers refuse data that inflates too far: such a file is stored as it is.
    if (ok && written < size && InflateWithinLimits(written, consumed)) {
      if (method) *method = kMethodDeflated;
      return Record(name, pos, written, kMethodDeflated, consumed);
    }
    if (out_.Seek(pos, TSeekOrigin::Begin) != pos || !file->SetPosition(0)) return failed_ = true, false;
  }

  const int32_t m = options_.scramble ? kMethodScrambled : kMethodStored;
  int64_t done = 0;
  while (done < size) {
    int64_t n = file->Read(in.data(), std::min<int64_t>(static_cast<int64_t>(in.size()), size - done));
    if (n <= 0) return failed_ = true, false;
    bool ok = m == kMethodScrambled ? WriteScrambled(in.data(), n, done) : out_.WriteAll(in.data(), n);
    if (!ok) return failed_ = true, false;
    done += n;
  }
  if (method) *method = m;
  return Record(name, pos, size, m, -1);
}

bool TPackageWriter::Finish(bool appended) {
  if (failed_) return false;
  table_pos_ = out_.Position();
  if (table_pos_ < 0) return false;
  const WideString prot = W(kProtectionSection);
  // Keep values a caller already put there (tests write moved or damaged tables).
  const TIniSection* ps = table_->FindSection(prot);
  if (!ps || !ps->FindKey(u"strucpos")) table_->WriteString(prot, u"strucpos", W(std::to_string(table_pos_)));
  if (!ps || !ps->FindKey(u"allowmodify")) table_->WriteString(prot, u"allowmodify", options_.allow_modify ? u"1" : u"0");
  if (!ps || !ps->FindKey(u"zemversion")) table_->WriteString(prot, u"zemversion", W(options_.zem_version));

  TMemoryStream text;
  if (!table_->SaveToStream(text)) return false;
  // Readers refuse a larger table (it is parsed whole): such a package is not written.
  int64_t lines = 1;
  for (uint8_t c : text.Data()) lines += c == '\n';
  if (text.Size() > kMaxTableSize || lines > kMaxTableLines) return false;
  std::vector<uint8_t> packed;
  if (!DeflateRaw(text.Data().data(), text.Data().size(), packed)) return false;
  if (!out_.WriteAll(packed.data(), static_cast<int64_t>(packed.size()))) return false;
  uint8_t trailer[20];
  PutLE64(trailer, table_pos_ - start_);
  std::copy(kPackageMarker, kPackageMarker + 4, trailer + 8);
  int64_t trailer_size = 12;
  int64_t end = table_pos_ + static_cast<int64_t>(packed.size()) + 12;
  if (appended) {
    PutLE64(trailer + 12, end - start_);
    trailer_size = 20;
  }
  if (!out_.WriteAll(trailer, trailer_size)) return false;
  // Earlier writes may have reached further (a member rewritten as plain data).
  int64_t final_size = out_.Position();
  if (out_.Size() > final_size) out_.SetSize(final_size);
  return true;
}

// --- projects ---

namespace {

// Names that cannot be stored as table sections or would not read back the same.
bool NameStorable(const std::string& name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == '\t' || name.back() == '\t')
    return false;
  for (unsigned char c : name)
    if (c < 32 || c == '<' || c == '>') return false;
  return true;
}

}  // namespace

bool PackProject(const std::string& script_path, TStream& out, const TPackOptions& options, bool appended,
                 const std::string& exe_file_name, TPackProjectResult& result) {
  namespace fs = std::filesystem;
  TIniFile script;
  if (!script.LoadFromFile(script_path)) {
    result.error = "cannot read the project script " + script_path;
    return false;
  }
  TPackOptions opts = options;
  opts.zem_version = WideToUtf8(script.ReadString(u"Main", u"ZemVersion", u""));
  std::vector<uint8_t> script_bytes;
  if (WideToUtf8(script.ReadString(u"Main", u"opt_exefn", u"")).empty() && !exe_file_name.empty()) {
    script.WriteString(u"Main", u"opt_exefn", Utf8ToWide(exe_file_name));
    TMemoryStream m;
    if (!script.SaveToStream(m)) {
      result.error = "cannot write the project script";
      return false;
    }
    script_bytes = std::move(m.Data());
  } else if (!ReadFileBytes(script_path, script_bytes)) {
    result.error = "cannot read the project script " + script_path;
    return false;
  }

  TPackageWriter writer(out, opts);
  int32_t method = 0;
  if (!writer.AddMember(kProjectScriptName, script_bytes, &method)) {
    result.error = "write error";
    return false;
  }
  result.names.push_back(kProjectScriptName);
  result.methods.push_back(method);

  std::error_code ec;
  fs::path root = fs::path(script_path).parent_path();
  if (root.empty()) root = ".";
  fs::path script_abs = fs::weakly_canonical(script_path, ec);
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) {
    result.error = "cannot list " + root.string() + ": " + ec.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  // The output file may lie inside the project folder: it is never packed into itself.
  fs::path out_abs;
  if (auto* fstream = dynamic_cast<TFileStream*>(&out)) out_abs = fs::weakly_canonical(fstream->Path(), ec);
  for (const fs::path& f : files) {
    fs::path abs = fs::weakly_canonical(f, ec);
    if (abs == script_abs || (!out_abs.empty() && abs == out_abs)) continue;
    std::string rel = fs::relative(f, root, ec).generic_string();
    std::string name = rel;
    std::replace(name.begin(), name.end(), '/', '\\');
    if (!NameStorable(name) || SameTextNoCase(Utf8ToWide(name), u"Project.zem")) {
      result.skipped.push_back(rel);
      continue;
    }
    if (!writer.AddFile(name, f.string(), &method)) {
      result.error = "cannot pack " + f.string() + " (unreadable, write error, or beyond 2 GiB)";
      return false;
    }
    result.names.push_back(name);
    result.methods.push_back(method);
  }
  std::set<WideString> packed;
  for (const std::string& n : result.names) packed.insert(LowerCase(Utf8ToWide(n)));
  for (const auto& [name, data] : options.extra_members) {
    if (!packed.insert(LowerCase(Utf8ToWide(name))).second) continue;
    if (!writer.AddMember(name, data, &method)) {
      result.error = "write error";
      return false;
    }
    result.names.push_back(name);
    result.methods.push_back(method);
  }
  if (!writer.Finish(appended)) {
    result.error = "write error";
    return false;
  }
  return true;
}

}  // namespace zem
