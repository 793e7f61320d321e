// The storage: section index with same-name chains, section lookups and storage-level access.
#include <string>
#include <typeinfo>

#include "foundation/assert.h"
#include "script/ini_file.h"
#include "script/ini_names.h"

namespace zem {

TIniStorage::TIniStorage() = default;

TIniStorage::~TIniStorage() { Clear(); }

TCommonIniItem* TIniStorage::Clone(TIniCollection*) const { ZEM_FAIL("a storage is not cloned"); }
TIniCollection* TIniStorage::CloneEmpty(TIniCollection*) const { ZEM_FAIL("a storage is not cloned"); }

TIniSection* TIniStorage::FindSectionLower(WideView lower, uint32_t hash) const {
  if (!section_buckets_) return nullptr;
  for (TIniSection* s = section_buckets_[hash % kIniSectionBuckets]; s; s = s->bucket_next_)
    if (s->hash_ == hash && s->lower_name_ == lower) return s;
  return nullptr;
}

void TIniStorage::IndexSection(TIniSection* section) {
  ZEM_ASSERT(section && section->Owner() == this && !section->indexed_in_);
  if (!section_buckets_) {
    section_buckets_ = std::make_unique<TIniSection*[]>(kIniSectionBuckets);  // all empty
  }
  // The newest section of a name is found first; older ones stay chained behind it.
  TIniSection* last = FindSectionLower(section->lower_name_, section->hash_);
  if (last) {
    // Its keys belong to the first section's index: out of its own first, while it is first.
    for (TCommonIniItem* c = section->First(); c; c = c->Next())
      if (c->is_key_ && c->indexed_) section->UnindexKey(static_cast<TIniIdent*>(c));
    last->next_same_ = section;
    section->prev_same_ = last;
  }
  TIniSection*& head = section_buckets_[section->hash_ % kIniSectionBuckets];
  section->bucket_next_ = head;
  head = section;
  section->indexed_in_ = this;
  if (last) {
    for (TCommonIniItem* c = section->First(); c; c = c->Next())
      if (c->is_key_) section->IndexKey(static_cast<TIniIdent*>(c));
  }
}

void TIniStorage::UnindexSection(TIniSection* section, bool reindex_own) {
  ZEM_ASSERT(section->indexed_in_ == this && section_buckets_);
  for (TIniSection** p = &section_buckets_[section->hash_ % kIniSectionBuckets]; *p; p = &(*p)->bucket_next_) {
    if (*p == section) {
      *p = section->bucket_next_;
      break;
    }
  }
  section->bucket_next_ = nullptr;
  section->indexed_in_ = nullptr;

  std::vector<TIniIdent*> moved;
  if (!section->prev_same_) {
    // First of its name: later sections' keys move to the next first one.
    for (TIniSection* t = section->next_same_; t; t = t->next_same_)
      for (TCommonIniItem* c = t->First(); c; c = c->Next())
        if (c->is_key_ && c->indexed_) {
          auto* key = static_cast<TIniIdent*>(c);
          section->UnindexKey(key);
          moved.push_back(key);
        }
  } else {
    // Not first: its own keys live in the first one's index.
    for (TCommonIniItem* c = section->First(); c; c = c->Next())
      if (c->is_key_ && c->indexed_) {
        auto* key = static_cast<TIniIdent*>(c);
        key->IndexedIn()->UnindexKey(key);
        if (reindex_own) moved.push_back(key);
      }
  }
  if (section->prev_same_) section->prev_same_->next_same_ = section->next_same_;
  if (section->next_same_) section->next_same_->prev_same_ = section->prev_same_;
  section->prev_same_ = section->next_same_ = nullptr;
  for (TIniIdent* key : moved) static_cast<TIniIdentList*>(key->Owner())->IndexKey(key);
}

void TIniStorage::RemoveChild(TCommonIniItem* item) {
  if (auto* s = dynamic_cast<TIniSection*>(item); s && s->indexed_in_ == this) UnindexSection(s, true);
  TIniIdentList::RemoveChild(item);
}

void TIniStorage::DetachAllChildren(std::vector<TCommonIniItem*>& out) {
  // Everything goes: forget the section index wholesale. Keys of later same-name sections leave
  // the first one's key index first, while the chains still say which one that is.
  if (section_buckets_) {
    for (TCommonIniItem* c = First(); c; c = c->Next())
      if (auto* s = dynamic_cast<TIniSection*>(c); s && !s->prev_same_)
        for (TIniSection* t = s->next_same_; t; t = t->next_same_)
          for (TCommonIniItem* k = t->First(); k; k = k->Next())
            if (k->is_key_ && k->indexed_) s->UnindexKey(static_cast<TIniIdent*>(k));
    for (TCommonIniItem* c = First(); c; c = c->Next())
      if (auto* s = dynamic_cast<TIniSection*>(c)) {
        s->bucket_next_ = s->next_same_ = s->prev_same_ = nullptr;
        s->indexed_in_ = nullptr;
      }
    section_buckets_.reset();
  }
  TIniIdentList::DetachAllChildren(out);
}

TIniSection* TIniStorage::FindSection(WideView name) const {
  if (!section_buckets_) return nullptr;
  TLowerName lower(name);
  return FindSectionLower(lower.View(), lower.Hash());
}

TIniSection* TIniStorage::GetOrAddSection(WideView name) {
  if (TIniSection* s = FindSection(name)) return s;
  // The text's last line: the deepest last item.
  const TCommonIniItem* last = Last();
  while (last && last->IsCollection() && static_cast<const TIniCollection*>(last)->Last())
    last = static_cast<const TIniCollection*>(last)->Last();
  if (!last || typeid(*last) != typeid(TIniEmptyLine)) (new TIniEmptyLine())->SetOwner(this);
  WideString header = u"[";
  header.append(name);
  header.push_back(u']');
  auto* s = new TIniSection(std::move(header), 2, static_cast<int32_t>(name.size()));
  s->SetOwner(this);
  return s;
}

void TIniStorage::SectionNames(std::vector<WideString>& list) const {
  for (const TCommonIniItem* c = First(); c; c = c->Next())
    if (auto* s = dynamic_cast<const TIniSection*>(c)) list.push_back(s->GetName());
}

std::vector<WideString> TIniStorage::SectionNames() const {
  std::vector<WideString> list;
  SectionNames(list);
  return list;
}

WideString TIniStorage::ReadString(WideView section, WideView key, WideView def) const {
  const TIniSection* s = FindSection(section);
  const TIniIdent* k = s ? s->FindKey(key) : nullptr;
  return k ? k->Value() : WideString(def);
}

int32_t TIniStorage::ReadInteger(WideView section, WideView key, int32_t def) const {
  const TIniSection* s = FindSection(section);
  const TIniIdent* k = s ? s->FindKey(key) : nullptr;
  int32_t v;
  return k && TryParseIniInteger(k->ValueView(), v) ? v : def;
}

double TIniStorage::ReadFloat(WideView section, WideView key, double def) const {
  const TIniSection* s = FindSection(section);
  const TIniIdent* k = s ? s->FindKey(key) : nullptr;
  double v;
  return k && TryParseIniFloat(k->ValueView(), v) ? v : def;
}

bool TIniStorage::ReadBool(WideView section, WideView key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniStorage::WriteString(WideView section, WideView key, WideView value) {
  GetOrAddSection(section)->GetOrAddKey(key)->SetValue(value);
}

void TIniStorage::WriteInteger(WideView section, WideView key, int32_t value) {
  std::string digits = std::to_string(value);
  WriteString(section, key, WideString(digits.begin(), digits.end()));
}

void TIniStorage::Assign(const TIniCollection& other) { TIniCollection::Assign(other); }

}  // namespace zem
