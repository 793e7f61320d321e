// The composite description: several audio files, each at its own place on a common timeline,
// with its own offset, duration and volume envelopes, described as one playable "file" name.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "sound/sound_format.h"
#include "sound/volume_envelope.h"

namespace zem {

// The marker that starts a composite description (36 characters, no braces).
extern const char16_t kCompositeMarker[];
bool IsCompositeText(WideView text);

class TCompositeItem : public TObj {
 public:
  TCompositeItem() : volumes(true) {}
  WideString file_name;
  int32_t time_line = 0;   // ms: start on the composite timeline
  int32_t begin_time = 0;  // ms: offset inside the file
  int32_t duration = 0;    // ms
  TVolumeParamsList volumes;
};

class TCompositeParams : public TObj {
 public:
  static constexpr int32_t kMaxEnvelopes = 1000000;
  // Points read per envelope at most (an untrusted text cannot make the reader run for ever).
  static constexpr int32_t kMaxPoints = 100000;

  // Reads every marker-prefixed block of `text`; false when the text is not a description.
  bool LoadFromText(WideView text);
  // Empty when the text cannot be produced.
  WideString SaveToText() const;
  TCompositeItem& AddItem(const WideString& file_name, int32_t time_line);
  TVolumeParamsList& MainVolume();
  bool HasMainVolume() const { return main_volume_ != nullptr; }
  std::unique_ptr<TVolumeParamsList> TakeMainVolume() { return std::move(main_volume_); }
  // Format code 9, the internal format, Duration as the length.
  void FillMediaInfo(TMediaInfo& info) const;
  bool Valid() const { return duration > 0 && !items_.empty(); }
  void Clear();

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TCompositeItem& Item(int32_t i) { return *items_[static_cast<size_t>(i)]; }
  std::vector<std::unique_ptr<TCompositeItem>>& Items() { return items_; }

  int32_t duration = 0;  // ms: length of the whole mix

 protected:
  virtual std::unique_ptr<TCompositeItem> NewItem() const { return std::make_unique<TCompositeItem>(); }

 private:
  bool LoadBlock(WideView block, int32_t shift);
  std::vector<std::unique_ptr<TCompositeItem>> items_;
  std::unique_ptr<TVolumeParamsList> main_volume_;
};

}  // namespace zem
