// Actions of objects, buttons, keys, mouse buttons and the navigation panel, as one record.
#pragma once
#include <cstdint>

#include "foundation/strings.h"

namespace zem {

enum class TZemActionKind : uint8_t {
  None = 0,
  Exit = 1,
  PrevSlide = 2,
  NextSlide = 3,
  Help = 4,
  Pause = 5,
  Print = 6,
  GotoSlide = 7,  // number: slide (1-based), 0 for "gotofirstslide", -1 with text = slide identifier
  OpenWebsite = 8,
  WriteEmail = 9,
  RunApp = 10,
  RunAppAndExit = 11,
  RunPresentation = 12,
  Stop = 13,
  RunPresentationAndReturn = 14,
  OpenDialog = 15,
  CloseDialog = 16,
  SaveSlide = 17,
  ChangePrinter = 18,
  GotoTime = 19,  // number: show time in ms (navigation panel)
  Consumed = 20,  // a mouse event the navigation panel took without an action
};

struct TZemActionInfo {
  TZemActionKind kind = TZemActionKind::None;
  int32_t number = 0;
  WideString text;

  bool IsNone() const { return kind == TZemActionKind::None; }
  bool operator==(const TZemActionInfo&) const = default;
};

// Parses an "Action" text: a whole word ("exit", "nextslide", ...) or a word with an argument
// ("gotoslide(4)", "openwebsite(\"address\")", ...); anything else gives kind None.
TZemActionInfo ParseAction(WideView text);

}  // namespace zem
