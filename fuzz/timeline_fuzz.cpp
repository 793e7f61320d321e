// Builds the time line of an arbitrary show script and walks it: every slide's record, the
// slide at a range of times, the active slides, end actions and transitions. Bad timing keys
// must give a usable time line or an assertion error, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/assert.h"
#include "model/slide_producer.h"
#include "script/ini_file.h"

using namespace zem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromBytes(data, size)) return 0;
  TZemSourceOptions o;
  o.fixedSeed = true;
  TRef<TZemSource> source;
  try {
    source = MakeRef<TZemSource>(std::move(ini), nullptr, o);
  } catch (const EAssertionFailed&) {
    return 0;  // time line going backwards
  }
  TZemSource& s = *source;
  const int32_t count = s.SlideCount();
  const int32_t walk = count < 200 ? count * 2 + 2 : 200;
  TSlideInfo info;
  for (int32_t p = -2; p < walk && count > 0; ++p) {
    s.GetSlideInfo(p, info);
    if (info.inLength < 0 || info.outLength < 0 || info.end < info.next) __builtin_trap();
    double loop = 0;
    s.GetEndAction(p, loop);
    if (loop < 0) __builtin_trap();
    s.GetSlideEffect(p);
  }
  TSlideProducer producer(source);
  try {
    producer.SetOutput({640, 480}, 0, 100, 100);
  } catch (const EAssertionFailed&) {
  }
  int32_t first = 0, last = 0;
  const double total = s.TotalDuration();
  for (int i = -3; i < 40; ++i) {
    const double t = total * i / 17.0 + i;
    s.SlideAtTime(t);
    producer.FindActiveSlides(t, first, last);
    if (last < first || last > first + 1) __builtin_trap();
  }
  return 0;
}
