// Video objects: a clip shown on a rectangle of the object tree ("video", "mainvideo") or used
// as the mask of a viewport ("videomask"). Clips described once in the script's clip records
// ("VideoBoss" / "videoclip", by GUID) run on the show's time line and play on from slide to
// slide: every object of one repeat that refers to one record shares one decoder
// (TExtractorWrapper) and one held frame.
//
// Threads: objects, wrappers and clip records are made on the slide loader thread; AddPrimitives
// and FrameDone run on the engine thread, Preload on either. Frames travel through the
// extractor's monitor; the wrapper's held frame and use count belong to the drawing thread.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "model/shadow.h"
#include "model/video_extractor.h"
#include "model/zem_image.h"

namespace zem {

// Exports draw every clip frame exactly: the drawing thread waits for the decoder instead of
// drawing the nearest decoded frame. Set once before a show opens (any thread).
void SetVideoFramesExact(bool exact);
bool VideoFramesExact();

// Clip frames drawn in this process, and those that were not the frame of their show time
// (counted when a drawn frame is given back; any thread may read them).
struct TVideoFrameTotals {
  int64_t drawn = 0, missed = 0;
};
TVideoFrameTotals VideoFrameTotals();

class TExtractorWrapper;

// One clip record bound to a wrapper.
class TVideoClip2 : public TObj {
 public:
  TVideoClip2(TZemSlideHost* host, TExtractorWrapper* wrapper) : host_(host), wrapper_(wrapper) {}

  // Reads the record: "LoadFromDisk" into the wrapper, "FileName" through the wrapper's SetFile,
  // the other keys, then the clip anchor.
  void Read(const TCommonIniSection& record);
  // Checks StartVideoTime and Duration against the wrapper's file (out of range values take the
  // file's duration, or 0) and writes the record back.
  void CheckAgainstFile();
  // Rewrites the record's keys where the host allows writing.
  void WriteBack();

  TExtractorWrapper* Wrapper() const { return wrapper_; }
  double duration = 0, startZEMTime = 0, startVideoTime = 0, fpsMultiplier = 1;
  bool mute = false;
  WideString clipCaption, masterID, clipGUID;
  int32_t startSlideIdx = 0;
  double anchor = 0;  // ms on the show's time line

 private:
  TZemSlideHost* host_;
  TExtractorWrapper* wrapper_;
};

class TExtractorWrapper : public TRefObj {
 public:
  enum : int32_t { kReady = 0, kNoSource = 1, kNotOpened = 2 };

  // The host's wrapper of that key with one more reference, made and listed when missing.
  static TRef<TExtractorWrapper> Get(TZemSlideHost* host, const WideString& key);
  ~TExtractorWrapper() override;

  // Opens the clip (from disk with LoadFromDisk, else from the show) and replaces the decoder.
  void SetFile(const WideString& name);
  const WideString& FileName() const { return fileName_; }
  // Frame count / frame rate x 1000; 0 without a source.
  double Duration() const;
  bool EnsureSurfaces(TDeviceDrawer& drawer, bool mask);
  void PreloadFrame(bool force, double position);
  // The frame for the position, shared by every object of the wrapper within one drawn frame;
  // null when no picture can be had.
  const TZemVideoExtractor::TEntry* AcquireFrame(double rate, double position);
  void ReleaseFrame();
  void FrameWindow(int64_t n, double& start, double& end) const;

  bool HasSource() const { return extractor_ != nullptr; }
  const video::TVideoParams& Params() const;
  TZemVideoExtractor* Extractor() const { return extractor_.get(); }
  int32_t Status() const { return status_; }
  bool loadFromDisk = false;
  const WideString& GuidPart() const { return guidPart_; }
  const WideString& Key() const { return key_; }
  TVideoClip2* Clip() const { return clips_.empty() ? nullptr : clips_.front().get(); }
  TVideoClip2* AddClip();
  // Frames drawn, and those whose picture was not the frame wanted for their time.
  int64_t FramesDrawn() const { return framesDrawn_; }
  int64_t FramesMissed() const { return framesMissed_; }

 private:
  TExtractorWrapper(TZemSlideHost* host, WideString key);

  TRef<TZemSlideHost> host_;
  TRef<TZemVideoExtractor> extractor_;
  WideString fileName_;
  int32_t status_ = kNotOpened;
  TZemVideoExtractor::TEntry held_;  // the shared held frame (drawing thread)
  int32_t heldUses_ = 0;
  bool surfacesMade_ = false;
  bool preloaded_ = false;
  bool loggedNoPicture_ = false;
  int64_t framesDrawn_ = 0, framesMissed_ = 0;  // drawing thread
  std::vector<std::unique_ptr<TVideoClip2>> clips_;
  WideString guidPart_, key_;
};

class TZemVideo : public TZemObject {
 public:
  static constexpr int32_t kNoImageIndex = -2147483647;
  enum : uint8_t { kDeintAuto = 0, kDeintWave = 1, kDeintBobEven = 2, kDeintBobOdd = 3 };

  TZemVideo(TZemObject* parent, WideString guid) : TZemObject(parent, std::move(guid)) {}
  ~TZemVideo() override;

  void InitDefaults() override;
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  bool SetTime(bool recursive, double t) override;
  void Preload(TDeviceDrawer& drawer, double t) override;
  void AddPrimitives(TDeviceDrawer& drawer) override;
  void FrameDone(TDeviceDrawer& drawer) override;
  void Prepare(TDeviceDrawer& drawer) override;
  void Release(TDeviceDrawer& drawer) override;
  const char* ClassName() const override { return "TZemVideo"; }
  virtual bool IsVideoMask() const { return false; }

  // Clip position (ms) for x ms since SlideBegin.
  double MediaPosition(double x) const;
  void SetFileName(const WideString& name);
  void UpdateVideoGeometry();
  // The main image's answer: the clip's file name and, with a source, the frame size.
  bool MainImageInfo(WideString& name, TPointI& size) const;

  // Reading results.
  const WideString& ClipGUID() const { return clipGUID_; }
  TVideoClip2* Clip() const { return clip_; }
  TExtractorWrapper* Wrapper() const { return wrapper_.get(); }
  double Duration() const { return duration_; }
  double StartZEMTime() const { return startZEMTime_; }
  double StartVideoTime() const { return startVideoTime_; }
  double FPSMultiplier() const { return fpsMultiplier_; }
  bool Mute() const { return mute_; }
  uint8_t DeinterlaceType() const { return deinterlaceType_; }
  bool AntialiasedBorder() const { return antialiasedBorder_; }
  const TBorderParams& Border() const { return border_; }
  const TRectF& SourceRect() const { return source_; }
  TPointF OuterSize() const { return outer_; }
  TPointF BorderWidths() const { return borderWidths_; }
  double AspectFactor() const { return aspect_; }
  int32_t ImageIndex() const { return imageIndex_; }
  TDrawPicture* StatusPicture() const { return status_.get(); }
  // The drop shadow (none while ShadowEnable is off or before it is built).
  const TShadow* Shadow() const { return shadowEnable ? shadow_.get() : nullptr; }
  // The frame held between drawing and FrameDone; null otherwise.
  const TZemVideoExtractor::TEntry* HeldFrame() const { return held_; }
  double requestRate = 60.0;  // per second

 protected:
  // x for the keypoint list's current time.
  double TimeInSlide() const;
  // The deinterlace mode for a held frame at clip position p.
  uint8_t DeinterlaceMode(int64_t heldIndex, double p) const;
  // Fills the drawer's record for the held frame.
  TVideoParams DrawParams(float opacity, uint8_t deinterlace) const;
  // Offset of the frame's content (step 8 of drawing).
  TPointF ContentOffset() const;
  void Bind(const WideString& clipGuid);
  // Brings the shadow up to date: a rectangle of the frame's inner size, the border as its
  // margin at the border colour's alpha. None while ShadowEnable is off or the size is empty.
  TShadow* UpdateShadow();
  // Holds the wrapper's frame for this drawn frame; false without one.
  bool HoldFrame(TDeviceDrawer& drawer, double rate, double p, bool mask);

  TVideoClip2* clip_ = nullptr;
  WideString clipGUID_;
  double duration_ = 10000, startZEMTime_ = 0, startVideoTime_ = 0, fpsMultiplier_ = 1;
  bool mute_ = false;
  TRef<TExtractorWrapper> wrapper_;
  TBorderParams border_;
  uint8_t deinterlaceType_ = kDeintAuto;
  bool antialiasedBorder_ = true;
  float chroma_[3] = {0, 0, 0};
  float chromaDelta_ = 0;
  int32_t imageIndex_ = kNoImageIndex;
  TPointF outer_;
  TRectF source_;
  TPointF borderWidths_;
  const TZemVideoExtractor::TEntry* held_ = nullptr;  // engine thread, between drawing and FrameDone
  TRef<TDrawPicture> status_;
  double aspect_ = 1.0;
  bool waitForConvert_ = false;
  WideString fileName_;
  std::unique_ptr<TShadow> shadow_;
};

// A clip as the mask of a viewport.
class TZemVideoMask : public TZemVideo, public IMaskLayerSource {
 public:
  TZemVideoMask(TZemObject* parent, WideString guid) : TZemVideo(parent, std::move(guid)) {}
  void InitDefaults() override;
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  const char* ClassName() const override { return "TZemVideoMask"; }
  bool IsVideoMask() const override { return true; }
  bool BuildMaskLayer(TDeviceDrawer& drawer, float viewportOpacity, TMaskedLayer& layer) override;
  bool Invert() const { return invert_; }

 private:
  bool invert_ = false;
};

// Installs the factory of "video", "mainvideo" and "videomask" (once).
void RegisterVideoKinds();

}  // namespace zem
