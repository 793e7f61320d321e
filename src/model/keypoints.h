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
  float colorAmount = 0;  // 0..1
  uint8_t colorOff = 1;   // colorisation off
  uint8_t colorR = 255, colorG = 255, colorB = 255;
};

// Values of a new list: opacity and scales 100, everything else 0.
TKeyValues ListStartValues();

// The float values of TKeyValues by index, in declaration order.
enum TKeyField : uint8_t {
  kKeyOpacity, kKeyAngle, kKeyScaleX, kKeyScaleY, kKeyPosX, kKeyPosY, kKeyZPos,
  kKeyCenterX, kKeyCenterY, kKeyAngleX, kKeyAngleY, kKeyBlur, kKeyColorAmount, kKeyFieldCount
};

// A keypoint is owned by its list and never moves (callers keep pointers across insertions and
// re-sorts). Not a TObj, and it keeps only the float values that differ from a new keypoint's
// (a keypoint of a large show sets one to four): up to four in place, more in a block of all
// thirteen. 48 bytes (shows hold hundreds of thousands of keypoints).
class TKeyPoint final {
 public:
  static constexpr float kMinScale = 0.001f;

  // Adds itself to the owner's list (not re-sorted: use TKeyPointList::AddKeypoint).
  explicit TKeyPoint(TKeyPointList* owner);
  TKeyPoint(const TKeyPoint&) = delete;
  TKeyPoint& operator=(const TKeyPoint&) = delete;
  ~TKeyPoint();

  TKeyPointList* Owner() const { return owner_; }
  uint8_t Origin() const { return origin_; }
  double Offset() const { return offset_; }
  // Resolved show time: the origin's anchor plus the offset (refreshed by the list).
  double Time() const { return time_; }
  TKeyValues Values() const;
  float Value(TKeyField field) const;

  void SetOrigin(uint8_t origin);
  void SetOffset(double offset);

  // Setters raise the changed flag when the value differs at four decimals.
  void SetOpacity(float v) { SetField(kKeyOpacity, v); }
  void SetAngle(float v) { SetField(kKeyAngle, v); }
  void SetScaleX(float v) { SetField(kKeyScaleX, v < kMinScale ? kMinScale : v); }
  void SetScaleY(float v) { SetField(kKeyScaleY, v < kMinScale ? kMinScale : v); }
  void SetPosX(float v) { SetField(kKeyPosX, v); }
  void SetPosY(float v) { SetField(kKeyPosY, v); }
  void SetZPos(float v) { SetField(kKeyZPos, v); }
  void SetCenterX(float v) { SetField(kKeyCenterX, v); }
  void SetCenterY(float v) { SetField(kKeyCenterY, v); }
  void SetAngleX(float v) { SetField(kKeyAngleX, v); }
  void SetAngleY(float v) { SetField(kKeyAngleY, v); }
  void SetBlur(float v) { SetField(kKeyBlur, v); }
  void SetColorisation(bool off, uint8_t r, uint8_t g, uint8_t b, float amount);
  // All values through the setters.
  void SetValues(const TKeyValues& v);

 private:
  friend class TKeyPointList;
  static constexpr int kInline = 4;
  static constexpr uint16_t kOnHeap = 0x8000;
  void SetField(TKeyField field, float v);
  // Stores a value (nothing for a default value not stored yet).
  void Store(TKeyField field, float v);

  TKeyPointList* owner_;
  double offset_ = 0;
  double time_ = 0;
  // Bit i: value i is stored (in place, in index order); kOnHeap: all of them are in heap_.
  uint16_t stored_ = 0;
  uint8_t origin_ = kSlideBegin;

 public:
  bool changed = false;

 private:
  uint8_t colorOff_ = 1, colorR_ = 255, colorG_ = 255, colorB_ = 255;
  union {
    float inline_[kInline] = {};
    float* heap_;
  };
};

// The keypoints of a list in time order, owned. Two words: up to two keypoints are held in them
// (most objects have one or two, and a block of their own would cost each of them 32 bytes); a
// third moves them all to a vector, whose address the first word then holds.
class TKeyPointRefs {
 public:
  TKeyPointRefs() = default;
  TKeyPointRefs(const TKeyPointRefs&) = delete;
  TKeyPointRefs& operator=(const TKeyPointRefs&) = delete;
  ~TKeyPointRefs();

  TKeyPoint** begin() { return OnHeap() ? Heap().data() : slots_; }
  TKeyPoint** end() { return begin() + size(); }
  TKeyPoint* const* begin() const { return OnHeap() ? Heap().data() : slots_; }
  TKeyPoint* const* end() const { return begin() + size(); }
  size_t size() const {
    if (OnHeap()) return Heap().size();
    return slots_[0] ? (slots_[1] ? 2 : 1) : 0;
  }
  bool empty() const { return size() == 0; }
  TKeyPoint* operator[](size_t i) const { return begin()[i]; }
  TKeyPoint* front() const { return begin()[0]; }
  TKeyPoint* back() const { return begin()[size() - 1]; }
  // Appends (never null) and takes ownership.
  void push_back(TKeyPoint* point);
  // Frees every keypoint.
  void clear();

 private:
  using THeap = std::vector<TKeyPoint*>;
  // The second word's value while the keypoints are on the heap: no keypoint has this address.
  static TKeyPoint* HeapTag();
  bool OnHeap() const { return slots_[1] == HeapTag(); }
  THeap& Heap() const { return *reinterpret_cast<THeap*>(slots_[0]); }

  TKeyPoint* slots_[2] = {nullptr, nullptr};
};

// The keypoints of one object and its current values. Evaluation allocates nothing: an eased
// group sets up a smoother on the stack (the list does not carry the smoother's working state,
// which would cost every object 88 bytes).
class TKeyPointList : public TObj {
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

  TSpeedStorage& PanProfile() { return Profile(kPan); }
  TSpeedStorage& ZoomProfile() { return Profile(kZoom); }
  TSpeedStorage& RotateProfile() { return Profile(kRotate); }
  bool HasPanProfile() const { return Find(kPan) != nullptr; }
  bool HasZoomProfile() const { return Find(kZoom) != nullptr; }
  bool HasRotateProfile() const { return Find(kRotate) != nullptr; }
  void SyncProfileKeys();

  bool AnyKeypointChanged() const;
  void ClearChanged(bool value);

  int32_t Count() const { return static_cast<int32_t>(points_.size()); }
  TKeyPoint* At(int32_t i) const { return points_[static_cast<size_t>(i)]; }

  double CurrentTime() const { return time_; }
  bool InWindow() const { return inWindow_; }

  TKeyValues current;
  uint8_t perspectiveCorrection = 0;

 private:
  friend class TKeyPoint;
  enum TGroup : uint8_t { kPan = 0, kZoom = 1, kRotate = 2 };
  // Most objects have no speed profile: the three are made together, on the first one asked for.
  struct TProfiles {
    std::unique_ptr<TSpeedStorage> group[3];
  };
  TSpeedStorage& Profile(TGroup group);
  const TSpeedStorage* Find(TGroup group) const { return profiles_ ? profiles_->group[group].get() : nullptr; }
  void Resort();
  // The eased interval of a profile at t, or null.
  const TInterval* EasedInterval(const TSpeedStorage* profile, double t) const;
  double CorrectedFraction(double f, double t) const;
  double CorrectedTime(const TInterval& iv, double t) const;
  void Interpolate(const TKeyPoint& a, const TKeyPoint& b, float f, double t);
  void CopyPoint(const TKeyPoint& k);

  bool inWindow_ = false;
  double time_ = 0;
  TKeyPointRefs points_;
  std::unique_ptr<TProfiles> profiles_;
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
