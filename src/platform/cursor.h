// The mouse pointer's visibility and shape over the main window.
#pragma once
#include <memory>

namespace zem {

enum class TCursorShape { Arrow, Hand };

class TCursorControl {
 public:
  virtual ~TCursorControl() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetShape(TCursorShape shape) = 0;
};

// SDL's cursor (main thread); system cursors are created on first use and freed with it.
std::unique_ptr<TCursorControl> MakeSdlCursorControl();

// Remembers the requests only: headless runs and tests.
class TNullCursorControl : public TCursorControl {
 public:
  void SetVisible(bool visible) override { visible_ = visible; }
  void SetShape(TCursorShape shape) override { shape_ = shape; }
  bool Visible() const { return visible_; }
  TCursorShape Shape() const { return shape_; }

 private:
  bool visible_ = true;
  TCursorShape shape_ = TCursorShape::Arrow;
};

}  // namespace zem
