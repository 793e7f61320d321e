#include "render/texture_store.h"

#include "foundation/assert.h"

namespace zem {

std::string TTextureStore2::MakeKey(int mip_level, int columns, int rows, bool reserved) {
  return "MultiTexID: " + std::to_string(mip_level) + ":" + std::to_string(columns) + ":" +
         std::to_string(rows) + ":" + (reserved ? "True" : "False");
}

TMultiTexture6* TTextureStore2::Find(const std::string& key) const {
  std::lock_guard<std::mutex> g(lock_);
  for (auto& w : wrappers_)
    if (w->Key() == key) return w->Texture();
  return nullptr;
}

TMultiTexture6* TTextureStore2::Add(const std::string& key, std::unique_ptr<TMultiTexture6> texture) {
  ZEM_ASSERT(texture != nullptr);
  std::unique_ptr<TTextureWrapper> old;
  std::lock_guard<std::mutex> g(lock_);
  for (auto& w : wrappers_)
    if (w->Key() == key) {
      old = std::move(w);
      w = std::make_unique<TTextureWrapper>(key, std::move(texture));
      return w->Texture();
    }
  wrappers_.push_back(std::make_unique<TTextureWrapper>(key, std::move(texture)));
  return wrappers_.back()->Texture();
}

void TTextureStore2::Remove(const std::string& key) {
  std::unique_ptr<TTextureWrapper> gone;
  std::lock_guard<std::mutex> g(lock_);
  for (auto it = wrappers_.begin(); it != wrappers_.end(); ++it)
    if ((*it)->Key() == key) {
      gone = std::move(*it);
      wrappers_.erase(it);
      return;
    }
}

void TTextureStore2::Clear() {
  std::vector<std::unique_ptr<TTextureWrapper>> gone;
  {
    std::lock_guard<std::mutex> g(lock_);
    gone.swap(wrappers_);
  }
}

size_t TTextureStore2::Count() const {
  std::lock_guard<std::mutex> g(lock_);
  return wrappers_.size();
}

}  // namespace zem
