#include "foundation/log.h"

#include <sys/time.h>

#include <cmath>
#include <cstdio>
#include <ctime>

#include "foundation/clock.h"
#include "foundation/process.h"

namespace zem {

void TLog::Output(const std::string&) {}

void TLog::WriteLine(const std::string& text) {
  std::string line = prefix_ + text;
  if (routine_) routine_(line);
  else Output(line);
}

std::string FormatFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s(buf);
  auto e = s.find('E');
  if (e == std::string::npos) return s;
  std::string mant = s.substr(0, e), exp = s.substr(e + 1);
  bool neg = !exp.empty() && exp[0] == '-';
  size_t i = (!exp.empty() && (exp[0] == '-' || exp[0] == '+')) ? 1 : 0;
  while (i + 1 < exp.size() && exp[i] == '0') ++i;
  return mant + "E" + (neg ? "-" : "") + exp.substr(i);
}

void TLog::WriteInt(const std::string& lead, int64_t value, const std::string& trail) {
  WriteLine(lead + std::to_string(value) + trail);
}

void TLog::WriteFloat(const std::string& lead, double value, const std::string& trail) {
  WriteLine(lead + FormatFloat(value) + trail);
}

void TLog::WriteFloats(const std::string& lead, const std::vector<double>& values, const std::string& trail) {
  std::string s;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) s += ", ";
    s += FormatFloat(values[i]);
  }
  WriteLine(lead + s + trail);
}

void TLog::WriteBool(const std::string& lead, bool value, const std::string& trail) {
  WriteLine(lead + (value ? "True" : "False") + trail);
}

void TLog::WriteIntPairs(const std::string& lead, const std::vector<std::pair<int64_t, int64_t>>& pairs,
                         const std::string& trail) {
  std::string s;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i) s += ", ";
    s += std::to_string(pairs[i].first) + ", " + std::to_string(pairs[i].second);
  }
  WriteLine(lead + s + trail);
}

void TLog::WriteElapsed(const std::string& lead, uint32_t since, const std::string& trail) {
  WriteLine(lead + std::to_string(static_cast<uint32_t>(TimeGetTime() - since)) + trail);
}

std::string LogDateTime() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tm;
  time_t t = tv.tv_sec;
  localtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d.%03d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

void TLog::WriteRunHeader() {
  WriteLine("");
  WriteLine(std::string(64, '='));
  WriteLine("Program : " + OwnExecutablePath());
  WriteLine("started : " + LogDateTime());
  WriteLine(std::string(64, '='));
}

void TLog::WriteRunFooter() {
  WriteLine("");
  WriteLine(std::string(64, '-'));
  WriteLine("Program stoped : " + LogDateTime() + " (work time : " + std::to_string(TimeGetTime()) + " ms)");
  WriteLine(std::string(64, '-'));
}

void TStdLog::Output(const std::string& line) {
  std::string l = line + "\n";
  std::fwrite(l.data(), 1, l.size(), stderr);
}

void TExclLog::WriteLine(const std::string& text) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  TLog::WriteLine(text);
}

void TStreamLog::Output(const std::string& line) {
  if (!stream_) return;
  if (stream_->Size() == 0) {
    static const uint8_t kBom[3] = {0xEF, 0xBB, 0xBF};
    stream_->Write(kBom, 3);
  }
  std::string l = line + "\r\n";
  stream_->Write(l.data(), static_cast<int64_t>(l.size()));
}

void TStreamLog::CloseStream() { stream_.reset(); }

static std::string DefaultLogName() {
  std::string p = OwnExecutablePath();
  auto slash = p.rfind('/');
  auto dot = p.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) p.erase(dot);
  return p + ".log";
}

TFileLog::TFileLog(const std::string& file_name, bool append)
    : file_name_(file_name.empty() ? DefaultLogName() : file_name) {
  auto s = TFileStream::Open(file_name_, TFileMode::OpenOrCreate);
  if (!s) return;
  if (append) s->Seek(0, TSeekOrigin::End);
  else s->SetSize(0);
  SetStream(std::move(s));
}

namespace {
std::unique_ptr<TLog>& Current() {
  static std::unique_ptr<TLog> log = std::make_unique<TLog>();
  return log;
}
}  // namespace

void InstallLog(std::unique_ptr<TLog> log) {
  auto& cur = Current();
  if (log && log.get() == cur.get()) { log.release(); return; }
  cur = log ? std::move(log) : std::make_unique<TLog>();
}

TLog& CurrentLog() { return *Current(); }

void LogLine(const std::string& text) { CurrentLog().WriteLine(text); }

std::string CapName(std::string_view name, size_t max_chars) {
  // Code points are counted by their first bytes (not UTF-8 continuation bytes).
  const auto first = [&](size_t i) { return (static_cast<uint8_t>(name[i]) & 0xC0) != 0x80; };
  size_t count = 0;
  for (size_t i = 0; i < name.size(); ++i) count += first(i);
  if (count <= max_chars) return std::string(name);
  // Byte offset where code point n begins, counting from the front or from the back.
  const auto from_front = [&](size_t n) {
    size_t i = 0;
    for (size_t seen = 0; i < name.size(); ++i)
      if (first(i) && seen++ == n) break;
    return i;
  };
  const auto from_back = [&](size_t n) {
    size_t i = name.size();
    for (size_t seen = 0; i > 0 && seen < n;)
      if (first(--i)) ++seen;
    return i;
  };
  if (max_chars < 5) return std::string(name.substr(0, from_front(max_chars)));
  const size_t keep = max_chars - 3, head = (keep + 1) / 2;
  return std::string(name.substr(0, from_front(head))) + "..." + std::string(name.substr(from_back(keep - head)));
}

void LogMediaFailure(std::string_view kind, std::string_view name, std::string_view reason) {
  LogLine(std::string(kind) + " \"" + CapName(name) + "\" cannot be used: " + std::string(reason));
}

}  // namespace zem
