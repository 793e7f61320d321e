// Keypoint animation: snapshots of an object's animated values at moments of the show, and the
// list that evaluates the current values at any show time.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "model/speed_profile.h"

namespace zem {

class TKeyPointList;
class TZemObject;

// Time anchors of a slide, by origin.
enum TKeyOrigin : uint8_t { kSlideBegin = 0, kPrevEffectEnd = 1, kNextEffectBegin = 2, kSlideEnd = 3 };

// One set of animated values. Angles in radians, opacity and scales in percent.
struct TKeyValues {
  float opacity = 100;
  float angle = 0;
  float scaleX = 100, scaleY = 100;
  float posX = 0, posY = 0, zPos = 0;
  float centerX = 0, centerY = 0;
  float angleX = 0, angleY = 0;
  float blur = 0;
  uint8_t colorOff = 1;  // colorisation off
  float colorAmount = 0; // 0..1
  uint8_t colorR = 255, colorG = 255, colorB = 255;
};

// Values of a new list: opacity and scales 100, everything else 0.
TKeyValues ListStartValues();

class TKeyPoint : public TObj {
 public:
  static constexpr float kMinScale = 0.001f;

  // Adds itself to the owner's list (not re-sorted: use TKeyPointList::AddKeypoint).
  explicit TKeyPoint(TKeyPointList* owner);

  TKeyPointList* Owner() const { return owner_; }
  uint8_t Origin() const { return origin_; }
  double Offset() const { return offset_; }
  // Resolved show time: the origin's anchor plus the offset (refreshed by the list).
  double Time() const { return time_; }
  const TKeyValues& Values() const { return v_; }

  void SetOrigin(uint8_t origin);
  void SetOffset(double offset);

  // Setters raise the changed flag when the value differs at four decimals.
  void SetOpacity(float v) { SetField(&TKeyValues::opacity, v); }
  void SetAngle(float v) { SetField(&TKeyValues::angle, v); }
  void SetScaleX(float v) { SetField(&TKeyValues::scaleX, v < kMinScale ? kMinScale : v); }
  void SetScaleY(float v) { SetField(&TKeyValues::scaleY, v < kMinScale ? kMinScale : v); }
  void SetPosX(float v) { SetField(&TKeyValues::posX, v); }
  void SetPosY(float v) { SetField(&TKeyValues::posY, v); }
  void SetZPos(float v) { SetField(&TKeyValues::zPos, v); }
  void SetCenterX(float v) { SetField(&TKeyValues::centerX, v); }
  void SetCenterY(float v) { SetField(&TKeyValues::centerY, v); }
  void SetAngleX(float v) { SetField(&TKeyValues::angleX, v); }
  void SetAngleY(float v) { SetField(&TKeyValues::angleY, v); }
  void SetBlur(float v) { SetField(&TKeyValues::blur, v); }
  void SetColorisation(bool off, uint8_t r, uint8_t g, uint8_t b, float amount);
  // All values through the setters.
  void SetValues(const TKeyValues& v);

  bool changed = false;

 private:
  friend class TKeyPointList;
  void SetField(float TKeyValues::*field, float v);

  TKeyPointList* owner_;
  uint8_t origin_ = kSlideBegin;
  double offset_ = 0;
  double time_ = 0;
  TKeyValues v_;
};

// The keypoints of one object and its current values. The smoother state is the list's own, so
// evaluation allocates nothing.
class TKeyPointList : public TSmoother {
 public:
  TKeyPointList();
  ~TKeyPointList() override;

  // Anchor time (ms) of an origin 0..3.
  virtual double GetAnchor(uint8_t origin) const = 0;
  // Evaluates the current values at show time t (ms).
  virtual void SetTime(double t);

  TKeyPoint* AddKeypoint(uint8_t origin, double offset);
  void CopyCurrentTo(TKeyPoint* kp) const;
  void Clear();

  // Re-resolves every keypoint time against the anchors and re-sorts the list.
  void RefreshTimes();

  TSpeedStorage& PanProfile() { return Profile(pan_); }
  TSpeedStorage& ZoomProfile() { return Profile(zoom_); }
  TSpeedStorage& RotateProfile() { return Profile(rotate_); }
  bool HasPanProfile() const { return pan_ != nullptr; }
  bool HasZoomProfile() const { return zoom_ != nullptr; }
  bool HasRotateProfile() const { return rotate_ != nullptr; }
  void SyncProfileKeys();

  bool AnyKeypointChanged() const;
  void ClearChanged(bool value);

  int32_t Count() const { return static_cast<int32_t>(points_.size()); }
  TKeyPoint* At(int32_t i) const { return points_[static_cast<size_t>(i)].get(); }

  double CurrentTime() const { return time_; }
  bool InWindow() const { return inWindow_; }

  TKeyValues current;
  uint8_t perspectiveCorrection = 0;

 private:
  friend class TKeyPoint;
  TSpeedStorage& Profile(std::unique_ptr<TSpeedStorage>& p);
  void Resort();
  // The eased interval of a profile at t, or null.
  const TInterval* EasedInterval(const TSpeedStorage* profile, double t) const;
  double CorrectedFraction(double f, double t) const;
  double CorrectedTime(const TInterval& iv, double t) const;
  void Interpolate(const TKeyPoint& a, const TKeyPoint& b, float f, double t);
  void CopyPoint(const TKeyPoint& k);

  std::vector<std::unique_ptr<TKeyPoint>> points_;
  double time_ = 0;
  bool inWindow_ = false;
  std::unique_ptr<TSpeedStorage> pan_, zoom_, rotate_;
};

// The list an object owns: anchors come from the object's slide.
class TKeyPoints : public TKeyPointList {
 public:
  explicit TKeyPoints(TZemObject* owner) : owner_(owner) {}
  double GetAnchor(uint8_t origin) const override;
  TZemObject* Owner() const { return owner_; }

 private:
  TZemObject* owner_;
};

}  // namespace zem
