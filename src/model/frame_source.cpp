#include "model/frame_source.h"

#include <atomic>

namespace zem {

namespace {
std::atomic<TFrameSourceFactory> g_factory{nullptr};
}

void SetFrameSourceFactory(TFrameSourceFactory factory) { g_factory.store(factory); }

std::unique_ptr<TFrameSource> CreateFrameSource(std::unique_ptr<TStream> stream, const WideString& name,
                                                int64_t fileDate) {
  TFrameSourceFactory f = g_factory.load();
  if (!f || !stream) return nullptr;
  return f(std::move(stream), name, fileDate);
}

}  // namespace zem
