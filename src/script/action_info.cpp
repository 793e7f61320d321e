#include "script/action_info.h"

#include "script/ini_file.h"

namespace zem {

namespace {

struct TWord {
  const char16_t* word;
  TZemActionKind kind;
};

const TWord kWholeWords[] = {
    {u"exit", TZemActionKind::Exit},           {u"nextslide", TZemActionKind::NextSlide},
    {u"prevslide", TZemActionKind::PrevSlide}, {u"help", TZemActionKind::Help},
    {u"gotofirstslide", TZemActionKind::GotoSlide}, {u"pause", TZemActionKind::Pause},
    {u"print", TZemActionKind::Print},         {u"stop", TZemActionKind::Stop},
    {u"closedialog", TZemActionKind::CloseDialog}, {u"saveslide", TZemActionKind::SaveSlide},
    {u"changeprinter", TZemActionKind::ChangePrinter},
};

// In this order: a longer word sharing a beginning with a shorter one never follows it.
const TWord kArgumentWords[] = {
    {u"gotoslide(", TZemActionKind::GotoSlide},
    {u"openwebsite(", TZemActionKind::OpenWebsite},
    {u"writeemail(", TZemActionKind::WriteEmail},
    {u"runapp(", TZemActionKind::RunApp},
    {u"runappandexit(", TZemActionKind::RunAppAndExit},
    {u"runpresentation(", TZemActionKind::RunPresentation},
    {u"runpresentationandreturn(", TZemActionKind::RunPresentationAndReturn},
    {u"opendialog(", TZemActionKind::OpenDialog},
};

// text[from, size - drop_end), empty when the text is too short for the cut.
WideString Cut(WideView text, size_t from, size_t drop_end) {
  if (text.size() < drop_end || from >= text.size() - drop_end) return {};
  return WideString(text.substr(from, text.size() - drop_end - from));
}

}  // namespace

TZemActionInfo ParseAction(WideView text) {
  TZemActionInfo info;
  WideString lower = LowerCase(text);
  for (const TWord& w : kWholeWords) {
    if (lower == w.word) {
      info.kind = w.kind;
      return info;  // "gotofirstslide": number 0
    }
  }
  for (const TWord& w : kArgumentWords) {
    WideView word(w.word);
    if (!WideView(lower).starts_with(word)) continue;
    info.kind = w.kind;
    if (w.kind == TZemActionKind::GotoSlide) {
      // gotoslide(n): everything after "(" but the last character.
      info.text = Cut(text, word.size(), 1);
      int32_t n;
      info.number = TryParseIniInteger(info.text, n) ? n : -1;
    } else {
      // word("argument"): the quote after "(" and the quote and ")" at the end are dropped.
      info.text = Cut(text, word.size() + 1, 2);
    }
    return info;
  }
  return info;
}

}  // namespace zem
