// The system dialogs' model: a dialog with a list of items (labels, edits, buttons, check
// boxes) laid out in pixels of a 96 pixels-per-inch screen, scaled to the screen, placed, and
// run modally by the window system (GTK, src/platform/gtk_dialogs.h).
//
// Threads: user-interface thread only; a dialog is made, run and freed within one call, while
// the show stays paused.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "foundation/geometry.h"
#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "platform/gtk_dialogs.h"

namespace zem {

class TCustomDialogItem : public TObj {};

class TDialogItem : public TCustomDialogItem {
 public:
  TDialogItem(int32_t width, int32_t height) : width(width), height(height) {}
  virtual TNativeDialogItem::TKind Kind() const = 0;
  // The item for the window system, at `scale` (positions and sizes rounded).
  virtual TNativeDialogItem Describe(float scale) const;
  // Reads back what the user changed when the dialog closes.
  virtual void Store(const TNativeDialogItem&) {}

  WideString text;
  int32_t x = 0, y = 0, width, height;
  int32_t id = 0;  // command identifier
  bool tabStop = true;
};

class TDialogStatic : public TDialogItem {
 public:
  TDialogStatic() : TDialogItem(0, 0) {}
  TNativeDialogItem::TKind Kind() const override { return TNativeDialogItem::TKind::Static; }
};

class TCustomDialogEdit : public TDialogItem {
 public:
  TCustomDialogEdit() : TDialogItem(50, 12) {}
  TNativeDialogItem::TKind Kind() const override { return TNativeDialogItem::TKind::Edit; }
  TNativeDialogItem Describe(float scale) const override;
  void Store(const TNativeDialogItem& item) override;

  bool password = false;  // characters hidden
};
class TDialogEdit : public TCustomDialogEdit {};

class TDialogCustomButton : public TDialogItem {
 public:
  TDialogCustomButton(int32_t width, int32_t height) : TDialogItem(width, height) {}
};

class TDialogButton : public TDialogCustomButton {
 public:
  TDialogButton() : TDialogCustomButton(50, 14) {}
  TNativeDialogItem::TKind Kind() const override { return TNativeDialogItem::TKind::Button; }
  TNativeDialogItem Describe(float scale) const override;

  bool isDefault = false;
};

class TDialogCheckBox : public TDialogCustomButton {
 public:
  TDialogCheckBox() : TDialogCustomButton(50, 8) {}
  TNativeDialogItem::TKind Kind() const override { return TNativeDialogItem::TKind::CheckBox; }
  TNativeDialogItem Describe(float scale) const override;
  void Store(const TNativeDialogItem& item) override;

  bool checked = false;
};

enum class TDialogPlacement : uint8_t {
  Screen = 0,    // centred on the screen
  Owner = 1,     // centred on the owner's client area
  Platform = 2,  // where the window system puts it
};

struct TDialogOwner {
  uint64_t window = 0;  // the window system's window (X11), 0: none
  TRectI client;        // its client area on the screen (empty: unknown)
};

// How dialogs reach the screen; tests install their own.
class TDialogSystem {
 public:
  virtual ~TDialogSystem() = default;
  // The screen's vertical pixels per inch / 96.
  virtual float PixelsPerInchScale() = 0;
  // The screen the dialog is kept on (empty: not kept).
  virtual TRectI Screen() = 0;
  // Runs the dialog modally; kNativeDialogUnavailable when no dialog can be shown.
  virtual int32_t Run(TNativeDialog& dialog, const TNativeCommand& command) = 0;
};
TDialogSystem& DialogSystem();
// Replaces the process-wide system (null: the window system's); answers the previous one.
TDialogSystem* SetDialogSystem(TDialogSystem* system);

// A value of the 96 pixels-per-inch layout on this screen.
int32_t ScaleDialogValue(int32_t value, float scale);
// Where a w x h dialog goes: centred on the screen (mode Screen), on the owner's client area
// (mode Owner, when it is not empty), then kept on the screen; nothing for mode Platform.
std::optional<TPointI> DialogPosition(TDialogPlacement mode, int32_t width, int32_t height, const TRectI& screen,
                                      const TRectI& ownerClient);

class TDialog : public TCustomDialogItem {
 public:
  TDialog(WideString caption, int32_t clientWidth, int32_t clientHeight, TDialogPlacement placement);
  ~TDialog() override;

  template <typename T>
  T& Add(WideString text, int32_t x, int32_t y, int32_t width, int32_t height, int32_t id = 0) {
    auto item = std::make_unique<T>();
    item->text = std::move(text);
    item->x = x;
    item->y = y;
    item->width = width;
    item->height = height;
    item->id = id;
    T& ref = *item;
    items.push_back(std::move(item));
    return ref;
  }

  // Runs the dialog; the result is the identifier of the control that ended it, 2 when the
  // window was closed, kNativeDialogUnavailable when no dialog can be shown.
  int32_t ShowModal(const TDialogOwner& owner);
  // The dialog as the window system gets it.
  TNativeDialog Build(float scale, const TRectI& screen, const TDialogOwner& owner) const;

  WideString caption;
  int32_t clientWidth, clientHeight;
  TDialogPlacement placement;
  TDialogOwner owner;
  std::vector<std::unique_ptr<TDialogItem>> items;
  int32_t result = 0;

 protected:
  // A command from a control with a non-zero identifier: the result that ends the dialog, or
  // nothing to keep it open. The base ends it with the identifier.
  virtual std::optional<int32_t> Command(int32_t id, TNativeDialogSession& session);
  // The index of an item in `items`.
  size_t IndexOf(const TDialogItem& item) const;
};

}  // namespace zem
