// Line items, collections and the key index.
#include <array>
#include <mutex>
#include <typeinfo>
#include <unordered_map>

#include "foundation/assert.h"
#include "script/ini_arena.h"
#include "script/ini_file.h"
#include "script/ini_names.h"

namespace zem {

// A large show holds about a million of these: keep them from growing unnoticed.
static_assert(sizeof(void*) != 8 || sizeof(TIniIdent) == 56, "a key line is 56 bytes");
static_assert(sizeof(void*) != 8 || sizeof(TIniTextLine) == 48, "a text line is 48 bytes");
static_assert(sizeof(void*) != 8 || sizeof(TIniObject) == 80, "an object is 80 bytes");

EIniParseError::EIniParseError(int code)
    : std::runtime_error("script parse error " + std::to_string(code)), code_(code) {}

uint32_t IniNameHash(WideView lower_name) {
  uint32_t h = 0;
  for (char16_t c : lower_name) {
    h = (h << 4) + (c & 0xFFu);
    uint32_t top = h & 0xF0000000u;
    if (top) h = (h ^ (top >> 24)) & ~0xF0000000u;
  }
  return h;
}

// ---------------------------------------------------------------------------------------------

TCommonIniItem::~TCommonIniItem() {
  if (owner_) owner_->RemoveChild(this);
}

void* TCommonIniItem::operator new(size_t size, TIniArena& arena) { return arena.AllocItem(size); }

void TCommonIniItem::operator delete(void* p, TIniArena&) { IniChunkRelease(p); }

void TCommonIniItem::operator delete(TCommonIniItem* item, std::destroying_delete_t) {
  bool chunk = item->in_chunk_;
  item->~TCommonIniItem();
  if (chunk)
    IniChunkRelease(item);
  else
    ::operator delete(item);
}

void TCommonIniItem::AddChild(TCommonIniItem*) { ZEM_FAIL("AddChild on a line item"); }
void TCommonIniItem::RemoveChild(TCommonIniItem*) { ZEM_FAIL("RemoveChild on a line item"); }

void TCommonIniItem::SetOwner(TIniCollection* owner) {
  if (owner_) owner_->RemoveChild(this);
  if (owner) owner->AddChild(this);
}

void TIniEmptyLine::AddChild(TCommonIniItem*) { ZEM_FAIL("AddChild on a line item"); }
void TIniEmptyLine::RemoveChild(TCommonIniItem*) { ZEM_FAIL("RemoveChild on a line item"); }
void TIniEmptyLine::Write(TIniLineSink& sink) const { sink.WriteLine(WideView()); }

TCommonIniItem* TIniEmptyLine::Clone(TIniCollection* owner) const {
  auto* copy = new TIniEmptyLine();
  if (owner) copy->SetOwner(owner);
  return copy;
}

TIniTextLine::TIniTextLine(WideView text)
    : text_len_(static_cast<uint32_t>(text.size())), text_(IniOwnedCopy(text)) {
  text_owned_ = text_ != nullptr;
}

TIniTextLine::~TIniTextLine() { IniReleaseText(text_, text_owned_); }

void TIniTextLine::SetText(WideView text) {
  const char16_t* fresh = IniOwnedCopy(text);
  IniReleaseText(text_, text_owned_);
  text_ = fresh;
  text_len_ = static_cast<uint32_t>(text.size());
  text_owned_ = fresh != nullptr;
}

void TIniTextLine::Write(TIniLineSink& sink) const { sink.WriteLine(Text()); }

TCommonIniItem* TIniTextLine::Clone(TIniCollection* owner) const {
  auto* copy = new TIniTextLine(Text());
  if (owner) copy->SetOwner(owner);
  return copy;
}

TCommonIniItem* TIniComment::Clone(TIniCollection* owner) const {
  auto* copy = new TIniComment(WideString(Text()), semicolon_pos_);
  if (owner) copy->SetOwner(owner);
  return copy;
}

// ---------------------------------------------------------------------------------------------

TIniIdent::TIniIdent(WideString text, int32_t name_start, int32_t name_len, int32_t value_start)
    : TIniTextLine(WideView(text)) {
  Init(name_start, name_len, value_start);
}

TIniIdent::TIniIdent(TIniChunkText text, int32_t name_start, int32_t name_len, int32_t value_start)
    : TIniTextLine(text) {
  Init(name_start, name_len, value_start);
}

namespace {
// Positions of the keys, sections and objects whose lines are too long for 16-bit fields (lines
// over 65,535 code units: fuzzed or generated input). Any thread: storages on different threads
// share it.
struct TWideKeys {
  std::mutex lock;
  std::unordered_map<const void*, std::array<int32_t, 3>> positions;
};
TWideKeys& WideKeys() {
  static auto* keys = new TWideKeys;  // never freed: items may outlive the statics
  return *keys;
}
bool FitsSmall(int32_t a, int32_t b, int32_t c) {
  return a >= 0 && a <= 0xFFFF && b >= 0 && b <= 0xFFFF && c >= 0 && c <= 0xFFFF;
}
void SetWide(const void* item, std::array<int32_t, 3> positions) {
  TWideKeys& keys = WideKeys();
  std::lock_guard<std::mutex> hold(keys.lock);
  keys.positions[item] = positions;
}
void EraseWide(const void* item) {
  TWideKeys& keys = WideKeys();
  std::lock_guard<std::mutex> hold(keys.lock);
  keys.positions.erase(item);
}
int32_t GetWide(const void* item, int i) {
  TWideKeys& keys = WideKeys();
  std::lock_guard<std::mutex> hold(keys.lock);
  return keys.positions.at(item)[static_cast<size_t>(i)];
}
}  // namespace

void TIniIdent::Init(int32_t name_start, int32_t name_len, int32_t value_start) {
  is_key_ = true;
  ZEM_ASSERT(name_start >= 1 && name_len >= 0 &&
             static_cast<size_t>(name_start - 1 + name_len) <= Text().size() && value_start >= 1);
  hash_ = TLowerName(Text().substr(static_cast<size_t>(name_start - 1), static_cast<size_t>(name_len))).Hash();
  if (FitsSmall(name_start, name_len, value_start)) {
    small_ = static_cast<uint16_t>(name_start);
    name_len_ = static_cast<uint16_t>(name_len);
    value_start_ = static_cast<uint16_t>(value_start);
  } else {
    SetWide(this, {name_start, name_len, value_start});  // the last step: nothing throws after it
    wide_ = true;
  }
}

int32_t TIniIdent::WidePosition(int i) const { return GetWide(this, i); }

TIniIdent::~TIniIdent() {
  if (indexed_) IndexedIn()->UnindexKey(this);
  if (wide_) EraseWide(this);
  is_key_ = false;  // the base's destructor detaches what is no longer a key
}

TCommonIniItem* TIniIdent::Clone(TIniCollection* owner) const {
  auto* copy = new TIniIdent(WideString(Text()), NameStart(), NameLength(), ValueStart());
  if (owner) copy->SetOwner(owner);
  return copy;
}

void TIniIdent::SetOwner(TIniCollection* owner) {
  TCommonIniItem::SetOwner(owner);
  if (auto* list = dynamic_cast<TIniIdentList*>(owner)) list->IndexKey(this);
}

WideString TIniIdent::GetName() const { return WideString(NameView()); }

WideView TIniIdent::NameView() const {
  return Text().substr(static_cast<size_t>(NameStart() - 1), static_cast<size_t>(NameLength()));
}

WideView TIniIdent::ValueView() const {
  WideView text = Text();
  size_t start = static_cast<size_t>(ValueStart() - 1);
  if (start >= text.size()) return {};
  size_t end = text.size();
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

void TIniIdent::SetValue(WideView value) {
  WideView text = Text();
  WideString line(text.substr(0, std::min(static_cast<size_t>(ValueStart() - 1), text.size())));
  line.append(value);
  SetText(line);
}

// ---------------------------------------------------------------------------------------------

TIniCollection::~TIniCollection() { Clear(); }

void TIniCollection::AddChild(TCommonIniItem* item) { InsertChild(item, nullptr); }

void TIniCollection::InsertChild(TCommonIniItem* item, TCommonIniItem* before) {
  ZEM_ASSERT(item && !item->owner_ && item != this);
  ZEM_ASSERT(!before || before->owner_ == this);
  item->owner_ = this;
  item->next_ = before;
  item->prev_ = before ? before->prev_ : last_;
  if (item->prev_) item->prev_->next_ = item; else first_ = item;
  if (before) before->prev_ = item; else last_ = item;
}

void TIniCollection::RemoveChild(TCommonIniItem* item) {
  ZEM_ASSERT(item && item->owner_ == this);
  if (item->prev_) item->prev_->next_ = item->next_; else first_ = item->next_;
  if (item->next_) item->next_->prev_ = item->prev_; else last_ = item->prev_;
  item->owner_ = nullptr;
  item->prev_ = item->next_ = nullptr;
}

void TIniCollection::DetachAllChildren(std::vector<TCommonIniItem*>& out) {
  for (TCommonIniItem* c = first_; c;) {
    TCommonIniItem* next = c->next_;
    c->owner_ = nullptr;
    c->prev_ = c->next_ = nullptr;
    out.push_back(c);
    c = next;
  }
  first_ = last_ = nullptr;
}

void TIniCollection::Clear() {
  std::vector<TCommonIniItem*> work;
  DetachAllChildren(work);
  // Last first: later same-name sections let go of the first one's key index before it goes.
  while (!work.empty()) {
    TCommonIniItem* item = work.back();
    work.pop_back();
    if (item->IsCollection()) static_cast<TIniCollection*>(item)->DetachAllChildren(work);
    delete item;
  }
}

void TIniCollection::Write(TIniLineSink& sink) const {
  WriteHeader(sink);
  // Walks the subtree through the owner and sibling links: no recursion for deep blocks.
  const TIniCollection* cur = this;
  const TCommonIniItem* item = first_;
  for (;;) {
    if (!item) {
      if (cur == this) break;
      item = cur->next_;
      cur = cur->owner_;
      continue;
    }
    if (item->IsCollection()) {
      auto* c = static_cast<const TIniCollection*>(item);
      c->WriteHeader(sink);
      cur = c;
      item = c->first_;
      continue;
    }
    item->Write(sink);
    item = item->next_;
  }
}

TIniCollection* TIniCollection::CloneTree(TIniCollection* owner) const {
  TIniCollection* root = CloneEmpty(owner);
  std::vector<std::pair<const TIniCollection*, TIniCollection*>> work{{this, root}};
  while (!work.empty()) {
    auto [src, dst] = work.back();
    work.pop_back();
    for (const TCommonIniItem* c = src->first_; c; c = c->next_) {
      if (c->IsCollection()) {
        auto* sc = static_cast<const TIniCollection*>(c);
        work.emplace_back(sc, sc->CloneEmpty(dst));
      } else {
        c->Clone(dst);
      }
    }
  }
  return root;
}

void TIniCollection::Assign(const TIniCollection& other) {
  ZEM_ASSERT(&other != this);
  Clear();
  for (const TCommonIniItem* c = other.first_; c; c = c->next_) c->Clone(this);
}

// ---------------------------------------------------------------------------------------------

struct TIniIdentList::TKeyNode {
  TIniIdent* key;
  TKeyNode* next;
};

struct TIniIdentList::TKeyBuckets {
  explicit TKeyBuckets(int32_t n) : count(n), heads(std::make_unique<TKeyNode*[]>(static_cast<size_t>(n))) {}
  TKeyNode*& Head(uint32_t hash) { return heads[hash % static_cast<uint32_t>(count)]; }
  int32_t count;
  std::unique_ptr<TKeyNode*[]> heads;  // all empty at first
};

TIniIdentList::~TIniIdentList() {
  Clear();
  // Keys of later same-name sections still listed here (they are normally gone first) must not
  // point at a freed index.
  if (buckets_) {
    for (int32_t i = 0; i < buckets_->count; ++i)
      for (TKeyNode* n = buckets_->heads[i]; n; n = n->next) n->key->indexed_ = false;
    FreeBuckets();
  }
}

void TIniIdentList::FreeBuckets() {
  if (!buckets_) return;
  for (int32_t i = 0; i < buckets_->count; ++i)
    for (TKeyNode* n = buckets_->heads[i]; n;) {
      TKeyNode* next = n->next;
      delete n;
      n = next;
    }
  delete buckets_;
  buckets_ = nullptr;
}

void TIniIdentList::Rehash(int32_t count) {
  auto* fresh = new TKeyBuckets(count);
  if (!buckets_) {
    // From the scanned keys: children in order onto the fronts, so the last of a name ends up
    // ahead.
    for (TCommonIniItem* c = First(); c; c = c->Next())
      if (c->is_key_ && c->indexed_) {  // scanned keys are own keys
        auto* k = static_cast<TIniIdent*>(c);
        TKeyNode*& head = fresh->Head(k->hash_);
        head = new TKeyNode{k, head};
      }
  } else {
    std::vector<TKeyNode*> chain;
    for (int32_t i = 0; i < buckets_->count; ++i) {
      chain.clear();
      for (TKeyNode* n = buckets_->heads[i]; n; n = n->next) chain.push_back(n);
      // Oldest first onto the fronts: the newest of each name ends up ahead again.
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        TKeyNode*& head = fresh->Head((*it)->key->hash_);
        (*it)->next = head;
        head = *it;
      }
      buckets_->heads[i] = nullptr;
    }
    delete buckets_;
  }
  buckets_ = fresh;
}

void TIniIdentList::IndexKey(TIniIdent* key) {
  ZEM_ASSERT(key && !key->indexed_ && key->Owner());
  if (!buckets_) {
    if (indexed_count_ < kScanKeys && key->Owner() == this) {
      key->indexed_ = true;
      ++indexed_count_;
      return;
    }
    Rehash(kFirstKeyBuckets);
  } else if (buckets_->count < kIniKeyBuckets && indexed_count_ >= 2 * buckets_->count) {
    Rehash(kIniKeyBuckets);
  }
  TKeyNode*& head = buckets_->Head(key->hash_);
  head = new TKeyNode{key, head};
  key->indexed_ = true;
  ++indexed_count_;
}

void TIniIdentList::UnindexKey(TIniIdent* key) {
  // Only the flag is checked: which index holds it is known to the callers (and deriving it
  // walks a same-name chain).
  ZEM_ASSERT(key->indexed_ && indexed_count_ > 0);
  key->indexed_ = false;
  if (!buckets_) {
    --indexed_count_;
    return;
  }
  for (TKeyNode** p = &buckets_->Head(key->hash_); *p; p = &(*p)->next) {
    if ((*p)->key == key) {
      TKeyNode* gone = *p;
      *p = gone->next;
      delete gone;
      --indexed_count_;
      break;
    }
  }
}

void TIniIdentList::RemoveChild(TCommonIniItem* item) {
  if (item->is_key_) {
    auto* key = static_cast<TIniIdent*>(item);
    if (key->indexed_) key->IndexedIn()->UnindexKey(key);
  }
  TIniCollection::RemoveChild(item);
}

void TIniIdentList::DetachAllChildren(std::vector<TCommonIniItem*>& out) {
  // Our keys are all in our index, or (a later same-name section) all in the first one's.
  const bool own_index = !is_section_ || !static_cast<TIniSection*>(this)->PrevSameName();
  int32_t own = 0;
  if (own_index)
    for (TCommonIniItem* c = First(); c; c = c->Next())
      if (c->is_key_ && c->indexed_) ++own;
  if (own_index && own == indexed_count_) {
    // Only our own keys: forget the whole index at once.
    for (TCommonIniItem* c = First(); c; c = c->Next())
      if (c->is_key_) c->indexed_ = false;
    FreeBuckets();
    indexed_count_ = 0;
  } else if (buckets_) {
    // Drop the entries of our own keys; keep those of later same-name sections.
    for (int32_t i = 0; i < buckets_->count; ++i) {
      TKeyNode** p = &buckets_->heads[i];
      while (*p) {
        TKeyNode* n = *p;
        if (n->key->Owner() == this) {
          *p = n->next;
          n->key->indexed_ = false;
          delete n;
          --indexed_count_;
        } else {
          p = &n->next;
        }
      }
    }
  }
  for (TCommonIniItem* c = First(); c; c = c->Next())
    if (c->is_key_) {
      auto* key = static_cast<TIniIdent*>(c);
      if (key->indexed_) key->IndexedIn()->UnindexKey(key);
    }
  TIniCollection::DetachAllChildren(out);
}

namespace {
// Whether `name` in lower case is `lower`.
bool EqualsLower(WideView name, WideView lower) {
  if (name.size() != lower.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (LowerChar(name[i]) != lower[i]) return false;
  return true;
}
}  // namespace

TIniIdent* TIniIdentList::FindKeyLower(WideView lower, uint32_t hash) const {
  if (!buckets_) {
    if (indexed_count_ == 0) return nullptr;
    for (TCommonIniItem* c = Last(); c; c = c->Prev()) {
      if (!c->is_key_) continue;
      auto* k = static_cast<TIniIdent*>(c);
      // Scanned keys are own keys (a later same-name section has none indexed here).
      if (k->hash_ == hash && k->indexed_ && EqualsLower(k->NameView(), lower)) return k;
    }
    return nullptr;
  }
  for (TKeyNode* n = buckets_->Head(hash); n; n = n->next)
    if (n->key->hash_ == hash && EqualsLower(n->key->NameView(), lower)) return n->key;
  return nullptr;
}

TIniIdent* TIniIdentList::FindKey(WideView name) const {
  if (indexed_count_ == 0) return nullptr;
  TLowerName lower(name);
  return FindKeyLower(lower.View(), lower.Hash());
}

TIniIdent* TIniIdentList::GetOrAddKey(WideView name) { return GetOrAddKey(name, DefaultIndentation()); }

TIniIdent* TIniIdentList::GetOrAddKey(WideView name, int indentation) {
  if (TIniIdent* k = FindKey(name)) return k;
  if (indentation < 0) indentation = 0;
  WideString text(static_cast<size_t>(indentation), u' ');
  text.append(name);
  text.push_back(u'=');
  auto* key = new TIniIdent(std::move(text), indentation + 1, static_cast<int32_t>(name.size()),
                            indentation + static_cast<int32_t>(name.size()) + 2);
  // After the last key line, before trailing comments, blank and text lines and blocks.
  TCommonIniItem* last_key = Last();
  while (last_key && !dynamic_cast<TIniIdent*>(last_key)) last_key = last_key->Prev();
  InsertChild(key, last_key ? last_key->Next() : First());
  IndexKey(key);
  return key;
}

TIniObject* TIniIdentList::FirstObject() const { return NextObject(nullptr); }

TIniObject* TIniIdentList::NextObject(const TCommonIniItem* after) const {
  for (const TCommonIniItem* c = after ? after->Next() : First(); c; c = c->Next())
    if (auto* o = dynamic_cast<const TIniObject*>(c)) return const_cast<TIniObject*>(o);
  return nullptr;
}

// ---------------------------------------------------------------------------------------------

WideString TCommonIniSection::GetName() const { return WideString(NameView()); }

TCommonIniSection::TCommonIniSection(WideView header, int32_t name_start, int32_t name_len, int32_t value_start)
    : header_(IniOwnedCopy(header)), header_len_(static_cast<uint32_t>(header.size())) {
  text_owned_ = header_ != nullptr;
  SetPositions(name_start, name_len, value_start);
}

TCommonIniSection::~TCommonIniSection() {
  IniReleaseText(header_, text_owned_);
  if (wide_) EraseWide(this);
}

void TCommonIniSection::SetPositions(int32_t name_start, int32_t name_len, int32_t value_start) {
  if (FitsSmall(name_start, name_len, value_start)) {
    if (wide_) EraseWide(this);
    wide_ = false;
    small_ = static_cast<uint16_t>(name_start);
    name_len_ = static_cast<uint16_t>(name_len);
    value_start_ = static_cast<uint16_t>(value_start);
  } else {
    SetWide(this, {name_start, name_len, value_start});
    wide_ = true;
  }
}

int32_t TCommonIniSection::WidePosition(int i) const { return GetWide(this, i); }

void TCommonIniSection::SetHeader(WideView header) {
  const char16_t* fresh = IniOwnedCopy(header);
  IniReleaseText(header_, text_owned_);
  header_ = fresh;
  header_len_ = static_cast<uint32_t>(header.size());
  text_owned_ = fresh != nullptr;
}

WideView TCommonIniSection::NameView() const {
  return HeaderText().substr(static_cast<size_t>(NameStart() - 1), static_cast<size_t>(NameLength()));
}

void TCommonIniSection::SetName(WideView name) { ReplaceName(name); }

void TCommonIniSection::ReplaceName(WideView name) {
  WideString header(HeaderText());
  header.replace(static_cast<size_t>(NameStart() - 1), static_cast<size_t>(NameLength()), name);
  SetHeader(header);
  SetPositions(NameStart(), static_cast<int32_t>(name.size()), RawValueStart());
}

void TCommonIniSection::WriteHeader(TIniLineSink& sink) const { sink.WriteLine(HeaderText()); }

WideString TCommonIniSection::ReadString(WideView name, WideView def) const {
  const TIniIdent* k = FindKey(name);
  return k ? k->Value() : WideString(def);
}

void TCommonIniSection::SetValue(WideView name, WideView value) {
  TIniIdent* k = FindKey(name);
  ZEM_ASSERT(k);
  k->SetValue(value);
}

// ---------------------------------------------------------------------------------------------

TIniSection::TIniSection(WideString header, int32_t name_start, int32_t name_len)
    : TCommonIniSection(WideView(header), name_start, name_len) {
  ZEM_ASSERT(NameStart() >= 1 && NameLength() >= 0 && static_cast<size_t>(NameStart() - 1 + NameLength()) <= header_len_);
  is_section_ = true;
  UpdateLowerName();
}

TIniSection::TIniSection(TIniChunkText header, int32_t name_start, int32_t name_len)
    : TCommonIniSection(header, name_start, name_len) {
  ZEM_ASSERT(NameStart() >= 1 && NameLength() >= 0 && static_cast<size_t>(NameStart() - 1 + NameLength()) <= header_len_);
  is_section_ = true;
  UpdateLowerName();
}

TIniSection::~TIniSection() {
  if (indexed_in_) indexed_in_->UnindexSection(this, false);
  is_section_ = false;  // the base's destructors free the children: no same-name chain from here
}

void TIniSection::UpdateLowerName() {
  lower_name_ = LowerCase(NameView());
  hash_ = IniNameHash(lower_name_);
}

TIniCollection* TIniSection::CloneEmpty(TIniCollection* owner) const {
  auto* copy = new TIniSection(WideString(HeaderText()), NameStart(), NameLength());
  if (owner) copy->SetOwner(owner);
  return copy;
}

TCommonIniItem* TIniSection::Clone(TIniCollection* owner) const { return CloneTree(owner); }

void TIniSection::SetOwner(TIniCollection* owner) {
  TCommonIniItem::SetOwner(owner);  // the old storage's RemoveChild drops the index entry
  if (auto* storage = dynamic_cast<TIniStorage*>(owner)) storage->IndexSection(this);
}

void TIniSection::SetName(WideView name) {
  TIniStorage* storage = indexed_in_;
  if (storage) storage->UnindexSection(this, true);
  ReplaceName(name);
  UpdateLowerName();
  if (storage) storage->IndexSection(this);
}

TIniSection* TIniSection::FirstSameName() const {
  const TIniSection* s = this;
  while (s->prev_same_) s = s->prev_same_;
  return const_cast<TIniSection*>(s);
}

void TIniSection::IndexKey(TIniIdent* key) {
  TIniSection* first = FirstSameName();
  first->TIniIdentList::IndexKey(key);
}

TIniObject* TIniSection::FirstObject() const {
  TIniSection* first = FirstSameName();
  return first->TIniIdentList::FirstObject();
}

// ---------------------------------------------------------------------------------------------

TIniObject::TIniObject(WideString header, int32_t name_start, int32_t name_len, int32_t value_start,
                       int32_t indentation, bool colon)
    : TCommonIniSection(WideView(header), name_start, name_len, value_start) {
  colon_ = colon;
  Check(indentation);
}

TIniObject::TIniObject(TIniChunkText header, int32_t name_start, int32_t name_len, int32_t value_start,
                       int32_t indentation, bool colon)
    : TCommonIniSection(header, name_start, name_len, value_start) {
  colon_ = colon;
  Check(indentation);
}

void TIniObject::Check(int32_t indentation) const {
  ZEM_ASSERT(NameStart() >= 1 && NameLength() >= 0 && static_cast<size_t>(NameStart() - 1 + NameLength()) <= header_len_ &&
             ValueStart() >= 1);
  ZEM_ASSERT(indentation == Indentation());
}

int32_t TIniObject::Indentation() const {
  WideView header = HeaderText();
  size_t n = 0;
  while (n < header.size() && IsBlank(header[n])) ++n;
  return static_cast<int32_t>(n);
}

TIniCollection* TIniObject::CloneEmpty(TIniCollection* owner) const {
  auto* copy = new TIniObject(WideString(HeaderText()), NameStart(), NameLength(), ValueStart(), Indentation(), colon_);
  if (owner) copy->SetOwner(owner);
  return copy;
}

TCommonIniItem* TIniObject::Clone(TIniCollection* owner) const {
  TIniCollection* copy = CloneTree(nullptr);
  if (owner) {
    // Keep the copy inside the target block: before its "end" line.
    TCommonIniItem* last = owner->Last();
    if (dynamic_cast<TIniObject*>(owner) && last && typeid(*last) == typeid(TIniTextLine))
      owner->InsertChild(copy, last);
    else
      copy->SetOwner(owner);
  }
  return copy;
}

WideView TIniObject::ValueView() const {
  WideView header = HeaderText();
  size_t start = static_cast<size_t>(ValueStart() - 1);
  if (start >= header.size()) return {};
  size_t end = header.size();
  while (end > start && IsBlank(header[end - 1])) --end;
  return header.substr(start, end - start);
}

void TIniObject::SetName(WideView name) {
  if (colon_) {
    int32_t delta = static_cast<int32_t>(name.size()) - NameLength();
    ReplaceName(name);
    SetPositions(NameStart(), NameLength(), ValueStart() + delta);
    return;
  }
  if (name.empty()) return;
  // No ":" yet: the header becomes "object name: rest" (a blank keeps the word apart).
  size_t at = static_cast<size_t>(NameStart() - 1);
  WideString header(HeaderText());
  WideString insert;
  if (at > 0 && !IsBlank(header[at - 1])) insert.push_back(u' ');
  size_t lead = insert.size();
  insert.append(name);
  insert += ValueView().empty() ? u":" : u": ";
  header.insert(at, insert);
  SetHeader(header);
  SetPositions(NameStart() + static_cast<int32_t>(lead), static_cast<int32_t>(name.size()),
               static_cast<int32_t>(at + insert.size()) + 1);
  colon_ = true;
}

void TIniObject::SetValue(WideView value) {
  WideString header(HeaderText());
  if (colon_) {
    size_t cut = static_cast<size_t>(ValueStart() - 1);
    if (cut < header.size()) header.resize(cut);
    header.append(value);
    SetHeader(header);
    return;
  }
  // Without ":" the rest was the value; it becomes the name part before the new ":".
  int32_t name_start = ValueStart();
  int32_t name_len = static_cast<int32_t>(ValueView().size());
  if (name_len == 0 && !header.empty() && !IsBlank(header.back())) {
    header.push_back(u' ');
    name_start = static_cast<int32_t>(header.size()) + 1;
  }
  header.push_back(u':');
  int32_t value_start = static_cast<int32_t>(header.size()) + 1;
  header.append(value);
  SetHeader(header);
  SetPositions(name_start, name_len, value_start);
  colon_ = true;
}

TIniExtraObject::TIniExtraObject(WideString keyword, WideString header, int32_t name_start, int32_t name_len,
                                 int32_t value_start, int32_t indentation, bool colon)
    : TIniObject(std::move(header), name_start, name_len, value_start, indentation, colon),
      keyword_(std::move(keyword)) {}

TIniExtraObject::TIniExtraObject(WideString keyword, TIniChunkText header, int32_t name_start, int32_t name_len,
                                 int32_t value_start, int32_t indentation, bool colon)
    : TIniObject(header, name_start, name_len, value_start, indentation, colon), keyword_(std::move(keyword)) {}

TIniCollection* TIniExtraObject::CloneEmpty(TIniCollection* owner) const {
  auto* copy = new TIniExtraObject(keyword_, WideString(HeaderText()), NameStart(), NameLength(), ValueStart(),
                                   Indentation(), colon_);
  if (owner) copy->SetOwner(owner);
  return copy;
}

}  // namespace zem
