// The command line: every token in order (the argument list) and the switches with their values
// (`TCommandsStorage`). The same tokenizer parses the command texts of the run-presentation
// actions.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zem {

// One value of a switch.
class TCommandItem {
 public:
  explicit TCommandItem(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }
  // Decimal, or hexadecimal after "$" or "0x"; an unparsable text gives the default.
  int32_t AsInteger(int32_t def) const;

 private:
  std::string text_;
};

// A switch and its values in command-line order.
class TCommand {
 public:
  explicit TCommand(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }
  const std::vector<TCommandItem>& Items() const { return items_; }
  void Add(std::string value) { items_.emplace_back(std::move(value)); }
  const TCommandItem* First() const { return items_.empty() ? nullptr : &items_.front(); }

 private:
  std::string name_;
  std::vector<TCommandItem> items_;
};

// Switches keyed by lower-case name in a hash list of 251 buckets.
class TCommandsStorage {
 public:
  static constexpr size_t kBuckets = 251;
  TCommandsStorage();
  ~TCommandsStorage();
  TCommandsStorage(TCommandsStorage&&) noexcept;
  TCommandsStorage& operator=(TCommandsStorage&&) noexcept;

  // The switch of that name (matched without case), created when new.
  TCommand& GetOrAdd(std::string_view name);
  const TCommand* Find(std::string_view name) const;
  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  // The first value of a switch, or `def` when the switch or its value is missing.
  std::string FirstValue(std::string_view name, const std::string& def = std::string()) const;
  bool HasValue(std::string_view name) const;
  int32_t FirstInteger(std::string_view name, int32_t def) const;
  size_t Count() const { return count_; }
  void Clear();

 private:
  std::vector<std::vector<std::unique_ptr<TCommand>>> buckets_;
  size_t count_ = 0;
};

// Splits a command text into tokens: blanks (codes up to 32) separate tokens outside double
// quotes; then one leading and one trailing quote, and every other quote, are removed.
std::vector<std::string> TokenizeCommandText(std::string_view text);
// Removes the quotes of one token as the tokenizer does.
std::string StripTokenQuotes(std::string_view token);

// The parsed command line.
class TCommandLine {
 public:
  // Adds one token: it goes to the argument list; "-name" starts a switch, anything else is a
  // value of the current switch (the empty name before the first switch).
  void AddToken(const std::string& token);
  // Tokenizes a whole command text and adds its tokens.
  void ParseText(std::string_view text);
  // The process arguments: each is already one token (the shell removed the quotes).
  void ParseArgv(int argc, const char* const* argv);

  const std::vector<std::string>& Args() const { return args_; }
  // Exact, case-sensitive test of the argument list ("-startup", "/s").
  bool HasArg(std::string_view exact) const;
  const TCommandsStorage& Commands() const { return commands_; }

 private:
  std::vector<std::string> args_;
  TCommandsStorage commands_;
  std::string current_;
};

}  // namespace zem
