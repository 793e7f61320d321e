// Chunks of loaded scripts: bump allocation, counts, the cache of repeated short lines.
#include "script/ini_arena.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include "foundation/assert.h"

namespace zem {

namespace {

// Chunks are aligned to their size, so the start of any item or text in one finds the header;
// a text too long for a chunk gets a block of its own (whole chunks, aligned alike) and starts
// within its first chunk. They are mapped directly rather than taken from the heap: aligned heap
// blocks this large are mappings of their own with unused room around them, which made random
// lookups in a large storage several times slower; trimmed mappings lie side by side.
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kCacheSlots = 16384;

struct TChunkHeader {
  std::atomic<uint32_t> count;
  size_t size;
};
constexpr size_t kHeaderSize = 16;
static_assert(sizeof(TChunkHeader) <= kHeaderSize);

std::atomic<size_t> g_chunk_bytes{0};

// The arena's count while it fills a chunk: more than the items and texts it can hand out.
constexpr uint32_t kArenaCount = 1u << 30;

char* NewChunk(size_t bytes, uint32_t count) {
  size_t size = (bytes + kChunk - 1) / kChunk * kChunk;
  // Mapped with room to align, then trimmed to the aligned block.
  size_t span = size + kChunk;
  void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  uintptr_t base = reinterpret_cast<uintptr_t>(m);
  uintptr_t at = (base + kChunk - 1) & ~(uintptr_t{kChunk} - 1);
  if (at > base) munmap(m, at - base);
  if (base + span > at + size) munmap(reinterpret_cast<void*>(at + size), base + span - (at + size));
  void* p = reinterpret_cast<void*>(at);
  new (p) TChunkHeader{count, size};
  g_chunk_bytes.fetch_add(size, std::memory_order_relaxed);
  return static_cast<char*>(p);
}

TChunkHeader* HeaderOf(const void* p) {
  return reinterpret_cast<TChunkHeader*>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t{kChunk} - 1));
}

// Four code units at a time: the lines are short, and this runs for most lines of a load.
uint32_t LineHash(WideView s) {
  uint64_t h = s.size() * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    uint64_t v;
    std::memcpy(&v, s.data() + i, sizeof v);
    h = (h ^ v) * 0xFF51AFD7ED558CCDull;
  }
  for (; i < s.size(); ++i) h = (h ^ s[i]) * 0xC4CEB9FE1A85EC53ull;
  return static_cast<uint32_t>(h >> 32);
}

}  // namespace

namespace {
void ReleaseCounts(TChunkHeader* h, uint32_t n) {
  if (h->count.fetch_sub(n, std::memory_order_acq_rel) == n) {
    size_t size = h->size;
    h->~TChunkHeader();
    munmap(h, size);
    g_chunk_bytes.fetch_sub(size, std::memory_order_relaxed);
  }
}
}  // namespace

void IniChunkRelease(const void* p) { ReleaseCounts(HeaderOf(p), 1); }

size_t IniChunkBytes() { return g_chunk_bytes.load(std::memory_order_relaxed); }

char16_t* IniOwnedCopy(WideView text) {
  if (text.empty()) return nullptr;
  auto* p = new char16_t[text.size()];
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

void IniReleaseText(const char16_t* text, bool owned) {
  if (!text) return;
  if (owned)
    delete[] text;
  else
    IniChunkRelease(text);
}

TIniArena::TIniArena() : recent_(kCacheSlots, TSlot{nullptr, 0, 0, 0}) {}

TIniArena::~TIniArena() {
  for (const TChunk& c : chunks_) ReleaseCounts(HeaderOf(c.base), kArenaCount - c.handed_out);
}

void* TIniArena::Take(size_t size, size_t align) {
  size_t at = (used_ + align - 1) & ~(align - 1);
  if (!chunk_ || at + size > kChunk) {
    chunk_ = NewChunk(kChunk, kArenaCount);
#ifdef MADV_POPULATE_WRITE
    // It will be filled: fault its pages in at once rather than one by one (older kernels refuse,
    // and the pages then come as they are touched).
    madvise(chunk_, kChunk, MADV_POPULATE_WRITE);
#endif
    chunks_.push_back({chunk_, 0});
    at = kHeaderSize;
  }
  used_ = at + size;
  ++chunks_.back().handed_out;
  return chunk_ + at;
}

void* TIniArena::AllocItem(size_t size) {
  ZEM_ASSERT(size <= kChunk / 4);
  return Take(size, 8);
}

const char16_t* TIniArena::AddText(WideView text) {
  if (text.empty()) return nullptr;
  size_t bytes = text.size() * sizeof(char16_t);
  if (bytes > kChunk / 4) {
    // Its own block, counted once for the item; the arena keeps no count on it.
    char* block = NewChunk(kHeaderSize + bytes, 1);
    std::memcpy(block + kHeaderSize, text.data(), bytes);
    return reinterpret_cast<const char16_t*>(block + kHeaderSize);
  }
  TSlot* slot = nullptr;
  uint32_t hash = 0;
  if (text.size() <= kIniSharedLineMax) {
    hash = LineHash(text);
    slot = &recent_[hash % kCacheSlots];
    if (slot->text && slot->hash == hash && slot->size == text.size() &&
        std::memcmp(slot->text, text.data(), bytes) == 0) {
      ++chunks_[slot->chunk].handed_out;
      return slot->text;
    }
  }
  auto* p = static_cast<char16_t*>(Take(bytes, alignof(char16_t)));
  std::memcpy(p, text.data(), bytes);
  if (slot) *slot = {p, static_cast<uint32_t>(text.size()), hash, static_cast<uint32_t>(chunks_.size() - 1)};
  return p;
}

}  // namespace zem
