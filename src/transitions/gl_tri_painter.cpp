#include "transitions/gl_tri_painter.h"

#include "render/drawer/drawer.h"
#include "render/textures.h"
#include "transitions/draw_filter.h"
#include "transitions/gl_tri_tile.h"

namespace zem {

namespace {

class TControllerPainter : public TTriPainter {
 public:
  explicit TControllerPainter(T3DScreen* screen) : controller_(screen) {}

  void Paint(TDrawFilter& filter, TRenderTargetTexture* capture, const TRectI& output,
             const TRectI& clip) override {
    controller_.SetRect(output);
    controller_.SetClipRect(clip);
    controller_.SetCapture(capture);
    filter.Draw(&controller_);
    controller_.Batches().Flush();
    controller_.SetCapture(nullptr);
  }

 private:
  TD3DTriController controller_;
};

}  // namespace

void InstallDrawerTriangles() {
  InstallTriPainterMaker([](T3DScreen* screen) -> std::unique_ptr<TTriPainter> {
    if (!screen) return nullptr;
    return std::make_unique<TControllerPainter>(screen);
  });
}

}  // namespace zem
