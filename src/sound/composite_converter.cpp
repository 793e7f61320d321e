#include "sound/composite_converter.h"

#include <algorithm>
#include <cmath>

#include "sound/converter_factory.h"
#include "sound/media_info.h"
#include "sound/sound_device.h"

namespace zem {

TCompositeItem2::~TCompositeItem2() { Close(); }

void TCompositeItem2::Close() {
  converter.reset();
  if (stream) StreamWrapper().Free(stream, &free_stream);
  stream = nullptr;
  opened = false;
}

TCompositeConverter::TCompositeConverter(TMusicPlayer* player, const WideString& text)
    : text_(text), player_(player), mix_(kChunkFrames * 2) {}

TCompositeConverter::~TCompositeConverter() = default;

std::unique_ptr<TWavConverter> CreateCompositeConverter(TMusicPlayer& player, const WideString& text,
                                                        const TMediaInfo&) {
  return std::make_unique<TCompositeConverter>(&player, text);
}

void TCompositeConverter::SortPending(TList& l) {
  std::stable_sort(l.begin(), l.end(), [](const TCompositeItem2* a, const TCompositeItem2* b) {
    return a->time_line < b->time_line;
  });
}

bool TCompositeConverter::Open(const TMediaInfo& info) {
  if (!params_.LoadFromText(text_) || !params_.Valid()) return false;
  pending_.clear();
  for (auto& item : params_.Items()) {
    auto* e = static_cast<TCompositeItem2*>(item.get());
    e->player = player_;
    int32_t a = static_cast<int32_t>(std::min<int64_t>(e->duration, static_cast<int64_t>(params_.duration) - e->time_line));
    e->volumes.Prepare(a);
    pending_.push_back(e);
  }
  if (params_.HasMainVolume()) {
    params_.MainVolume().Prepare(params_.duration);
    main_volume_ = params_.TakeMainVolume();
  }
  SortPending(pending_);
  TMediaInfo mine = info;
  mine.wave_format = InternalFormat();
  mine.format_code = kMediaComposite;
  chunk_.SetFormat(InternalFormat());
  chunk_.Reserve(kChunkBytes);
  return TWavConverter::Open(mine);
}

// Opens the entry's source and converter, as a playback opens its source.
bool TCompositeConverter::OpenEntry(TCompositeItem2& e) {
  if (e.opened) return true;
  e.Close();
  TMusicPlayer* player = player_;
  static const TOpenStreamCallback kNoOpen;
  const TOpenStreamCallback& open = player ? player->GetOpenStreamCallback() : kNoOpen;
  if (player) e.free_stream = player->GetFreeStreamCallback();
  {
    const WideString file = FilePartOfName(e.file_name);
    e.stream = StreamWrapper().Open(file, &open);
    if (!e.stream) return false;
    if (!TMediaInfoExtractor::Extract(*e.stream, ExtensionOfName(e.file_name), e.info, e.file_name)) {
      e.Close();
      return false;
    }
    if (e.info.mpeg_in_wave && e.info.data_offset > 0) {
      StreamWrapper().Free(e.stream, &e.free_stream);
      e.stream = StreamWrapper().OpenWindow(file, e.info.data_offset, &open);
      e.info.data_offset = 0;
      if (!e.stream) return false;
    }
    e.converter = CreateConverter(e.stream, e.file_name, e.info);
  }
  if (!e.converter || !e.converter->Open(e.info)) {
    e.Close();
    return false;
  }
  e.opened = true;
  return true;
}

int64_t TCompositeConverter::EntryEnd(const TCompositeItem2& e) const {
  int64_t s = e.time_line;
  if (e.duration > 0) return s + e.duration;
  return s + (e.opened ? e.info.duration : 0) + 10000;
}

void TCompositeConverter::Seek(double t_ms) {
  input_.Clear();
  output_.Clear();
  started_ = true;
  for (TList* l : {&preloaded_, &active_, &finished_}) {
    for (TCompositeItem2* e : *l) {
      e->chunk_offset = -1;
      pending_.push_back(e);
    }
    l->clear();
  }
  SortPending(pending_);
  const int64_t t = static_cast<int64_t>(std::max(0.0, t_ms));
  p_ = BytePosOfTime(t);
  TList still;
  size_t i = 0;
  for (; i < pending_.size(); ++i) {
    TCompositeItem2* e = pending_[i];
    const int64_t s = e->time_line;
    if (t < s - 5000) break;
    if (t >= EntryEnd(*e)) {
      finished_.push_back(e);
      continue;
    }
    e->volumes.Seek(BytePosOfTime(t - s));
    bool ok = OpenEntry(*e);
    if (ok) e->converter->SetTargetFormat(InternalFormat());
    if (t <= s) {
      if (!ok) {
        still.push_back(e);
        continue;
      }
      e->converter->Seek(e->begin_time);
      preloaded_.push_back(e);
    } else {
      if (!ok) {
        finished_.push_back(e);  // a source that cannot open stays silent
        continue;
      }
      e->converter->Seek(static_cast<double>(t - s + e->begin_time));
      active_.push_back(e);
    }
  }
  still.insert(still.end(), pending_.begin() + static_cast<std::ptrdiff_t>(i), pending_.end());
  pending_.swap(still);
  if (main_volume_) main_volume_->Seek(p_);
  position_ = static_cast<double>(t);
}

void TCompositeConverter::MixEntry(TCompositeItem2& e, bool& finished) {
  const int64_t origin = BytePosOfTime(e.time_line);
  int32_t l = kChunkFrames;
  int32_t first = 0;
  int64_t e0 = p_ - origin;
  if (e.chunk_offset >= 0) {
    l = (kChunkBytes - e.chunk_offset) / 4;
    first = kChunkFrames - l;
    e0 = 0;
    e.chunk_offset = -1;
  }
  if (l <= 0) return;
  TWavConverter& c = *e.converter;
  const bool more = c.Fill(4 * static_cast<int64_t>(l));
  const uint8_t* src = c.Output().Data();
  e.volumes.Seek(e0);
  bool done = false;
  for (int32_t i = 0; i < l; ++i) {
    e.volumes.Step(e0 + 4 * static_cast<int64_t>(i) + 1);
    if (e.volumes.Done()) {
      done = true;
      break;
    }
    bool unity = false;
    double g = e.volumes.Gain(unity);
    if (g > 10) {
      e.volumes.Seek(e0);
      e.volumes.Step(e0 + 1);
      g = e.volumes.Gain(unity);
    }
    int32_t* m = &mix_[static_cast<size_t>(first + i) * 2];
    for (int ch = 0; ch < 2; ++ch) {
      const uint8_t* sp = src + 4 * static_cast<size_t>(i) + 2 * ch;
      int32_t s = static_cast<int16_t>(static_cast<uint16_t>(sp[0] | (sp[1] << 8)));
      if (unity || (g >= 0.99 && g < 1.01))
        m[ch] += s;
      else if (g >= 1.01 || g > 0.00001)
        m[ch] += static_cast<int32_t>(std::lround(g * s));
    }
  }
  c.Output().Consume(4 * static_cast<int64_t>(l));
  finished = !more || done;
}

bool TCompositeConverter::ProduceChunk() {
  if (!started_) Seek(0);
  if (p_ >= BytePosOfTime(params_.duration)) return false;
  std::fill(mix_.begin(), mix_.end(), 0);
  // Entries starting inside this chunk become active at their offset.
  for (auto it = preloaded_.begin(); it != preloaded_.end();) {
    const int64_t b = BytePosOfTime((*it)->time_line);
    if (b >= p_ && b <= p_ + kChunkBytes) {
      (*it)->chunk_offset = static_cast<int32_t>(b - p_);
      active_.push_back(*it);
      it = preloaded_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = active_.begin(); it != active_.end();) {
    bool finished = false;
    MixEntry(**it, finished);
    if (finished) {
      (*it)->Close();
      finished_.push_back(*it);
      it = active_.erase(it);
    } else {
      ++it;
    }
  }
  // Main volume, then clamping into the chunk.
  chunk_.Clear();
  chunk_.MakeRoom(kChunkBytes);
  auto* out = chunk_.FreeSpace();
  if (main_volume_) main_volume_->Seek(p_);
  for (int32_t c = 0; c < kChunkFrames; ++c) {
    bool unity = true;
    double g = 1.0;
    if (main_volume_) {
      main_volume_->Step(p_ + 4 * static_cast<int64_t>(c) + 1);
      g = main_volume_->Gain(unity);
    }
    for (int ch = 0; ch < 2; ++ch) {
      int64_t v = mix_[static_cast<size_t>(c) * 2 + ch];
      if (!unity) {
        if (g >= 1.01 || (g > 0.001 && g < 0.99))
          v = std::llround(g * static_cast<double>(v));
        else if (g < 0.001)
          v = 0;
      }
      int32_t s = static_cast<int32_t>(std::clamp<int64_t>(v, -32768, 32767));
      auto u = static_cast<uint16_t>(static_cast<int16_t>(s));
      out[4 * c + 2 * ch] = static_cast<uint8_t>(u & 0xFF);
      out[4 * c + 2 * ch + 1] = static_cast<uint8_t>(u >> 8);
    }
  }
  chunk_.Commit(kChunkBytes);
  p_ += kChunkBytes;
  // Preload what starts within the next five seconds.
  for (auto it = pending_.begin(); it != pending_.end();) {
    TCompositeItem2* e = *it;
    const int64_t b = BytePosOfTime(e->time_line);
    if (b < p_) {
      // Its start has passed without a source (it failed to open): it stays silent.
      finished_.push_back(e);
      it = pending_.erase(it);
      continue;
    }
    if (b > p_ + BytePosOfTime(5000)) break;
    if (OpenEntry(*e)) {
      e->converter->SetTargetFormat(InternalFormat());
      e->converter->Seek(e->begin_time);
      preloaded_.push_back(e);
      it = pending_.erase(it);
    } else {
      ++it;  // tried again with the next chunk
    }
  }
  return true;
}

bool TCompositeConverter::Process(TLocalBuffer&) {
  if (!ProduceChunk()) return false;
  return ProcessPcm(chunk_);
}

}  // namespace zem
