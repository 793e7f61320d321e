// Image objects: a picture from the show on a rectangle of the object tree, with border, crop and
// aspect crop, mip-level choice and sprite-sheet animation; the picture mask and the viewport
// that masks its content.
//
// The show object lives in namespace zem::show: zem::TZemImage names the picture of the file
// layer (a different class of the same name).
//
// Threads: built by the slide loader, then used by the engine thread alone.
#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "model/shadow.h"
#include "model/zem_object.h"

namespace zem {

// A picture's own animation: an animated picture decoded as a strip of frames.
struct TPictureAnimation {
  int32_t frameCount = 0;
  std::vector<int32_t> delays;  // ms per frame
  int32_t loopCount = 0;        // 0 repeats without end
};

// Implemented by pictures that can describe their own animation.
class IPictureAnimation {
 public:
  // False when the picture is not animated.
  virtual bool GetAnimation(TPictureAnimation& out) const = 0;

 protected:
  ~IPictureAnimation() = default;
};

struct TBorderParams {
  bool enableBorder = false;
  bool enableCrop = false;
  bool enableAspect = false;
  WideString reserved;
  float borderWidth = 3.4f;  // percent of the visible height
  uint8_t borderR = 255, borderG = 255, borderB = 255, borderA = 255;
  float cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;  // percent
  float cropLeftByWidth = 0, cropRightByWidth = 0;                 // percent; -1 = unused
  float aspectRatio = 0;   // width / height; 0 = the picture's own
  float aspectZoom = 100;  // percent
  float aspectOffsetX = 0, aspectOffsetY = 0;  // -100..100

  bool operator==(const TBorderParams&) const = default;
  uint32_t BorderArgb() const {
    return (uint32_t(borderA) << 24) | (uint32_t(borderR) << 16) | (uint32_t(borderG) << 8) | borderB;
  }
};

// The border, crop and aspect keys that pictures and video objects share ("EnableBorder" ...
// "AspectParams").
TBorderParams ReadBorderKeys(const TCommonIniSection& s);

struct TImageAnimationParams {
  int32_t columns = 1;
  int32_t rows = 1;
  int32_t frameCount = 1;
  std::vector<int32_t> intervals;  // ms, one per frame
  int32_t repeatCount = 0;         // 0 = endless
  float offset = 0;                // ms

  bool operator==(const TImageAnimationParams&) const = default;
  bool IsSpriteSheet() const { return columns > 1 || rows > 1; }
};

// Derived picture geometry.
struct TImageGeometry {
  TRectF source;         // picture pixels
  float border = 0;      // pixels
  TPointF outerSize;     // source size + twice the border
  TPointF innerOffset;   // (border, border)
};

// Geometry of a W x H picture under a border record (not a sprite sheet).
TImageGeometry ComputeImageGeometry(double W, double H, const TBorderParams& b);
// The mip level for a required size: the highest level still larger than it in both directions.
int32_t ChooseMipLevel(int32_t W, int32_t H, int32_t requiredW, int32_t requiredH);
// The sprite frame shown x ms after the animation's start (x below 0 counts as 0).
int32_t SpriteFrameAt(const TImageAnimationParams& a, double x);
// "AnimInterval": exactly `frameCount` entries; missing ones repeat the last, none parse: 100.
std::vector<int32_t> ParseAnimIntervals(WideView text, int32_t frameCount);

namespace show {

class TZemImage : public TZemObject {
 public:
  static constexpr int32_t kNoImageIndex = -2147483647;
  enum : uint8_t { kFilterNearest = 0, kFilterBilinear = 1, kFilterDefault = 2 };

  TZemImage(TZemObject* parent, WideString guid) : TZemObject(parent, std::move(guid)) {}
  ~TZemImage() override;

  void InitDefaults() override;
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  void UpdateTransform(bool recursive) override;
  void AddPrimitives(TDeviceDrawer& drawer) override;
  void Prepare(TDeviceDrawer& drawer) override;
  void Release(TDeviceDrawer& drawer) override;
  bool IsChanged() const override;
  void SnapshotState(bool recursive) override;
  bool SetTime(bool recursive, double t) override;
  const char* ClassName() const override { return "TZemImage"; }

  virtual TImageParams GetImageParams() const;
  virtual void LoadImage();
  virtual float GetImageOpacity() const { return GetOpacity(); }

  // Picture.
  const WideString& ImageName() const { return imageName_; }
  void SetImageName(const WideString& name);
  TDrawPicture* Picture() const { return picture_.get(); }
  // Hands a picture in directly (custom transitions show a rendered slide this way).
  void SetPicture(TRef<TDrawPicture> picture);

  // Properties; setters compare first and raise the properties flag only on a change.
  bool Antialiased() const { return antialiased_; }
  void SetAntialiased(bool v) { SetProp(antialiased_, v); }
  uint8_t Filtering() const { return filtering_; }
  void SetFiltering(uint8_t v) { SetProp(filtering_, v); }
  float MipLodBias() const { return mipLodBias_; }
  void SetMipLodBias(float v) { SetProp(mipLodBias_, v); }
  int32_t MipLevel() const { return mipLevel_; }
  int32_t EffectBuffer() const { return effectBuffer_; }
  void SetEffectBuffer(int32_t n) { SetProp(effectBuffer_, n); }
  int32_t ImageIndex() const { return imageIndex_; }
  const TBorderParams& Border() const { return border_; }
  void SetBorder(const TBorderParams& b);
  const TImageAnimationParams& Animation() const { return anim_; }
  void SetAnimation(const TImageAnimationParams& a);
  const TImageGeometry& Geometry() const { return geometry_; }
  bool IsSpriteSheet() const { return anim_.IsSpriteSheet(); }
  // The sprite frame at show time t.
  int32_t SpriteFrame(double t) const;
  int32_t LastSpriteFrame() const { return lastFrame_; }
  bool shadowRebuild = false;

  // The drop shadow in use now (none while ShadowEnable is off or nothing was built).
  const TShadow* CurrentShadow() const;

 protected:
  // Shadows are kept per slot: a sprite sheet's frames, a button's states; others use slot 0.
  virtual int32_t ShadowSlot() const;
  // The silhouette of the shadow of a slot; false when the object casts none.
  virtual bool ShadowSourceFor(int32_t slot, TShadowSource& out);
  // Brings the slot's shadow up to date; none when ShadowEnable is off.
  TShadow* UpdateShadow(int32_t slot);
  // Draws the current slot's shadow (call before the object's own picture).
  void DrawShadow(TDeviceDrawer& drawer);
  // Updates and prepares the shadows of these slots.
  void PrepareShadows(TDeviceDrawer& drawer, std::initializer_list<int32_t> slots);
  void ReleaseShadows(TDeviceDrawer& drawer);

  // The name the picture is requested by ("Mask: " + name for masks).
  virtual WideString RequestName() const;
  void RecomputeGeometry();
  // The picture's nominal size (0 x 0 without picture).
  TPointI PictureSize() const;

  WideString imageName_;
  TRef<TDrawPicture> picture_, previous_;
  bool applyOwnAnimation_ = false;
  bool loadAttempted_ = false;
  bool antialiased_ = true;
  uint8_t filtering_ = kFilterDefault;
  float mipLodBias_ = 0;
  int32_t mipLevel_ = 0;
  TPointI shownSize_;  // the size the mip level was chosen for (margin included)
  int32_t effectBuffer_ = 0;
  TBorderParams border_;
  TImageAnimationParams anim_;
  int32_t lastFrame_ = 0;
  int32_t imageIndex_ = kNoImageIndex;
  TImageGeometry geometry_;
  double currentTime_ = 0;
  std::vector<std::unique_ptr<TShadow>> shadows_;
};

}  // namespace show

// A picture used as a mask inside a viewport.
class TZemMask : public show::TZemImage {
 public:
  TZemMask(TZemObject* parent, WideString guid) : show::TZemImage(parent, std::move(guid)) {}
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  void Prepare(TDeviceDrawer& drawer) override;
  float GetImageOpacity() const override;
  const char* ClassName() const override { return "TZemMask"; }

 protected:
  // Masks are drawn into the viewport's mask, never with a shadow.
  bool ShadowSourceFor(int32_t, TShadowSource&) override { return false; }
  WideString RequestName() const override { return u"Mask: " + imageName_; }
};

// A mask kind that brings its own layer (the video mask).
class IMaskLayerSource {
 public:
  // Fills the layer for a viewport of that opacity; false when the mask gives no layer.
  virtual bool BuildMaskLayer(TDeviceDrawer& drawer, float viewportOpacity, TMaskedLayer& layer) = 0;

 protected:
  ~IMaskLayerSource() = default;
};

// Masks its content: the drawer shows the non-mask children through the mask children.
class TZemViewPort : public TZemObject {
 public:
  TZemViewPort(TZemObject* parent, WideString guid) : TZemObject(parent, std::move(guid)) {}
  void InitDefaults() override { SetSize(1, 1); }
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  void Draw(TDeviceDrawer& drawer) override;
  const char* ClassName() const override { return "TZemViewPort"; }

  const std::vector<TZemObject*>& Masks() const { return masks_; }
  // Whether a node is a mask of a viewport (pictures or video masks).
  static bool IsMaskNode(const TZemObject* node);

 private:
  std::vector<TZemObject*> masks_;
  bool drawing_ = false;  // set while the drawer draws the content (nested call)
};

// Installs the factory of "image", "mainimage", "mask" and "viewport" in front of the chain
// (once; later calls do nothing).
void RegisterImageKinds();

}  // namespace zem
