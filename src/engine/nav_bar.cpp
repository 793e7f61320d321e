#include "engine/nav_bar.h"

#include <mutex>

#include "engine/nav_bar_classic.h"
#include "engine/nav_bar_video.h"

namespace zem {

namespace {

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

TNavBarFactory& Factory() {
  static TNavBarFactory factory = [](bool videoStyle) -> std::unique_ptr<TCustomNavBar> {
    if (videoStyle) return std::make_unique<TVideoNavBar>();
    return std::make_unique<TNavBar>();
  };
  return factory;
}

}  // namespace

TNavBarFactory SetNavBarFactory(TNavBarFactory factory) {
  std::lock_guard<std::mutex> guard(FactoryLock());
  TNavBarFactory previous = std::move(Factory());
  Factory() = std::move(factory);
  return previous;
}

std::unique_ptr<TCustomNavBar> MakeNavBar(bool videoStyle) {
  TNavBarFactory factory;
  {
    std::lock_guard<std::mutex> guard(FactoryLock());
    factory = Factory();
  }
  return factory ? factory(videoStyle) : nullptr;
}

}  // namespace zem
