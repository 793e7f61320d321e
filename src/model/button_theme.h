// Button themes: a folder of the show holding "btn.ini" and the piece pictures. The theme knows
// its nominal size, the caption's colour and margins, and builds the button picture of a state
// at any width (only the middle columns stretch), colour-adjusted.
//
// Threads: a theme is shared by the buttons of one host (loader and engine thread); its piece
// cache has its own lock, held only to look up and insert.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "resources/bitmap_store.h"
#include "resources/generated/button_pixels.h"
#include "resources/generated/shadow_builder.h"

namespace zem {

class TFileAccessor;
class TIniStorage;

struct TButtonPieceSource {
  WideString file;  // empty: no piece
  TRectI rect;
};

class TButtonProducer : public TRefObj {
 public:
  // Caps on a theme's height and on button pictures; larger ones give no picture.
  static constexpr int32_t kMaxHeight = 4096;
  static constexpr int32_t kMaxWidth = 16384;
  static constexpr int64_t kMaxPixels = int64_t(1) << 24;
  enum : uint8_t { kFilterNearest = 0, kFilterBilinear = 1, kFilterDefault = 2 };

  // Reads `folder` + "btn.ini" (folder ends with "\"); none when it cannot be read.
  static TRef<TButtonProducer> Load(const TFileAccessor& files, const WideString& folder, const WideString& name);
  // Reads a theme from its script (the pieces are looked up under `folder`).
  TButtonProducer(const TIniStorage& ini, WideString folder, WideString name);

  const WideString& Name() const { return name_; }
  const WideString& Folder() const { return folder_; }
  // A usable size: the height 1..kMaxHeight, the nominal width 1..kMaxWidth.
  bool Valid() const { return valid_; }
  int32_t Height() const { return height_; }
  int32_t NominalWidth() const { return nominalWidth_; }
  uint32_t TextColour() const { return textColour_; }  // 0xRRGGBB
  float BtnOffset() const { return btnOffset_; }
  float BtnMinWidth() const { return btnMinWidth_; }
  uint8_t Filtering() const { return filtering_; }
  const TButtonPieceSource& Piece(int32_t state, int32_t piece) const { return pieces_[state][piece]; }

  // The picture of a state at a width, colour-adjusted. When a piece picture cannot be loaded
  // the picture reads "Incorrect Image: " + its file name instead; without files it reads
  // "FileOpenError". Empty when the theme or the width is not usable (logged), or the continue
  // test failed.
  TBitmap Build(int32_t state, int32_t width, int32_t hue, int32_t saturation, int32_t lightness,
                const TFileAccessor* files, const TKeepGoing& keepGoing = {});

 private:
  // The decoded piece picture of a file name, loaded once; none when it cannot be loaded.
  TRef<TBitmapStore> PiecePicture(const TFileAccessor& files, const WideString& file);
  TBitmap TextPicture(const WideString& text) const;

  WideString name_, folder_;
  bool valid_ = false;
  int32_t height_ = 0, nominalWidth_ = 0;
  uint32_t textColour_ = 0;
  float btnOffset_ = 0, btnMinWidth_ = 0;
  uint8_t filtering_ = kFilterDefault;
  TButtonPieceSource pieces_[3][kPieceCount];

  std::mutex lock_;
  std::map<WideString, TRef<TBitmapStore>> loaded_;  // none = cannot be loaded
};

}  // namespace zem
