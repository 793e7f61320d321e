// The process log: silent unless the command line asks for it. Any thread may write; writing
// never fails visibly. Lines are UTF-8 text.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"

namespace zem {

class TLog : public TObj {
 public:
  using TOutput = std::function<void(const std::string&)>;

  TLog() = default;
  // Hands one finished line to the output; TLog itself discards it.
  virtual void Output(const std::string& line);
  // Builds prefix + text and passes it to the output routine.
  virtual void WriteLine(const std::string& text);

  void SetPrefix(std::string prefix) { prefix_ = std::move(prefix); }
  const std::string& Prefix() const { return prefix_; }
  // Redirects finished lines (empty: back to this log's own Output).
  void SetOutputRoutine(TOutput routine) { routine_ = std::move(routine); }

  // Formatting helpers: leading text, value, trailing text, one line each.
  void WriteInt(const std::string& lead, int64_t value, const std::string& trail = "");
  void WriteFloat(const std::string& lead, double value, const std::string& trail = "");
  void WriteFloats(const std::string& lead, const std::vector<double>& values, const std::string& trail = "");
  void WriteBool(const std::string& lead, bool value, const std::string& trail = "");
  void WriteIntPairs(const std::string& lead, const std::vector<std::pair<int64_t, int64_t>>& pairs,
                     const std::string& trail = "");
  // Milliseconds of the log clock elapsed since `since` (a TimeGetTime value).
  void WriteElapsed(const std::string& lead, uint32_t since, const std::string& trail = "");

  void WriteRunHeader();
  void WriteRunFooter();

 private:
  std::string prefix_;
  TOutput routine_;
};

// Writes to standard error (the stand-in for the debugger channel); the C library serialises
// concurrent writes of one line.
class TStdLog : public TLog {
 public:
  void Output(const std::string& line) override;
};

// Serialises whole lines from several threads.
class TExclLog : public TLog {
 public:
  void WriteLine(const std::string& text) override;

 private:
  std::recursive_mutex lock_;
};

// Writes UTF-8 lines ending in CR LF to a stream; an empty stream first gets the byte-order mark.
class TStreamLog : public TExclLog {
 public:
  explicit TStreamLog(std::unique_ptr<TStream> stream = nullptr) : stream_(std::move(stream)) {}
  ~TStreamLog() override { CloseStream(); }
  void Output(const std::string& line) override;
  virtual void CloseStream();
  bool HasStream() const { return stream_ != nullptr; }

 protected:
  void SetStream(std::unique_ptr<TStream> stream) { stream_ = std::move(stream); }

 private:
  std::unique_ptr<TStream> stream_;
};

// The file log of the "filelog" switch. An empty name means the program's own path with the
// extension ".log". A file that cannot be opened leaves the log silent.
class TFileLog : public TStreamLog {
 public:
  TFileLog(const std::string& file_name, bool append);
  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
};

// The current log. Installing replaces (and frees) the previous one; nullptr installs a fresh
// discarding log. Install only during start-up, before other threads run.
void InstallLog(std::unique_ptr<TLog> log);
TLog& CurrentLog();
void LogLine(const std::string& text);

// A name as log lines and messages show it: at most `max_chars` characters (UTF-8 code points);
// a longer one keeps its start and end around "..." (names in scripts can be megabytes long).
std::string CapName(std::string_view name, size_t max_chars = 160);
// The line for a picture, sound or video file that cannot be opened or decoded (any thread):
// `<kind> "<name, capped>" cannot be used: <reason>`, kind being "Picture", "Sound" or "Video".
void LogMediaFailure(std::string_view kind, std::string_view name, std::string_view reason);

// Date and time as the header writes them: "DD.MM.YYYY hh:mm:ss.zzz" (local time).
std::string LogDateTime();
// A float in general format: up to 15 significant digits, exponent as "E-5".
std::string FormatFloat(double value);

}  // namespace zem
