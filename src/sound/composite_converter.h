// The composite mixer: a converter that renders a composite description by mixing its entries,
// each from its own converter, through their volume envelopes, into the internal format.
// Used by one thread at a time (the refill thread of its playback).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/composite_params.h"
#include "sound/local_buffer.h"
#include "sound/stream_access.h"
#include "sound/wav_converter.h"

namespace zem {

class TMusicPlayer;

// An entry with its playback state.
class TCompositeItem2 : public TCompositeItem {
 public:
  ~TCompositeItem2() override;
  void Close();

  TMusicPlayer* player = nullptr;  // for the stream callbacks
  std::unique_ptr<TWavConverter> converter;
  TMediaInfo info;
  TStream* stream = nullptr;
  int32_t chunk_offset = -1;  // bytes into the current chunk, -1 = none
  bool opened = false;
  TFreeStreamCallback free_stream;
};

class TCompositeParams2 : public TCompositeParams {
 protected:
  std::unique_ptr<TCompositeItem> NewItem() const override { return std::make_unique<TCompositeItem2>(); }
};

class TCompositeConverter : public TWavConverter {
 public:
  static constexpr int32_t kChunkFrames = 2500;
  static constexpr int32_t kChunkBytes = kChunkFrames * 4;
  TCompositeConverter(TMusicPlayer* player, const WideString& text);
  ~TCompositeConverter() override;

  void Seek(double t_ms) override;
  bool Process(TLocalBuffer& in) override;
  bool Read() override { return true; }
  bool Open(const TMediaInfo& info) override;

  // Entries in each state (for tests and diagnostics).
  size_t PendingCount() const { return pending_.size(); }
  size_t PreloadedCount() const { return preloaded_.size(); }
  size_t ActiveCount() const { return active_.size(); }
  size_t FinishedCount() const { return finished_.size(); }
  int64_t BytePosition() const { return p_; }

 private:
  using TList = std::vector<TCompositeItem2*>;
  bool OpenEntry(TCompositeItem2& e);
  // One chunk of 2500 frames into chunk_; false when the description has ended.
  bool ProduceChunk();
  void MixEntry(TCompositeItem2& e, bool& finished);
  int64_t EntryEnd(const TCompositeItem2& e) const;
  static void SortPending(TList& l);

  WideString text_;
  TMusicPlayer* player_;
  TCompositeParams2 params_;
  TList pending_, preloaded_, active_, finished_;
  std::unique_ptr<TVolumeParamsList> main_volume_;
  int64_t p_ = 0;  // byte position in the internal format
  std::vector<int32_t> mix_;
  bool started_ = false;
  TLocalBuffer chunk_;
};

// The composite factory: a converter for a composite description (no stream).
std::unique_ptr<TWavConverter> CreateCompositeConverter(TMusicPlayer& player, const WideString& text,
                                                        const TMediaInfo& info);

}  // namespace zem
