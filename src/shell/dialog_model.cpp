#include "shell/dialog_model.h"

#include <algorithm>

#include "engine/nav_panel.h"
#include "engine/placement.h"
#include "foundation/assert.h"
#include "platform/monitors.h"

namespace zem {

namespace {

// The window system's dialogs on the primary monitor.
class TWindowDialogSystem final : public TDialogSystem {
 public:
  float PixelsPerInchScale() override { return ScreenPixelsPerInchScale(); }
  TRectI Screen() override {
    for (const TMonitorRect& m : EnumerateMonitors())
      if (m.primary) return {m.left, m.top, m.right, m.bottom};
    return {};
  }
  int32_t Run(TNativeDialog& dialog, const TNativeCommand& command) override {
    return RunNativeDialog(dialog, command);
  }
};

TDialogSystem* g_system = nullptr;

}  // namespace

TDialogSystem& DialogSystem() {
  static TWindowDialogSystem window;
  return g_system ? *g_system : window;
}

TDialogSystem* SetDialogSystem(TDialogSystem* system) {
  TDialogSystem* previous = g_system;
  g_system = system;
  return previous;
}

int32_t ScaleDialogValue(int32_t value, float scale) { return RoundToInt(double(value) * scale); }

std::optional<TPointI> DialogPosition(TDialogPlacement mode, int32_t width, int32_t height, const TRectI& screen,
                                      const TRectI& ownerClient) {
  if (mode == TDialogPlacement::Platform) return std::nullopt;
  TPointI p;
  const TRectI& around = mode == TDialogPlacement::Owner && !ownerClient.IsEmpty() ? ownerClient : screen;
  p.x = around.left + (around.Width() - width) / 2;
  p.y = around.top + (around.Height() - height) / 2;
  if (!screen.IsEmpty()) {
    p.x = std::max(screen.left, std::min(screen.right - width, p.x));
    p.y = std::max(screen.top, std::min(screen.bottom - height, p.y));
  }
  return p;
}

TNativeDialogItem TDialogItem::Describe(float scale) const {
  TNativeDialogItem item;
  item.kind = Kind();
  item.text = WideToUtf8(text);
  item.x = ScaleDialogValue(x, scale);
  item.y = ScaleDialogValue(y, scale);
  item.width = ScaleDialogValue(width, scale);
  item.height = ScaleDialogValue(height, scale);
  item.id = id;
  item.tabStop = tabStop;
  return item;
}

TNativeDialogItem TCustomDialogEdit::Describe(float scale) const {
  TNativeDialogItem item = TDialogItem::Describe(scale);
  item.password = password;
  return item;
}

void TCustomDialogEdit::Store(const TNativeDialogItem& item) { text = Utf8ToWide(item.text); }

TNativeDialogItem TDialogButton::Describe(float scale) const {
  TNativeDialogItem item = TDialogItem::Describe(scale);
  item.isDefault = isDefault;
  return item;
}

TNativeDialogItem TDialogCheckBox::Describe(float scale) const {
  TNativeDialogItem item = TDialogItem::Describe(scale);
  item.checked = checked;
  return item;
}

void TDialogCheckBox::Store(const TNativeDialogItem& item) { checked = item.checked; }

TDialog::TDialog(WideString caption, int32_t clientWidth, int32_t clientHeight, TDialogPlacement placement)
    : caption(std::move(caption)), clientWidth(clientWidth), clientHeight(clientHeight), placement(placement) {}

TDialog::~TDialog() = default;

TNativeDialog TDialog::Build(float scale, const TRectI& screen, const TDialogOwner& owner) const {
  TNativeDialog d;
  d.caption = WideToUtf8(caption);
  d.clientWidth = ScaleDialogValue(clientWidth, scale);
  d.clientHeight = ScaleDialogValue(clientHeight, scale);
  d.owner = owner.window;
  if (auto p = DialogPosition(placement, d.clientWidth, d.clientHeight, screen, owner.client)) {
    d.placed = true;
    d.x = p->x;
    d.y = p->y;
  }
  for (const auto& item : items) d.items.push_back(item->Describe(scale));
  return d;
}

int32_t TDialog::ShowModal(const TDialogOwner& dialogOwner) {
  owner = dialogOwner;
  TDialogSystem& system = DialogSystem();
  TNativeDialog native = Build(system.PixelsPerInchScale(), system.Screen(), owner);
  result = system.Run(native, [this](int32_t id, TNativeDialogSession& session) { return Command(id, session); });
  if (result != kNativeDialogUnavailable && native.items.size() == items.size())
    for (size_t i = 0; i < items.size(); ++i) items[i]->Store(native.items[i]);
  return result;
}

std::optional<int32_t> TDialog::Command(int32_t id, TNativeDialogSession&) {
  if (id == 0) return std::nullopt;
  return id;
}

size_t TDialog::IndexOf(const TDialogItem& item) const {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].get() == &item) return i;
  ZEM_FAIL("dialog item not in its dialog");
}

}  // namespace zem
