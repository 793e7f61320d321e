// The sectioned text format of every configuration text (show script, package file table,
// themes, music descriptions, texts built for dialogs) and its lossless in-memory storage.
//
// Every input line becomes one item, in input order and with its exact text; values are parsed
// on demand from that text, and writing the storage back reproduces the input (CR LF line ends,
// UTF-8 with a byte-order mark). Positions inside a line are 1-based character indexes; all text
// is UTF-16. Section and key names are compared without case.
//
// Ownership: a collection owns its children (freeing an item detaches it first; freeing a
// collection frees its children); the storage owns everything. A storage is not synchronised:
// one thread at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "foundation/strings.h"

namespace zem {

class TIniCollection;
class TIniIdentList;
class TIniIdent;
class TIniSection;
class TIniObject;
class TIniStorage;
class TIniFile;
class TIniArena;
class TIniParser;
class TIniTextSource;

// A line text placed by a load in its shared chunks (see script/ini_arena.h): the item built with
// it takes over the one count the load took for it.
struct TIniChunkText {
  const char16_t* data;
  uint32_t size;
};

// Parse error codes handed to the error handler.
constexpr int kIniErrorEndOutsideBlock = 0;  // "end" without an open object
constexpr int kIniErrorOpenBlocks = 1;       // blocks still open at the end of the input
constexpr int kIniErrorBadLine = 2;          // neither blank, comment, text, section, key nor block

constexpr int kIniKeyBuckets = 251;
constexpr int kIniSectionBuckets = 9973;

// Raised by an error handler to stop a load.
class EIniParseError : public std::runtime_error {
 public:
  explicit EIniParseError(int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// A byte sequence that is not valid in the text encoding (reading UTF-8), or a high surrogate
// not followed by a low one (writing).
class EInvalidChar : public std::runtime_error {
 public:
  explicit EInvalidChar(const std::string& what) : std::runtime_error(what) {}
};

// Receives the lines of a storage being written, without line ends.
class TIniLineSink {
 public:
  virtual ~TIniLineSink() = default;
  virtual void WriteLine(WideView line) = 0;
};

// Name hash of both indexes: ELF hash over the low byte of each code unit of the lower-case name.
uint32_t IniNameHash(WideView lower_name);

// Value syntaxes of the typed readers, usable on any text. Each returns false (out unchanged)
// when the text does not parse.
// Optional blanks, optional sign, decimal digits or hex digits after "$", "x", "X", "0x", "0X";
// nothing after; 32-bit signed range.
bool TryParseIniInteger(WideView text, int32_t& out);
// Optional "-" directly followed by a digit, decimal digits, trailing control characters ignored.
bool TryParseIniDecimal(WideView text, int32_t& out);
// Optional blanks, optional sign, digits with "." whatever the locale, optional exponent.
bool TryParseIniFloat(WideView text, double& out);

struct TIniRGB {
  uint8_t blue = 0, green = 0, red = 0;  // memory order blue, green, red
  bool operator==(const TIniRGB&) const = default;
};
struct TIniPoint {
  int32_t x = 0, y = 0;
  bool operator==(const TIniPoint&) const = default;
};
struct TIniFloatPoint {
  float x = 0, y = 0;
  bool operator==(const TIniFloatPoint&) const = default;
};
struct TIniVector {
  float x = 0, y = 0, z = 0;
  bool operator==(const TIniVector&) const = default;
};
struct TIniFloatRect {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TIniFloatRect&) const = default;
};

// ---------------------------------------------------------------------------------------------
// Items

class TCommonIniItem : public TObj {
 public:
  // Detaches from the owner first.
  ~TCommonIniItem() override;
  virtual void AddChild(TCommonIniItem* item);
  virtual void RemoveChild(TCommonIniItem* item);
  virtual void Write(TIniLineSink& sink) const = 0;
  // Detaches from the old owner (if any) and appends at the end of the new one (if any).
  virtual void SetOwner(TIniCollection* owner);
  // A copy attached at the end of `owner` (owned by it); with no owner the caller owns the copy.
  virtual TCommonIniItem* Clone(TIniCollection* owner) const = 0;

  // Frees the item (detaching it from its owner and index).
  void Free() { delete this; }

  // Items are on the heap, or in the shared chunks of a load (placed by the parser).
  static void* operator new(size_t size) { return ::operator new(size); }
  static void* operator new(size_t size, TIniArena& arena);
  static void operator delete(void* p) { ::operator delete(p); }
  static void operator delete(void* p, TIniArena& arena);
  static void operator delete(TCommonIniItem* item, std::destroying_delete_t);

  TIniCollection* Owner() const { return owner_; }
  TCommonIniItem* Prev() const { return prev_; }
  TCommonIniItem* Next() const { return next_; }
  virtual bool IsCollection() const { return false; }

 protected:
  TCommonIniItem() = default;

 private:
  friend class TIniCollection;
  friend class TIniIdentList;
  friend class TIniParser;
  friend class TIniIdent;
  friend class TIniStorage;
  TIniCollection* owner_ = nullptr;
  TCommonIniItem* prev_ = nullptr;
  TCommonIniItem* next_ = nullptr;

 protected:
  // Fields of the derived classes, kept here where they fill the base's padding.
  bool is_key_ : 1 = false;      // a TIniIdent (key scans skip the other children cheaply)
  bool text_owned_ : 1 = false;  // the line or header text is an owned heap copy (else a chunk's)
  bool colon_ : 1 = false;       // an object's header has a ":"
  bool wide_ : 1 = false;        // the name and value positions did not fit 16 bits (kept aside)
  bool in_chunk_ : 1 = false;    // the item's memory is in a load's chunk
  bool indexed_ : 1 = false;     // a key in a key index (see TIniIdent::IndexedIn)
  bool is_section_ : 1 = false;  // a TIniSection
  uint16_t small_ = 0;           // the name start of a key, section or object
};

// A blank line.
class TIniEmptyLine : public TCommonIniItem {
 public:
  TIniEmptyLine() = default;
  void AddChild(TCommonIniItem* item) override;     // program error
  void RemoveChild(TCommonIniItem* item) override;  // program error
  void Write(TIniLineSink& sink) const override;
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  // The stored line (empty for a blank line).
  virtual WideView Text() const { return {}; }
};

// A line kept verbatim (unrecognised text, "=" lines, the "end" line of a block).
class TIniTextLine : public TIniEmptyLine {
 public:
  explicit TIniTextLine(WideString text) : TIniTextLine(WideView(text)) {}
  explicit TIniTextLine(TIniChunkText text) : text_len_(text.size), text_(text.data) {}
  ~TIniTextLine() override;
  void Write(TIniLineSink& sink) const override;
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  WideView Text() const override { return WideView(text_, text_len_); }

 protected:
  // An owned copy of `text`.
  explicit TIniTextLine(WideView text);
  // Replaces the text with an owned copy of `text` (which may lie in the old one).
  void SetText(WideView text);

 private:
  uint32_t text_len_ = 0;
  const char16_t* text_ = nullptr;
};

// A line whose first non-blank character is ";".
class TIniComment : public TIniTextLine {
 public:
  TIniComment(WideString text, int32_t semicolon_pos) : TIniTextLine(WideView(text)), semicolon_pos_(semicolon_pos) {}
  TIniComment(TIniChunkText text, int32_t semicolon_pos) : TIniTextLine(text), semicolon_pos_(semicolon_pos) {}
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  int32_t SemicolonPos() const { return semicolon_pos_; }  // 1-based

 private:
  int32_t semicolon_pos_;
};

// A key line "name = value".
class TIniIdent : public TIniTextLine {
 public:
  // Positions are 1-based; value_start may lie beyond the line (empty value).
  TIniIdent(WideString text, int32_t name_start, int32_t name_len, int32_t value_start);
  TIniIdent(TIniChunkText text, int32_t name_start, int32_t name_len, int32_t value_start);
  ~TIniIdent() override;
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  // Also enters the key into the new owner's key index.
  void SetOwner(TIniCollection* owner) override;
  virtual WideString GetName() const;

  WideString Name() const { return GetName(); }
  WideView NameView() const;
  // From the value start to the line end, trailing blanks removed.
  WideString Value() const { return WideString(ValueView()); }
  WideView ValueView() const;
  // Cuts the line at the value start and appends `value`.
  void SetValue(WideView value);

  int32_t NameStart() const { return wide_ ? WidePosition(0) : small_; }
  int32_t NameLength() const { return wide_ ? WidePosition(1) : name_len_; }
  int32_t ValueStart() const { return wide_ ? WidePosition(2) : value_start_; }
  uint32_t Hash() const { return hash_; }

 private:
  friend class TIniIdentList;
  friend class TIniSection;
  friend class TIniStorage;
  void Init(int32_t name_start, int32_t name_len, int32_t value_start);
  // Positions of a key whose line is too long for the 16-bit fields (a table aside, by address).
  int32_t WidePosition(int i) const;
  // The name's lower-case form is not kept (large shows have millions of keys): lookups compare
  // the name in the text ignoring case, after the hash. The name start is the base's small_.
  uint16_t name_len_ = 0, value_start_ = 0;
  uint32_t hash_ = 0;
  // Whose key index holds this key: none, or the owner's, or (the owner being a later section
  // of a repeated name) the first same-name section's.
  TIniIdentList* IndexedIn() const;
};

// ---------------------------------------------------------------------------------------------
// Collections

class TIniCollection : public TCommonIniItem {
 public:
  // Clears first.
  ~TIniCollection() override;
  void AddChild(TCommonIniItem* item) override;     // append at the end
  void RemoveChild(TCommonIniItem* item) override;  // unlink (the item stays alive)
  // Writes every child in order (nested blocks without recursion).
  void Write(TIniLineSink& sink) const override;
  TCommonIniItem* Clone(TIniCollection* owner) const override = 0;
  // Frees all children.
  virtual void Clear();
  // Clear, then clone every child of `other` into this collection.
  virtual void Assign(const TIniCollection& other);

  TCommonIniItem* First() const { return first_; }
  TCommonIniItem* Last() const { return last_; }
  bool IsCollection() const override { return true; }
  // Inserts an unowned item before `before` (a child of this; nullptr appends). No indexing.
  void InsertChild(TCommonIniItem* item, TCommonIniItem* before);

 protected:
  // Unlinks every child (and drops index entries) into `out`; Clear frees them from there, so
  // deep trees are freed without recursion.
  virtual void DetachAllChildren(std::vector<TCommonIniItem*>& out);
  // The header line of a block (none for the storage).
  virtual void WriteHeader(TIniLineSink&) const {}
  // A copy of this collection without children, attached to `owner`.
  virtual TIniCollection* CloneEmpty(TIniCollection* owner) const = 0;
  // Clones `this` with its whole subtree into `owner`, without recursion.
  TIniCollection* CloneTree(TIniCollection* owner) const;

 protected:
  // Entries in the key index of a TIniIdentList (own keys and those of later same-name
  // sections); kept here where it fills the base's padding.
  int32_t indexed_count_ = 0;

 private:
  TCommonIniItem* first_ = nullptr;
  TCommonIniItem* last_ = nullptr;
};

// A collection with an index of its child keys: a few keys are found by a scan of the children,
// more are hashed into buckets (up to 251).
class TIniIdentList : public TIniCollection {
 public:
  ~TIniIdentList() override;
  void RemoveChild(TCommonIniItem* item) override;  // also drops a key's index entry
  // Enters a child key into the index (front of its bucket: the last key added is found).
  virtual void IndexKey(TIniIdent* key);
  // Finds the key or adds "<indent spaces>name=" after the last key line of the collection.
  virtual TIniIdent* GetOrAddKey(WideView name, int indentation);
  virtual TIniIdent* FindKey(WideView name) const;
  // GetOrAddKey with the collection's default indentation.
  virtual TIniIdent* GetOrAddKey(WideView name);
  // The nested blocks among the children, in order.
  virtual TIniObject* FirstObject() const;
  virtual TIniObject* NextObject(const TCommonIniItem* after) const;

  virtual int DefaultIndentation() const { return 0; }

 protected:
  friend class TIniIdent;
  friend class TIniSection;
  friend class TIniStorage;
  void UnindexKey(TIniIdent* key);
  TIniIdent* FindKeyLower(WideView lower, uint32_t hash) const;
  void DetachAllChildren(std::vector<TCommonIniItem*>& out) override;

 private:
  // Grows the index to `count` buckets (from the scanned keys the first time), keeping the
  // newest key of a name first in its bucket.
  void Rehash(int32_t count);
  // Up to kScanKeys own keys need no buckets: they are the child keys indexed here, and the last
  // of a name among them is the newest (keys are indexed when they join, and a key added in the
  // middle has a name not there yet). The buckets come with the next key, or with a key of
  // another collection (later sections of the same name), and then grow to kIniKeyBuckets once
  // they hold more than two keys each: the objects of a large show have a handful of keys each.
  static constexpr int32_t kScanKeys = 8;
  static constexpr int32_t kFirstKeyBuckets = 8;
  struct TKeyNode;     // a bucket entry
  struct TKeyBuckets;  // the buckets and their number
  // Frees the buckets and their entries (the keys are left as they are).
  void FreeBuckets();
  TKeyBuckets* buckets_ = nullptr;  // owned; none while the keys are found by a scan
};

// A section or object: a header line and children.
class TCommonIniSection : public TIniIdentList {
 public:
  virtual WideString GetName() const;
  virtual void SetName(WideView name);
  WideString Name() const { return GetName(); }
  WideView NameView() const;
  WideView HeaderText() const { return WideView(header_, header_len_); }
  int32_t NameStart() const { return wide_ ? WidePosition(0) : small_; }
  int32_t NameLength() const { return wide_ ? WidePosition(1) : name_len_; }

  // Key access by name.
  WideString ReadString(WideView name, WideView def) const;
  // Sets the value of an existing key (a missing key is a program error).
  void SetValue(WideView name, WideView value);

  // Typed readers: a missing key or a value that does not parse gives the default.
  int32_t ReadInteger(WideView name, int32_t def) const;
  // Plain decimal only (the value "$1" gives the default); an empty value gives the default.
  bool ReadBool(WideView name, bool def) const;
  double ReadFloat(WideView name, double def) const;
  // Index of the first choice equal to the value (exactly / ignoring case).
  int ReadChoice(WideView name, std::span<const WideView> choices, int def) const;
  int ReadChoice(WideView name, std::initializer_list<WideView> choices, int def) const;
  int ReadChoice(WideView name, const std::vector<WideString>& choices, int def) const;
  int ReadChoiceNoCase(WideView name, std::span<const WideView> choices, int def) const;
  int ReadChoiceNoCase(WideView name, std::initializer_list<WideView> choices, int def) const;
  int ReadChoiceNoCase(WideView name, const std::vector<WideString>& choices, int def) const;
  // Items separated by ","; returns the number of items in the value; stores up to `capacity`
  // of them in `out` (cleared first; capacity < 0: no limit). A missing key or an empty value
  // gives 0.
  int ReadStrings(WideView name, std::vector<WideString>& out, int capacity = -1) const;
  // As ReadStrings; at the first bad item i (0-based) the result is -(i + 1), with the items
  // before it stored.
  int ReadIntegers(WideView name, std::vector<int32_t>& out, int capacity = -1) const;
  int ReadFloats(WideView name, std::vector<double>& out, int capacity = -1) const;
  // Exactly three integers red, green, blue, each clamped to 0..255.
  TIniRGB ReadRGB(WideView name, TIniRGB def) const;
  // Exactly four integers red, green, blue, alpha: alpha<<24 | red<<16 | green<<8 | blue.
  uint32_t ReadRGBA(WideView name, uint32_t def) const;
  TIniPoint ReadPoint(WideView name, TIniPoint def) const;
  TIniFloatPoint ReadFloatPoint(WideView name, TIniFloatPoint def) const;
  TIniVector ReadVector(WideView name, TIniVector def) const;
  // Four floats (left, top, right, bottom; pair (-1, -1)) or six (pair = fifth, sixth);
  // otherwise the default rectangle and the pair (0, 0).
  TIniFloatRect ReadRect(WideView name, TIniFloatRect def, TIniFloatPoint* pair = nullptr) const;

 protected:
  // value_start: an object's (sections have none).
  TCommonIniSection(WideView header, int32_t name_start, int32_t name_len, int32_t value_start = 0);
  TCommonIniSection(TIniChunkText header, int32_t name_start, int32_t name_len, int32_t value_start = 0)
      : header_(header.data), header_len_(header.size) {
    SetPositions(name_start, name_len, value_start);
  }
  ~TCommonIniSection() override;
  void WriteHeader(TIniLineSink& sink) const override;
  // Replaces the name part of the header.
  void ReplaceName(WideView name);
  // Replaces the header with an owned copy of `header` (which may lie in the old one).
  void SetHeader(WideView header);
  // Name start, name length and (objects) value start: 16-bit fields (the name start in the
  // base's small_), or kept aside by address when one does not fit.
  void SetPositions(int32_t name_start, int32_t name_len, int32_t value_start);
  int32_t WidePosition(int i) const;
  int32_t RawValueStart() const { return wide_ ? WidePosition(2) : value_start_; }

  const char16_t* header_;
  uint32_t header_len_;

 private:
  uint16_t name_len_ = 0, value_start_ = 0;
};

// A section "[name]"; text after "]" stays in the header.
class TIniSection : public TCommonIniSection {
 public:
  TIniSection(WideString header, int32_t name_start, int32_t name_len);
  TIniSection(TIniChunkText header, int32_t name_start, int32_t name_len);
  ~TIniSection() override;
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  // Detaches from the old storage's section index, appends, and enters the new one's.
  void SetOwner(TIniCollection* owner) override;
  void SetName(WideView name) override;
  // Keys of a later section with the name of an earlier one go to the first one's index.
  void IndexKey(TIniIdent* key) override;
  TIniObject* FirstObject() const override;

  const WideString& LowerName() const { return lower_name_; }
  uint32_t Hash() const { return hash_; }
  TIniSection* NextSameName() const { return next_same_; }
  TIniSection* PrevSameName() const { return prev_same_; }
  // The first section of this name (this one when the name is not repeated).
  TIniSection* FirstSameName() const;

 protected:
  TIniCollection* CloneEmpty(TIniCollection* owner) const override;

 private:
  friend class TIniStorage;
  void UpdateLowerName();
  WideString lower_name_;
  uint32_t hash_ = 0;
  TIniSection* bucket_next_ = nullptr;
  TIniSection* next_same_ = nullptr;
  TIniSection* prev_same_ = nullptr;
  TIniStorage* indexed_in_ = nullptr;
};

// A nested block "object name: value" ... "end".
class TIniObject : public TCommonIniSection {
 public:
  // value_start: 1-based, may lie beyond the line; indentation: characters before "object".
  // colon: whether the header has a ":" (without it the name is empty and the value is the rest).
  TIniObject(WideString header, int32_t name_start, int32_t name_len, int32_t value_start,
             int32_t indentation, bool colon);
  TIniObject(TIniChunkText header, int32_t name_start, int32_t name_len, int32_t value_start,
             int32_t indentation, bool colon);
  // Inside an object whose last item is a verbatim text line (its "end"), the copy goes before it.
  TCommonIniItem* Clone(TIniCollection* owner) const override;
  void SetName(WideView name) override;
  int DefaultIndentation() const override { return Indentation() + 2; }

  WideString Value() const { return WideString(ValueView()); }
  WideView ValueView() const;
  // Cuts the header at the value start and appends `value`; a header without ":" gets ":" and
  // the value appended.
  void SetValue(WideView value);
  // SetValue of a key (the section-level form).
  void SetValue(WideView name, WideView value) { TCommonIniSection::SetValue(name, value); }

  int32_t ValueStart() const { return RawValueStart(); }
  // The blanks before "object" (the header's leading blanks, which edits never change).
  int32_t Indentation() const;
  bool HasColon() const { return colon_; }

 protected:
  TIniCollection* CloneEmpty(TIniCollection* owner) const override;
  void Check(int32_t indentation) const;
};

// A nested block opened by a keyword the host's keyword hook accepted.
class TIniExtraObject : public TIniObject {
 public:
  TIniExtraObject(WideString keyword, WideString header, int32_t name_start, int32_t name_len,
                  int32_t value_start, int32_t indentation, bool colon);
  TIniExtraObject(WideString keyword, TIniChunkText header, int32_t name_start, int32_t name_len,
                  int32_t value_start, int32_t indentation, bool colon);
  const WideString& Keyword() const { return keyword_; }

 protected:
  TIniCollection* CloneEmpty(TIniCollection* owner) const override;

 private:
  WideString keyword_;
};

// ---------------------------------------------------------------------------------------------
// Storage

// The whole text: keys and lines before the first section, then all sections; sections are
// hashed into 9973 buckets (created with the first section).
class TIniStorage : public TIniIdentList {
 public:
  TIniStorage();
  ~TIniStorage() override;
  TCommonIniItem* Clone(TIniCollection* owner) const override;  // program error
  void RemoveChild(TCommonIniItem* item) override;  // also drops a section's index entry
  // Enters a child section into the section index.
  virtual void IndexSection(TIniSection* section);

  // The last section of that name, or nullptr (case-insensitive).
  TIniSection* FindSection(WideView name) const;
  bool SectionExists(WideView name) const { return FindSection(name) != nullptr; }
  // When missing: appends a blank line (unless the storage ends with one) and "[name]".
  TIniSection* GetOrAddSection(WideView name);
  // Adds every section's name, in order.
  void SectionNames(std::vector<WideString>& list) const;
  std::vector<WideString> SectionNames() const;

  WideString ReadString(WideView section, WideView key, WideView def) const;
  // ReadInteger syntax (so "$1" is an integer).
  int32_t ReadInteger(WideView section, WideView key, int32_t def) const;
  double ReadFloat(WideView section, WideView key, double def) const;
  // ReadInteger with default 1 or 0; true when not 0 ("$1" is true).
  bool ReadBool(WideView section, WideView key, bool def) const;
  // Get or add the section and key, then set the value.
  void WriteString(WideView section, WideView key, WideView value);
  void WriteInteger(WideView section, WideView key, int32_t value);
  // Copies every item of another storage.
  void Assign(const TIniCollection& other) override;

  // The whole text as the writer would produce it, lines ended by CR LF (no byte-order mark).
  WideString ToText() const;

 protected:
  TIniCollection* CloneEmpty(TIniCollection* owner) const override;

 private:
  friend class TIniSection;
  void DetachAllChildren(std::vector<TCommonIniItem*>& out) override;
  TIniSection* FindSectionLower(WideView lower, uint32_t hash) const;
  // Removes a section from the index and its same-name chain; keys indexed through the chain
  // move to the new first section; with reindex_own the section's own keys go to its own index.
  void UnindexSection(TIniSection* section, bool reindex_own);
  std::unique_ptr<TIniSection*[]> section_buckets_;
};

inline TIniIdentList* TIniIdent::IndexedIn() const {
  if (!indexed_) return nullptr;
  TIniCollection* owner = Owner();
  if (owner->is_section_) return static_cast<TIniSection*>(owner)->FirstSameName();
  return static_cast<TIniIdentList*>(owner);
}

enum class TIniEncoding { Utf16LE, Utf16BE, Utf8, Ansi };

// Receives parse errors: storage, code, line number (0-based), text position (1-based). It may
// stop the load by raising EIniParseError; it is then called once more with that code.
using TIniErrorHandler = std::function<void(TIniStorage& storage, int code, int line, int position)>;
// Answers whether a word opens a nested block (a TIniExtraObject).
using TIniKeywordHook = std::function<bool(WideView word)>;

// A storage loaded from or saved to a stream or file.
//
// Encoding of input: byte-order marks FF FE (UTF-16 LE), FE FF (UTF-16 BE), EF BB BF (UTF-8);
// otherwise the ANSI code page: Windows-1252, or the code page named by the environment variable
// ZEM_CODEPAGE (e.g. "1251"), through iconv.
class TIniFile : public TIniStorage {
 public:
  TIniFile() = default;

  // Clears, detects the encoding at the stream's position and parses all lines. True unless the
  // error handler stopped the load. Raises EInvalidChar on bytes the encoding forbids (the
  // storage is then partly filled).
  bool LoadFromStream(TStream& stream);
  // LoadFromStream over memory; any failure, EInvalidChar included, gives false.
  bool LoadFromBytes(const void* data, size_t size);
  // Opens the file (shared read) and loads it; remembers the path on success. Any failure
  // gives false.
  bool LoadFromFile(const std::string& path);
  // Parses text that is already UTF-16 (texts built in memory).
  bool LoadFromText(WideView text);

  // Writes the byte-order mark EF BB BF, then every line in UTF-8 followed by CR LF. False on a
  // write error. Raises EInvalidChar for a high surrogate not followed by a low one.
  bool SaveToStream(TStream& stream) const;
  // Opens or creates the file, writes, truncates at the written length. Any failure gives false.
  bool SaveToFile(const std::string& path) const;

  const std::string& FileName() const { return file_name_; }
  bool LoadResult() const { return load_result_; }
  TIniEncoding Encoding() const { return encoding_; }

  void SetErrorHandler(TIniErrorHandler handler) { error_handler_ = std::move(handler); }
  void SetKeywordHook(TIniKeywordHook hook) { keyword_hook_ = std::move(hook); }

 private:
  friend class TIniParser;
  // Parses every line of `source`; `large` places the items in shared chunks.
  bool Parse(TIniTextSource& source, bool large);
  std::string file_name_;
  bool load_result_ = false;
  TIniEncoding encoding_ = TIniEncoding::Ansi;
  TIniErrorHandler error_handler_;
  TIniKeywordHook keyword_hook_;
};

}  // namespace zem
