// The two vertex batches (textured and untextured) the OpenGL tiles draw through. Kept free of
// the render layer's headers so the tiles can include the filters' geometry.
#pragma once
#include <cstdint>
#include <memory>

namespace zem {

class T3DScreen;
class TCustomTexture;

struct TPlainVertex {
  float x = 0, y = 0, z = 0;
  uint32_t color = 0xFFFFFFFFu;
  float u = 0, v = 0;
};

class TTriBatches {
 public:
  explicit TTriBatches(T3DScreen* screen);
  ~TTriBatches();

  // Textured with the capture, or untextured.
  void Begin(bool textured, TCustomTexture* capture);
  void Add(const TPlainVertex& a, const TPlainVertex& b, const TPlainVertex& c);
  void Flush();

  static float InvWidth(const TCustomTexture* t);
  static float InvHeight(const TCustomTexture* t);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace zem
