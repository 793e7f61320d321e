#include "transitions/gl_tri_batch.h"

#include "render/screen.h"

namespace zem {

struct TTriBatches::TImpl {
  explicit TImpl(T3DScreen* s) : textured(s), untextured(s) {}
  TVertexBuffer textured, untextured;
  TVertexBuffer* open = nullptr;
};

TTriBatches::TTriBatches(T3DScreen* screen) : impl_(std::make_unique<TImpl>(screen)) {}
TTriBatches::~TTriBatches() = default;

void TTriBatches::Begin(bool textured, TCustomTexture* capture) {
  if (textured) {
    TCustomTexture* set[1] = {capture};
    impl_->open = &impl_->textured;
    impl_->open->Begin(set, 1);
  } else {
    impl_->open = &impl_->untextured;
    impl_->open->Begin(nullptr, 0);
  }
}

void TTriBatches::Add(const TPlainVertex& a, const TPlainVertex& b, const TPlainVertex& c) {
  if (!impl_->open) return;
  TVertex v[3];
  const TPlainVertex* in[3] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    v[i].x = in[i]->x;
    v[i].y = in[i]->y;
    v[i].z = in[i]->z;
    v[i].color = in[i]->color;
    v[i].tex[0][0] = in[i]->u;
    v[i].tex[0][1] = in[i]->v;
  }
  impl_->open->AddTriangle(v[0], v[1], v[2]);
}

void TTriBatches::Flush() {
  if (impl_->open) impl_->open->Flush();
  impl_->open = nullptr;
}

float TTriBatches::InvWidth(const TCustomTexture* t) { return t ? t->InvWidth() : 0.0f; }
float TTriBatches::InvHeight(const TCustomTexture* t) { return t ? t->InvHeight() : 0.0f; }

}  // namespace zem
