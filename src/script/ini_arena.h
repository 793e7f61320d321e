// Storage of loaded scripts: items and line texts of a load are placed in shared 256 KiB chunks
// instead of one heap block each. Every item and every text reference in a chunk holds one
// count on it, and the chunk is freed when the last goes (the count is atomic: items may be
// freed on another thread than the one that loaded them). Texts are never changed in place: an
// edited item gets a text of its own on the heap, so equal lines of a load can share one text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/strings.h"

namespace zem {

// Inputs of this size or more (in bytes) are loaded into chunks; smaller ones item by item on
// the heap, so that a small script does not hold a whole chunk.
constexpr int64_t kIniArenaInput = 256 * 1024;

// Texts of this length or shorter are shared with an equal earlier line of the same load.
constexpr size_t kIniSharedLineMax = 64;

// Used by one load, on the loading thread. The arena holds a large count on each of its chunks
// while it fills them and settles it at the end against the items and texts it handed out, so
// that the load itself needs no atomic operation per line.
class TIniArena {
 public:
  TIniArena();
  ~TIniArena();  // drops the arena's own counts; the chunks live on while items use them
  TIniArena(const TIniArena&) = delete;
  TIniArena& operator=(const TIniArena&) = delete;

  // Memory for one item (8-byte aligned), counted on its chunk.
  void* AllocItem(size_t size);
  // A counted copy of `text` (or of an equal short line placed earlier); nullptr for no text.
  const char16_t* AddText(WideView text);

 private:
  void* Take(size_t size, size_t align);
  char* chunk_ = nullptr;  // being filled (the last of chunks_)
  size_t used_ = 0;
  struct TChunk {
    char* base;
    uint32_t handed_out;  // items and text references given out in it
  };
  std::vector<TChunk> chunks_;
  struct TSlot {
    const char16_t* text;
    uint32_t size;
    uint32_t hash;
    uint32_t chunk;  // index in chunks_
  };
  std::vector<TSlot> recent_;  // recently placed short lines by hash (a lossy cache)
};

// Releases one count of the chunk holding `p` (an item or a text start), freeing it at zero.
void IniChunkRelease(const void* p);

// Bytes of all chunks mapped now (for measurements: chunks are not heap blocks).
size_t IniChunkBytes();

// Item texts: owned copies on the heap or counted texts in a chunk.
char16_t* IniOwnedCopy(WideView text);  // nullptr for an empty text
void IniReleaseText(const char16_t* text, bool owned);

}  // namespace zem
