// The show object tree: every node of a slide is a TZemObject. A node is read from its section
// of the show script, animates through its keypoint list, places itself in its parent's frame,
// draws through the drawer and answers hit tests.
//
// Threads: a tree is built by the slide loader and then used by the engine thread alone.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "model/draw_interface.h"
#include "model/geometry.h"
#include "model/keypoints.h"
#include "script/action_info.h"

namespace zem {

class TCommonIniSection;
class TShadow;
class TZemObject;
class TZemSlide;
class TZemSlideHost;

enum TFitMode : uint8_t { kFitNone = 0, kFitPlaceInto = 1, kFitCover = 2 };
enum TPosMode : uint8_t { kModeAbsolute = 0, kModePercent = 1 };

// Nodes nest at most this deep below their slide; deeper sections are skipped while reading,
// so every walk over a tree has bounded recursion.
constexpr int32_t kMaxTreeDepth = 64;

// Visual state of nodes with a hover and a click look (buttons, text with an action).
enum class TVisualState : uint8_t { Normal = 0, Hover = 1, Click = 2 };
class IZemVisualStates {
 public:
  virtual void SetVisualState(TVisualState state) = 0;
  virtual TVisualState GetVisualState() const = 0;

 protected:
  ~IZemVisualStates() = default;
};

// Owns the keypoint list and exposes its current values.
class TZemParams : public TDrawItem {
 public:
  TKeyPoints& Keys() { return keys_; }
  const TKeyPoints& Keys() const { return keys_; }
  const TKeyValues& Current() const { return keys_.current; }

  float Opacity() const { return keys_.current.opacity; }
  float Angle() const { return keys_.current.angle; }
  float ScaleX() const { return keys_.current.scaleX; }
  float ScaleY() const { return keys_.current.scaleY; }
  TVec3 Position() const { return {keys_.current.posX, keys_.current.posY, keys_.current.zPos}; }
  TPointF CenterPos() const { return {keys_.current.centerX, keys_.current.centerY}; }
  float AngleX() const { return keys_.current.angleX; }
  float AngleY() const { return keys_.current.angleY; }
  float Blur() const { return keys_.current.blur; }
  bool PerspectiveCorrection() const { return keys_.perspectiveCorrection != 0; }

 protected:
  explicit TZemParams(TZemObject* owner) : keys_(owner) {}

  // The object's own small settings, declared here to fill the space the drawing flags leave
  // before the list.
  uint8_t depth_ = 0;  // at most kMaxTreeDepth
  uint8_t fitMode_ = kFitPlaceInto, posMode_ = kModePercent, centerMode_ = kModePercent;
  uint8_t snapColorOff_ = 0;

  // Held inline: a block of its own would cost every object an allocation.
  TKeyPoints keys_;
};

// A node's children in drawing order, and the world matrix they are placed with (the node's own,
// from its last transform). Most nodes of a large show are leaves: they hold neither.
class TZemChildren {
 public:
  using TList = std::vector<TZemObject*>;
  const TList& List() const { return block_ ? block_->list : Empty(); }
  TList::const_iterator begin() const { return List().begin(); }
  TList::const_iterator end() const { return List().end(); }
  size_t size() const { return List().size(); }
  bool empty() const { return List().empty(); }
  TZemObject* operator[](size_t i) const { return List()[i]; }
  TZemObject* front() const { return List().front(); }
  TZemObject* back() const { return List().back(); }
  void push_back(TZemObject* child) {
    if (!block_) block_ = std::make_unique<TBlock>();
    block_->list.push_back(child);
  }
  void erase(size_t i) { block_->list.erase(block_->list.begin() + static_cast<ptrdiff_t>(i)); }
  void clear() {
    if (block_) block_->list.clear();
  }
  // Identity until a transform of a node that has had children sets it.
  const TMatrix3& World() const { return block_ ? block_->world : Identity(); }
  // Kept only by a node that has (or had) children: nothing else reads it.
  void SetWorld(const TMatrix3& world) {
    if (block_) block_->world = world;
  }

 private:
  struct TBlock {
    TList list;
    TMatrix3 world;
  };
  static const TList& Empty();
  static const TMatrix3& Identity();
  std::unique_ptr<TBlock> block_;
};

// A text of 16 bytes: up to seven characters in place (the names of a large show's objects),
// longer ones in a block of their own.
class TShortText {
 public:
  TShortText() = default;
  TShortText(const TShortText&) = delete;
  TShortText& operator=(const TShortText&) = delete;
  ~TShortText() { Free(); }
  TShortText& operator=(const WideString& s);
  WideString Str() const;

 private:
  static constexpr size_t kInline = 7;
  static constexpr uint8_t kOnHeap = 0xFF;
  void Free();

  // In place: the characters. On the heap: the block's address, then its length (uint32_t).
  alignas(8) unsigned char bytes_[15] = {};
  uint8_t size_ = 0;  // characters in place, or kOnHeap
};
static_assert(sizeof(TShortText) == 16);

// Accepts or rejects a node found by the hit search.
using THitFilter = bool (*)(TZemObject* node, void* data);

class TZemObject : public TZemParams {
 public:
  // Makes a node of kind T and completes its construction (kind defaults). The node is owned by
  // its parent; a node made without a parent is owned by the caller.
  template <class T, class... A>
  static T* Create(A&&... args) {
    T* node = new T(std::forward<A>(args)...);
    node->InitDefaults();
    return node;
  }

  // Frees the children, detaches from the parent and frees the keypoint list.
  ~TZemObject() override;
  bool IsChanged() const override;
  float GetBlur() const override { return Blur(); }
  void FrameDone(TDeviceDrawer& drawer) override;
  void Draw(TDeviceDrawer& drawer) override;
  // Slide's opacity scale x own Opacity / 100; the parent's opacity is not inherited.
  virtual float GetOpacity() const;
  virtual void UpdateTransform(bool recursive);
  virtual double GetAnchorTime(uint8_t origin) const;
  virtual TPointI GetParentSize() const;
  // The parent's world frame and matrix.
  virtual const TFrame3& GetParentFrame() const;
  // True when the screen point falls inside the node's rectangle; gives local coordinates.
  virtual bool HitTestPoint(const TPointF& point, float& x, float& y);
  virtual void AddPrimitives(TDeviceDrawer& drawer);
  virtual void ReadKeypointValues(const TCommonIniSection& section);
  virtual void ReadContent(const TCommonIniSection& section);
  virtual void ReadSection(const TCommonIniSection& section, bool reload);
  // Evaluates the keypoints at show time t (ms); answers and stores the in-window flag.
  virtual bool SetTime(bool recursive, double t);
  virtual void InitDefaults() {}
  virtual void SetPressed(bool pressed) { pressed_ = pressed; }
  virtual TZemSlideHost* GetHost() const;
  virtual TZemSlide* GetSlide() const;
  virtual bool CheckEdgeOnHit();
  virtual bool KeypointsChanged() const;
  virtual void Prepare(TDeviceDrawer& drawer);
  virtual void Preload(TDeviceDrawer& drawer, double t);
  virtual void Release(TDeviceDrawer& drawer);
  // Topmost hit first: children from the last to the first, then the node itself.
  virtual TZemObject* FindHit(float x, float y, THitFilter filter, void* filterData, TPointF& local);
  virtual TZemObject* HitTest(float x, float y, bool searchChildren, TPointF& local);
  virtual void SetTimeAndUpdate(bool recursive, double t);
  // Remembers opacity, blur and colorisation; clears the dirty flags and keypoint changes.
  virtual void SnapshotState(bool recursive);

  // Name of the node's class, for tools and logs.
  virtual const char* ClassName() const { return "TZemObject"; }
  // Default of "ShadowEnable" (text nodes answer true).
  virtual bool DefaultShadowEnable() const { return false; }

  // Tree.
  TZemObject* Parent() const { return parent_; }
  int32_t ChildCount() const { return static_cast<int32_t>(children_.size()); }
  TZemObject* Child(int32_t i) const { return children_[static_cast<size_t>(i)]; }
  const std::vector<TZemObject*>& Children() const { return children_.List(); }
  int32_t Depth() const { return depth_; }

  // Identity.
  // The "GUID" key, or a new GUID made on the first call for a node read without one (large
  // shows have many objects that nothing asks for; the tree's thread only).
  const WideString& Guid() const;
  WideString Caption() const { return caption_.Str(); }
  const WideString& ActionText() const { return ExtraOrDefaults().actionText; }
  const TZemActionInfo& Action() const { return ExtraOrDefaults().action; }
  void SetAction(const WideString& text);

  // Common properties.
  float TimeScale() const { return ExtraOrDefaults().timeScale; }
  void SetTimeScale(float s);
  uint8_t FitMode() const { return fitMode_; }
  uint8_t PosMode() const { return posMode_; }
  uint8_t CenterMode() const { return centerMode_; }
  void SetFitMode(uint8_t v) { SetProp(fitMode_, v); }
  void SetPosMode(uint8_t v) { SetProp(posMode_, v); }
  void SetCenterMode(uint8_t v) { SetProp(centerMode_, v); }
  double DeltaTime1() const { return ExtraOrDefaults().deltaTime1; }
  double DeltaTime2() const { return ExtraOrDefaults().deltaTime2; }
  void SetDeltaTimes(double d1, double d2);
  bool TranspForClick() const { return transpForClick_; }
  bool HideFront() const { return hideFront_; }
  bool HideBack() const { return hideBack_; }
  bool ChildInvis() const { return childInvis_; }
  void SetTranspForClick(bool v) {
    if (transpForClick_ != v) {
      transpForClick_ = v;
      changedProps_ = true;
    }
  }
  void SetHideMode(int32_t mode);
  void SetChildInvis(bool v) {
    if (childInvis_ != v) {
      childInvis_ = v;
      changedProps_ = true;
    }
  }
  TPointI Size() const { return size_; }
  void SetSize(int32_t w, int32_t h);

  // Derived transform state.
  const TFrame3& Frame() const { return frame_; }
  // The world matrix of the last transform, kept for placing the children: identity for a node
  // that has never had children.
  const TMatrix3& World() const { return children_.World(); }
  bool FrameValid() const { return frameValid_; }
  TPointF LocalTopLeft() const { return localTopLeft_; }
  // The fit factor times ScaleX, ScaleY as the transform computes them now (nothing draws from
  // them, so they are not kept).
  double FitScaleX() const;
  double FitScaleY() const;
  // World corners: top-left, top-right, bottom-right, bottom-left.
  void Corners(TVec3 out[4]) const;

  // Visibility.
  bool InWindow() const { return inWindow_; }
  bool HiddenByAncestor() const { return hiddenByAncestor_; }
  bool FacingShows() const { return facingShows_; }
  // In its window, shown by the facing test and not hidden by an ancestor.
  bool IsShown() const { return inWindow_ && facingShows_ && !hiddenByAncestor_; }
  bool Pressed() const { return pressed_; }

  // Display-size analysis results (the sizes and depth are single-precision results already).
  float largestWidth = 0, largestHeight = 0, nearestDepth = 1000000;
  TPointF largestDisplayed;

  // Shadow settings (used by the drop shadows of the kinds that draw one).
  float shadowSize = 16;
  float shadowOpacity = 59;
  float shadowDistance = 1.5f;
  float shadowAngle = 45;
  int32_t shadowSpreadIndex = 0;
  uint8_t shadowR = 0, shadowG = 0, shadowB = 0;
  bool shadowEnable : 1 = false;
  bool shadow3D : 1 = false;
  bool treeNode : 1 = true;

 protected:
  // Declared here to share the space the public settings leave before the pointers.
  bool transpForClick_ : 1 = false, hideFront_ : 1 = false, hideBack_ : 1 = false, childInvis_ : 1 = false;
  bool frameValid_ : 1 = true;
  float snapOpacity_ = 100;

  TZemObject(TZemObject* parent, WideString guid);
  template <class V>
  void SetProp(V& field, V value) {
    if (field != value) {
      field = value;
      changedProps_ = true;
    }
  }
  // Steps 1 and 2 of the transform: the scale factors from the parent's size and the own size
  // (the fit factor times ScaleX, ScaleY). Text replaces them.
  virtual void ComputeScales(double parentW, double parentH, double w, double h, double& sx, double& sy) const;
  // Computes the frame for this node from its parent's frame; used by UpdateTransform.
  void ComputeFrame(const TFrame3& parentFrame, const TMatrix3& parentWorld, bool hasParent);
  // The facing test of the node's current frame against the camera.
  bool ComputeFacing() const;
  // Recomputes the dirty flag from the snapshot and the frame before this update.
  void CompareWithSnapshot(const TFrame3& before, TPointF beforeTopLeft);
  // Re-resolves keypoint times of this subtree (after the slide's anchors changed).
  void RefreshKeypointTimes();

  // Values that few objects set, made on first use: a large show has many objects with none of
  // them. Made and changed on the tree's thread only.
  struct TExtra {
    WideString guid;  // empty until Guid() makes one for a node without a "GUID" key
    WideString actionText;
    TZemActionInfo action;
    double deltaTime1 = 0, deltaTime2 = 0;
    float timeScale = 0;  // keypoint times are scaled by it while reading when above 0
    std::unique_ptr<TShadow> boxShadow;  // the drop shadow of a box, made when first drawn

    TExtra();
    ~TExtra();
  };
  TExtra& Extra() const;
  const TExtra& ExtraOrDefaults() const;
  // The "GUID" key's value or a GUID made by Guid(); empty when there is neither.
  const WideString& StoredGuid() const { return ExtraOrDefaults().guid; }

  TZemObject* parent_ = nullptr;
  TZemChildren children_;
  TZemSlide* slide_ = nullptr;  // root of the tree, when it is a slide
  mutable std::unique_ptr<TExtra> extra_;
  TShortText caption_;

  TFrame3 frame_;
  TPointF localTopLeft_;
  TPointI size_;
  float snapBlur_ = 0, snapAmount_ = 0;
  uint8_t snapR_ = 0, snapG_ = 0, snapB_ = 0;
  bool inWindow_ : 1 = false;
  bool facingShows_ : 1 = true;
  bool hiddenByAncestor_ : 1 = false;
  bool pressed_ : 1 = false;

 private:
  friend class TZemSlide;
  void DetachFromParent();
};

// Makes a new GUID text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
WideString NewGuidText();

// The chain of kind factories. Each factory returns a new node for the kinds it knows (section
// name in lower case) and otherwise asks the factory installed before it; the end of the chain
// answers null. Install factories at start-up, before slides are loaded.
using TZemObjectFactory = TZemObject* (*)(const WideString& kind, TZemObject* parent, const WideString& guid);
// Installs a factory and returns the one it must call for kinds it does not know.
TZemObjectFactory InstallObjectFactory(TZemObjectFactory factory);
// Asks the chain; null for an unknown kind.
TZemObject* CreateZemObject(const WideString& kind, TZemObject* parent, const WideString& guid);

}  // namespace zem

namespace zem {

// Calls f(node) for the node and every descendant, parents before children, without recursion.
template <class F>
void ForEachNode(TZemObject* root, F&& f) {
  if (!root) return;
  std::vector<TZemObject*> stack{root};
  while (!stack.empty()) {
    TZemObject* n = stack.back();
    stack.pop_back();
    f(n);
    const auto& c = n->Children();
    for (size_t i = c.size(); i-- > 0;) stack.push_back(c[i]);
  }
}

}  // namespace zem
