// TTextureStore2: the textures of one image, one multi-texture per drawing-parameter key
// ("MultiTexID: " + mip level + ":" + columns + ":" + rows + ":" + "True"/"False").
//
// Threads: the drawer's resource lock guards a store; the store also locks itself so that a
// lookup never sees a half-made entry.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "render/tiling.h"

namespace zem {

class TTextureWrapper {
 public:
  TTextureWrapper(std::string key, std::unique_ptr<TMultiTexture6> texture)
      : key_(std::move(key)), texture_(std::move(texture)) {}
  const std::string& Key() const { return key_; }
  TMultiTexture6* Texture() const { return texture_.get(); }

 private:
  std::string key_;
  std::unique_ptr<TMultiTexture6> texture_;
};

class TTextureStore2 {
 public:
  static std::string MakeKey(int mip_level, int columns, int rows, bool reserved);
  // Exact key comparison; none when missing.
  TMultiTexture6* Find(const std::string& key) const;
  // Adds an entry (replacing one with the same key) and returns it.
  TMultiTexture6* Add(const std::string& key, std::unique_ptr<TMultiTexture6> texture);
  // Frees the entry of the key (none: nothing happens).
  void Remove(const std::string& key);
  // Frees every wrapper and its textures.
  void Clear();
  size_t Count() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<TTextureWrapper>> wrappers_;
};

}  // namespace zem
