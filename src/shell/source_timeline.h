// The slide-stepping helpers' view of an opened show: the show source's time line. The main
// window reads the engine's own source once the engine has opened the show; until then (the
// moment between an open request and the engine taking it) a source built from the script.
#pragma once
#include <memory>
#include <string>

#include "foundation/refobj.h"
#include "shell/slide_times.h"

namespace zem {

class TIniStorage;
class TZemShowLocator;
class TZemSource;

class TSourceTimeline : public TSlideTimeline {
 public:
  explicit TSourceTimeline(TRef<TZemSource> source);
  ~TSourceTimeline() override;
  // The time line of a script; null (with the reason) when its timing is broken.
  static std::unique_ptr<TSourceTimeline> FromScript(const TIniStorage& script, bool screen_saver,
                                                     std::string* error = nullptr);
  // The time line of the locator's own show source (made on first use and kept there).
  static std::unique_ptr<TSourceTimeline> FromLocator(TZemShowLocator& locator, bool screen_saver,
                                                      std::string* error = nullptr);
  // Over a shared script that carries its screen-saver keys already (no copy).
  static std::unique_ptr<TSourceTimeline> FromScript(std::shared_ptr<const TIniStorage> script,
                                                     std::string* error = nullptr);

  int32_t SlideCount() const override;
  bool ShowEnds() const override;
  double SlideStart(int32_t position) const override;
  double SlideNext(int32_t position) const override;
  double IncomingLength(int32_t position) const override;
  WideString SlideId(int32_t position) const override;
  int32_t IndexAt(double t) const override;
  double Duration() const;
  // The show closes at its end ("opt_repeat" "close").
  bool ClosesAtEnd() const;
  const TZemSource* Source() const { return source_.get(); }

 private:
  TRef<TZemSource> source_;
};

}  // namespace zem
