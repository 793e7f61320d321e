// The line parser and the loading entry points of TIniFile.
#include <optional>
#include <vector>

#include "foundation/assert.h"
#include "script/ini_arena.h"
#include "script/ini_file.h"
#include "script/ini_reader.h"

namespace zem {

// Builds the items of a storage from its lines, one line at a time. With an arena (large
// inputs) the items and their texts go to the load's shared chunks; otherwise each item and text
// is a heap block of its own, so that a small script does not hold a whole chunk.
class TIniParser {
 public:
  TIniParser(TIniFile& file, TIniArena* arena) : file_(file), current_(&file), arena_(arena) {}

  // Splits the text into lines (CR, LF, CR LF, LF CR) and parses each. False when the error
  // handler stopped the load.
  bool Run(TIniTextSource& source) {
    char16_t chunk[4096];
    WideString line;
    char16_t skip = 0;  // the second half of a two-character line end still to come
    while (size_t n = source.Read(chunk, 4096)) {
      size_t start = 0;
      for (size_t i = 0; i < n; ++i) {
        char16_t c = chunk[i];
        if (skip) {
          char16_t expect = skip;
          skip = 0;
          if (c == expect) {
            start = i + 1;
            continue;
          }
        }
        if (c == u'\r' || c == u'\n') {
          skip = c == u'\r' ? u'\n' : u'\r';
          if (line.empty()) {
            ParseLine(WideView(chunk + start, i - start));
          } else {
            line.append(chunk + start, i - start);
            ParseLine(line);
            line.clear();
          }
          start = i + 1;
          if (aborted_) return false;
        }
      }
      if (start < n) line.append(chunk + start, n - start);
    }
    // The last line needs no line end.
    if (!line.empty()) {
      ParseLine(line);
      if (aborted_) return false;
    }
    if (!stack_.empty()) Error(kIniErrorOpenBlocks, 1);
    return !aborted_;
  }

 private:
  static size_t SkipBlanks(WideView s, size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
  }

  // A new item: in the arena with the line's text there, or on the heap with its own copy.
  template <class T, class... Args>
  T* Make(WideView text, Args&&... args) {
    if (!arena_) return new T(WideString(text), std::forward<Args>(args)...);
    TIniChunkText shared{arena_->AddText(text), static_cast<uint32_t>(text.size())};
    T* item;
    try {
      item = new (*arena_) T(shared, std::forward<Args>(args)...);
    } catch (...) {
      IniReleaseText(shared.data, false);
      throw;
    }
    item->in_chunk_ = true;
    return item;
  }

  TCommonIniItem* MakeEmptyLine() {
    if (!arena_) return new TIniEmptyLine();
    TCommonIniItem* item = new (*arena_) TIniEmptyLine();
    item->in_chunk_ = true;
    return item;
  }

  void ParseLine(WideView s) {
    size_t n = s.size();
    size_t p = SkipBlanks(s, 0);
    if (p == n) {
      Attach(MakeEmptyLine());
    } else if (s[p] == u';') {
      Attach(Make<TIniComment>(s, static_cast<int32_t>(p + 1)));
    } else if (s[p] == u'=') {
      Attach(Make<TIniTextLine>(s));
    } else if (s[p] == u'[') {
      ParseSection(s, p);
    } else {
      ParseWord(s, p);
    }
    ++line_no_;
  }

  void ParseSection(WideView s, size_t p) {
    size_t q = SkipBlanks(s, p + 1);
    size_t r = q < s.size() ? s.find(u']', q + 1) : WideView::npos;
    if (q >= s.size() || r == WideView::npos) {
      Attach(Make<TIniTextLine>(s));
      return;
    }
    size_t e = r;  // one past the name's last non-blank
    while (e > q && IsBlank(s[e - 1])) --e;
    auto* section = Make<TIniSection>(s, static_cast<int32_t>(q + 1), static_cast<int32_t>(e - q));
    section->SetOwner(&file_);
    current_ = section;
  }

  void ParseWord(WideView s, size_t p) {
    size_t n = s.size();
    size_t w_end = p;
    while (w_end < n && !IsBlank(s[w_end])) ++w_end;
    WideView word = s.substr(p, w_end - p);
    size_t after = SkipBlanks(s, w_end);
    bool key = word.find(u'=', 1) != WideView::npos || (after < n && s[after] == u'=');
    if (key) {
      size_t eq = s.find(u'=', p + 1);
      size_t e = eq;
      while (e > p && IsBlank(s[e - 1])) --e;
      size_t v = SkipBlanks(s, eq + 1);
      auto* ident = Make<TIniIdent>(s, static_cast<int32_t>(p + 1), static_cast<int32_t>(e - p),
                                    static_cast<int32_t>(v + 1));
      // What TIniIdent::SetOwner does, without asking the owner's type for every key.
      current_->AddChild(ident);
      current_->IndexKey(ident);
      return;
    }
    if (word == u"object") {
      OpenBlock(s, p, w_end, after, nullptr);
      return;
    }
    if (word == u"end") {
      if (dynamic_cast<TIniObject*>(current_) && !stack_.empty()) {
        Make<TIniTextLine>(s)->SetOwner(current_);
        current_ = stack_.back();
        stack_.pop_back();
      } else {
        Error(kIniErrorEndOutsideBlock, static_cast<int>(p + 1));
      }
      return;
    }
    if (file_.keyword_hook_ && file_.keyword_hook_(word)) {
      WideString keyword(word);
      OpenBlock(s, p, w_end, after, &keyword);
      return;
    }
    Error(kIniErrorBadLine, static_cast<int>(p + 1));
  }

  // "object name: value" (or a hooked keyword): the block becomes the current collection.
  void OpenBlock(WideView s, size_t p, size_t w_end, size_t after, WideString* keyword) {
    size_t colon = s.rfind(u':');
    bool has_colon = colon != WideView::npos && colon >= w_end;
    size_t name_start, name_len, value_start;
    if (has_colon) {
      size_t e = colon;
      while (e > after && IsBlank(s[e - 1])) --e;
      name_start = after < colon ? after : colon;
      name_len = after < colon ? e - after : 0;
      value_start = SkipBlanks(s, colon + 1);
    } else {
      name_start = after;
      name_len = 0;
      value_start = after;
    }
    TIniObject* block;
    if (keyword && !arena_) {
      block = new TIniExtraObject(std::move(*keyword), WideString(s), static_cast<int32_t>(name_start + 1),
                                  static_cast<int32_t>(name_len), static_cast<int32_t>(value_start + 1),
                                  static_cast<int32_t>(p), has_colon);
    } else if (keyword) {
      TIniChunkText shared{arena_->AddText(s), static_cast<uint32_t>(s.size())};
      try {
        block = new (*arena_) TIniExtraObject(std::move(*keyword), shared, static_cast<int32_t>(name_start + 1),
                                              static_cast<int32_t>(name_len), static_cast<int32_t>(value_start + 1),
                                              static_cast<int32_t>(p), has_colon);
      } catch (...) {
        IniReleaseText(shared.data, false);
        throw;
      }
      block->in_chunk_ = true;
    } else {
      block = Make<TIniObject>(s, static_cast<int32_t>(name_start + 1), static_cast<int32_t>(name_len),
                               static_cast<int32_t>(value_start + 1), static_cast<int32_t>(p), has_colon);
    }
    block->SetOwner(current_);
    stack_.push_back(current_);
    current_ = block;
  }

  void Attach(TCommonIniItem* item) { item->SetOwner(current_); }

  // Reports a parse error; the line causing it is not stored.
  void Error(int code, int position) {
    if (!file_.error_handler_) return;
    try {
      file_.error_handler_(file_, code, line_no_, position);
    } catch (const EIniParseError& e) {
      aborted_ = true;
      try {
        file_.error_handler_(file_, e.Code(), line_no_, position);
      } catch (const EIniParseError&) {
      }
    }
  }

  TIniFile& file_;
  TIniIdentList* current_;
  TIniArena* arena_;
  std::vector<TIniIdentList*> stack_;  // enclosing collections of the open blocks
  int line_no_ = 0;
  bool aborted_ = false;
};

bool TIniFile::Parse(TIniTextSource& source, bool large) {
  std::optional<TIniArena> arena;
  if (large) arena.emplace();
  TIniParser parser(*this, arena ? &*arena : nullptr);
  return parser.Run(source);
}

bool TIniFile::LoadFromStream(TStream& stream) {
  Clear();
  load_result_ = false;
  int64_t size = stream.Size() - stream.Position();
  auto source = OpenIniTextSource(stream, encoding_);
  load_result_ = Parse(*source, size >= kIniArenaInput);
  return load_result_;
}

bool TIniFile::LoadFromBytes(const void* data, size_t size) {
  TBufferStream stream(data, static_cast<int64_t>(size));
  try {
    return LoadFromStream(stream);
  } catch (const EInvalidChar&) {
    return false;
  }
}

bool TIniFile::LoadFromFile(const std::string& path) {
  auto stream = TFileStream::Open(path, TFileMode::Read);
  if (!stream) return false;
  try {
    if (!LoadFromStream(*stream)) return false;
  } catch (const EInvalidChar&) {
    return false;
  }
  file_name_ = path;
  return true;
}

bool TIniFile::LoadFromText(WideView text) {
  Clear();
  encoding_ = TIniEncoding::Utf16LE;
  auto source = WideIniTextSource(text);
  load_result_ = Parse(*source, text.size() * 2 >= kIniArenaInput);
  return load_result_;
}

}  // namespace zem
