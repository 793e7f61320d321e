#include "shell/source_timeline.h"

#include <exception>

#include "model/slide_source.h"
#include "script/ini_file.h"

namespace zem {

namespace {
TSlideInfo Info(const TZemSource& s, int32_t position) {
  TSlideInfo info;
  s.GetSlideInfo(position, info);
  return info;
}
}  // namespace

TSourceTimeline::TSourceTimeline(TRef<TZemSource> source) : source_(std::move(source)) {}

TSourceTimeline::~TSourceTimeline() = default;

std::unique_ptr<TSourceTimeline> TSourceTimeline::FromScript(const TIniStorage& script, bool screen_saver,
                                                             std::string* error) {
  auto copy = std::make_unique<TIniFile>();
  copy->Assign(script);
  TZemSourceOptions options;
  options.screenSaver = screen_saver;
  try {
    return std::make_unique<TSourceTimeline>(MakeRef<TZemSource>(std::move(copy), nullptr, options));
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
}

std::unique_ptr<TSourceTimeline> TSourceTimeline::FromLocator(TZemShowLocator& locator, bool screen_saver,
                                                              std::string* error) {
  TZemSourceOptions options;
  options.screenSaver = screen_saver;
  try {
    return std::make_unique<TSourceTimeline>(LocatorShowSource(locator, options));
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
}

std::unique_ptr<TSourceTimeline> TSourceTimeline::FromScript(std::shared_ptr<const TIniStorage> script,
                                                             std::string* error) {
  try {
    return std::make_unique<TSourceTimeline>(MakeRef<TZemSource>(TSharedScript{std::move(script)}, nullptr));
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
}

int32_t TSourceTimeline::SlideCount() const { return source_->SlideCount(); }
bool TSourceTimeline::ShowEnds() const { return source_->RepeatMode() != kRepeatShow; }
double TSourceTimeline::SlideStart(int32_t position) const { return Info(*source_, position).start; }
double TSourceTimeline::SlideNext(int32_t position) const { return Info(*source_, position).next; }
double TSourceTimeline::IncomingLength(int32_t position) const { return Info(*source_, position).inLength; }
WideString TSourceTimeline::SlideId(int32_t position) const { return Info(*source_, position).id; }
int32_t TSourceTimeline::IndexAt(double t) const { return source_->SlideAtTime(t); }
double TSourceTimeline::Duration() const { return source_->TotalDuration(); }
bool TSourceTimeline::ClosesAtEnd() const { return source_->RepeatMode() == kCloseAtEnd; }

}  // namespace zem
