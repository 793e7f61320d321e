// Each pixel program draws a quad into an offscreen target; the result is compared with the
// program's formula computed here on the CPU from the same 8-bit inputs.
#include <gtest/gtest.h>

#include "render_rig.h"

namespace zem::test {
namespace {

constexpr int32_t N = 32;  // texture and target side (a power of two: texel = pixel)
constexpr float kTol = 2.5f / 255.0f;

struct TPlane {
  std::vector<uint8_t> bytes;
  float At(int x, int y) const {
    x = std::clamp(x, 0, N - 1);
    y = std::clamp(y, 0, N - 1);
    return bytes[size_t(y) * N + x] / 255.0f;
  }
};

struct TImage {
  std::vector<uint8_t> bytes;  // B, G, R, A
  TColorF At(int x, int y) const {
    x = std::clamp(x, 0, N - 1);
    y = std::clamp(y, 0, N - 1);
    const uint8_t* p = &bytes[(size_t(y) * N + x) * 4];
    return {p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f};
  }
};

class PixelPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_ = std::make_unique<TRig>();
    if (!rig_->Ok()) GTEST_SKIP() << "no OpenGL context";
  }
  void TearDown() override {
    textures_.clear();
    programs_.clear();
    rig_.reset();
  }
  TShader* Program(const char* name) {
    programs_.push_back(rig_->screen->CreateShader(name));
    return programs_.back().get();
  }
  TCustomTexture* Lum(const TPlane& p) {
    textures_.push_back(MakeTexture(rig_->screen.get(), N, N, kFmtLuminance8, p.bytes));
    return textures_.back().get();
  }
  TCustomTexture* Argb(const TImage& p) {
    textures_.push_back(MakeTexture(rig_->screen.get(), N, N, kFmtArgb32, p.bytes));
    return textures_.back().get();
  }
  TBitmap Draw(TShader* program, std::vector<TCustomTexture*> tex, uint32_t vcolor,
               const std::function<void(T3DScreen*)>& constants) {
    TBitmap out;
    EXPECT_TRUE(DrawProgram(*rig_, program, tex, vcolor, N, N, out, constants));
    EXPECT_NE(program->Device(), nullptr) << program->Name();
    return out;
  }

  std::unique_ptr<TRig> rig_;
  std::vector<std::unique_ptr<TCustomTexture>> textures_;
  std::vector<std::unique_ptr<TShader>> programs_;
};

TPlane RandomPlane(uint32_t seed) { return {RandomBytes(N * N, seed)}; }
TImage RandomImage(uint32_t seed) { return {RandomBytes(N * N * 4, seed)}; }

void YuvConstants(T3DScreen* s) {
  s->SetShaderConstant(0, 1.596f);
  s->SetShaderConstant(1, 0.813f);
  s->SetShaderConstant(2, 0.391f);
  s->SetShaderConstant(3, 2.018f);
  s->SetShaderConstant(4, 1.164f);
}

TColorF YuvRgb(float Y, float U, float V, float& y) {
  y = (Y - 0.0625f) * 1.164f;
  float u = U - 0.5f, w = V - 0.5f;
  return {Sat(y + 1.596f * w), Sat(y - 0.813f * w - 0.391f * u), Sat(y + 2.018f * u), 0};
}

// One field of the luminance plane (rows of the same parity), interpolated.
float FieldLuma(const TPlane& Y, int x, int yrow, float a, float b) {
  float h = N;
  float p = (yrow + 0.5f) / N * h + b;
  float k = std::floor(p / 2);
  int r1 = int(std::floor(2 * k + 0.5f + a));
  int r2 = int(std::floor(2 * k + 2.5f + a));
  float f = (p - (2 * k + 0.5f)) * 0.5f;
  return Y.At(x, r1) + f * (Y.At(x, r2) - Y.At(x, r1));
}

TEST_F(PixelPrograms, AllThirteenAreStoredAndCompile) {
  ASSERT_EQ(ProgramNames().size(), 13u);
  ASSERT_TRUE(rig_->screen->BeginScene());
  for (const std::string& name : ProgramNames()) {
    TShader* p = Program(name.c_str());
    EXPECT_TRUE(p->Restore()) << name;
    EXPECT_NE(p->Device(), nullptr) << name;
    std::string code = ProgramCode(name);
    EXPECT_EQ(ProgramText(code).size() + 4, code.size());
  }
  rig_->screen->EndScene();
  EXPECT_TRUE(ProgramCode("no_such_program").empty());
  // A code string whose count disagrees with its length is refused.
  std::string bad = ProgramCode("premul");
  bad[0] = char(bad[0] + 1);
  EXPECT_TRUE(ProgramText(bad).empty());
}

TEST_F(PixelPrograms, YuvLumConvertsVideoRangeBt601) {
  TPlane Y = RandomPlane(1), U = RandomPlane(2), V = RandomPlane(3);
  Y.bytes[0] = 16;   // black
  Y.bytes[1] = 235;  // white
  U.bytes[0] = U.bytes[1] = V.bytes[0] = V.bytes[1] = 128;
  TBitmap out = Draw(Program("yuv_lum"), {Lum(Y), Lum(U), Lum(V)}, 0x80FFFFFF, YuvConstants);
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      float yy;
      TColorF want = YuvRgb(Y.At(x, y), U.At(x, y), V.At(x, y), yy);
      want.a = 0x80 / 255.0f;
      ExpectColor(out.GetPixel(x, y), want, kTol, "yuv_lum", x, y);
    }
  EXPECT_LE(out.GetPixel(0, 0) & 0xFF, 1u);
  EXPECT_GE(out.GetPixel(1, 0) & 0xFF, 254u);
}

TEST_F(PixelPrograms, YuvDeinterlaceUsesOneFieldPerMode) {
  TPlane Y = RandomPlane(4), U = RandomPlane(5), V = RandomPlane(6);
  TShader* prog = Program("yuv_deinterlace_lum");
  for (auto [a, b] : {std::pair{0.0f, 0.0f}, std::pair{1.0f, -1.0f}}) {
    TBitmap out = Draw(prog, {Lum(Y), Lum(U), Lum(V)}, 0xFFFFFFFF, [&](T3DScreen* s) {
      YuvConstants(s);
      s->SetShaderConstant(5, float(N), 1.0f / N);
      s->SetShaderConstant(6, a, b);
    });
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; x += 3) {
        float yy;
        TColorF want = YuvRgb(FieldLuma(Y, x, y, a, b), U.At(x, y), V.At(x, y), yy);
        want.a = 1;
        ExpectColor(out.GetPixel(x, y), want, kTol, "yuv_deinterlace_lum", x, y);
      }
  }
}

TColorF Keyed(TColorF rgb, float y, float U, float V, TColorF vc, float T, float k, float ku, float kv) {
  float d = std::fabs((V - kv) + (U - ku));
  TColorF o{rgb.r + k * (2 * y * vc.r - rgb.r), rgb.g + k * (2 * y * vc.g - rgb.g),
            rgb.b + k * (2 * y * vc.b - rgb.b), 0};
  float e = d / 2;
  float inv = T > 0 ? 1 / T : 0;
  o.a = e - T >= 0 ? vc.a : (e * inv) * (e * inv) * vc.a;
  return o;
}

TEST_F(PixelPrograms, ChromaKeyFadesNearTheKeyAndColorises) {
  TPlane Y = RandomPlane(7), U = RandomPlane(8), V = RandomPlane(9);
  // Pixels exactly on the key and just beside it.
  U.bytes[0] = 77, V.bytes[0] = 153;
  U.bytes[1] = 80, V.bytes[1] = 155;
  const uint32_t vcolor = 0xC8326496;  // a 200, r 50, g 100, b 150
  TColorF vc = FromArgb(vcolor);
  TShader* prog = Program("chromakey");
  for (auto [T, k] : {std::pair{0.1f, 0.5f}, std::pair{0.0f, 0.0f}}) {
    float ku = 77 / 255.0f, kv = 153 / 255.0f;
    TBitmap out = Draw(prog, {Lum(Y), Lum(U), Lum(V)}, vcolor, [&](T3DScreen* s) {
      YuvConstants(s);
      s->SetShaderConstant(6, 0, 0, T, T > 0 ? 1 / T : 0);
      s->SetShaderConstant(7, k, ku, kv);
    });
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        float yy;
        TColorF rgb = YuvRgb(Y.At(x, y), U.At(x, y), V.At(x, y), yy);
        TColorF want = Keyed(rgb, yy, U.At(x, y), V.At(x, y), vc, T, k, ku, kv);
        ExpectColor(out.GetPixel(x, y), want, kTol, "chromakey", x, y);
      }
    if (T > 0) EXPECT_EQ(out.GetPixel(0, 0) >> 24, 0u);  // exactly the key: transparent
    else EXPECT_EQ(out.GetPixel(0, 0) >> 24, 200u);     // no tolerance: nothing is keyed
  }
}

TEST_F(PixelPrograms, ChromaDeinterlaceCombinesFieldAndKey) {
  TPlane Y = RandomPlane(10), U = RandomPlane(11), V = RandomPlane(12);
  TColorF vc = FromArgb(0xFF808080);
  float T = 0.2f, k = 0.3f, ku = 0.4f, kv = 0.55f;
  TBitmap out = Draw(Program("chroma_deinter"), {Lum(Y), Lum(U), Lum(V)}, 0xFF808080, [&](T3DScreen* s) {
    YuvConstants(s);
    s->SetShaderConstant(5, float(N), 1.0f / N);
    s->SetShaderConstant(6, 1.0f, -1.0f, T, 1 / T);
    s->SetShaderConstant(7, k, ku, kv);
  });
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; x += 2) {
      float yy;
      TColorF rgb = YuvRgb(FieldLuma(Y, x, y, 1, -1), U.At(x, y), V.At(x, y), yy);
      ExpectColor(out.GetPixel(x, y), Keyed(rgb, yy, U.At(x, y), V.At(x, y), vc, T, k, ku, kv), kTol,
                  "chroma_deinter", x, y);
    }
}

TEST_F(PixelPrograms, VideoMaskInvertsWhiteToTransparent) {
  TPlane Y = RandomPlane(13);
  Y.bytes[0] = 235;
  Y.bytes[1] = 16;
  TShader* prog = Program("videomask");
  for (float inv : {0.0f, 1.0f}) {
    TBitmap out = Draw(prog, {Lum(Y)}, 0xFFFFFFFF, [&](T3DScreen* s) { s->SetShaderConstant(0, inv); });
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        float m = Sat((1 - 2 * inv) * (Y.At(x, y) - 0.0625f) * 1.16438f + inv);
        ExpectColor(out.GetPixel(x, y), {m, m, m, m}, kTol, "videomask", x, y);
      }
    uint32_t white = out.GetPixel(0, 0) >> 24, black = out.GetPixel(1, 0) >> 24;
    EXPECT_EQ(white, inv > 0 ? 0u : 255u);
    EXPECT_EQ(black, inv > 0 ? 255u : 0u);
  }
}

TEST_F(PixelPrograms, UnsharpSharpensAboveThresholdOnly) {
  TImage img = RandomImage(14);
  TShader* prog = Program("unsharp");
  for (float threshold : {0.0f, 1.01f}) {
    const float amount = 0.75f;
    TBitmap out = Draw(prog, {Argb(img)}, 0xFFFFFFFF, [&](T3DScreen* s) {
      s->SetShaderConstant(0, 1.0f / N, 1.0f / N);
      s->SetShaderConstant(1, threshold);
      s->SetShaderConstant(2, amount);
    });
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        auto ch = [&](int dx, int dy, int c) {
          TColorF p = img.At(x + dx, y + dy);
          return c == 0 ? p.r : c == 1 ? p.g : p.b;
        };
        float o[3];
        for (int c = 0; c < 3; ++c) {
          float blur = (4 * ch(0, 0, c) + 2 * (ch(-1, 0, c) + ch(1, 0, c) + ch(0, -1, c) + ch(0, 1, c)) +
                        ch(-1, -1, c) + ch(1, -1, c) + ch(-1, 1, c) + ch(1, 1, c)) / 16;
          float diff = ch(0, 0, c) - blur;
          o[c] = std::fabs(diff) >= threshold ? ch(0, 0, c) + diff * amount : ch(0, 0, c);
        }
        ExpectColor(out.GetPixel(x, y), {o[0], o[1], o[2], img.At(x, y).a}, kTol, "unsharp", x, y);
        if (threshold > 1) {
          const uint8_t* p = &img.bytes[(y * N + x) * 4];
          EXPECT_EQ(out.GetPixel(x, y), (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) |
                                            (uint32_t(p[1]) << 8) | p[0]);
        }
      }
  }
}

TEST_F(PixelPrograms, GaussianPassesWeighSevenTaps) {
  TImage img = RandomImage(15);
  for (const char* name : {"gauss_blur_h7", "gauss_blur_v7"}) {
    bool horizontal = name[11] == 'h';
    TShader* prog = Program(name);
    for (auto [w, step] : {std::pair{1.0f, 0}, std::pair{0.6f, 2}, std::pair{1.0f, 1}}) {
      float wt[4] = {0.294544f * w + (1 - w), 0.17865f * w, 0.108356f * w, 0.065722f * w};
      TBitmap out = Draw(prog, {Argb(img)}, 0xFFFFFFFF, [&](T3DScreen* s) {
        s->SetShaderConstant(0, wt[3], wt[2], wt[1], wt[0]);
        s->SetShaderConstant(1, float(step) / N);
      });
      for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
          TColorF sum;
          for (int k = -3; k <= 3; ++k) {
            TColorF p = horizontal ? img.At(x + k * step, y) : img.At(x, y + k * step);
            float f = wt[std::abs(k)];
            sum = {sum.r + p.r * f, sum.g + p.g * f, sum.b + p.b * f, sum.a + p.a * f};
          }
          ExpectColor(out.GetPixel(x, y), sum, kTol, name, x, y);
        }
    }
  }
}

TEST_F(PixelPrograms, GaussMixBlendsTwoTextures) {
  TImage big = RandomImage(16), small = RandomImage(17);
  TBitmap out = Draw(Program("gauss_mix"), {Argb(big), Argb(small)}, 0xFFFFFFFF,
                     [&](T3DScreen* s) { s->SetShaderConstant(0, 0.3f); });
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      TColorF b = big.At(x, y), s = small.At(x, y);
      TColorF want{b.r + 0.3f * (s.r - b.r), b.g + 0.3f * (s.g - b.g), b.b + 0.3f * (s.b - b.b),
                   b.a + 0.3f * (s.a - b.a)};
      ExpectColor(out.GetPixel(x, y), want, kTol, "gauss_mix", x, y);
    }
}

TEST_F(PixelPrograms, ColorCorrectionMixesTowardsTint) {
  TImage img = RandomImage(18);
  // A mid-grey pixel: with degree 1 it becomes the vertex colour.
  img.bytes[0] = img.bytes[1] = img.bytes[2] = 128;
  img.bytes[3] = 255;
  const uint32_t vcolor = 0xE6C86432;
  TColorF vc = FromArgb(vcolor);
  TShader* prog = Program("color_correction");
  for (float degree : {0.0f, 1.0f, 0.4f}) {
    TBitmap out = Draw(prog, {Argb(img)}, vcolor, [&](T3DScreen* s) { s->SetShaderConstant(0, degree); });
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        TColorF t = img.At(x, y);
        float l = 0.2126f * t.r + 0.7152f * t.g + 0.0722f * t.b;
        TColorF want{t.r + degree * (2 * l * vc.r - t.r), t.g + degree * (2 * l * vc.g - t.g),
                     t.b + degree * (2 * l * vc.b - t.b), t.a * vc.a};
        ExpectColor(out.GetPixel(x, y), want, kTol, "color_correction", x, y);
      }
    if (degree == 1.0f) ExpectColor(out.GetPixel(0, 0), vc, 3.0f / 255, "mid grey", 0, 0);
    if (degree == 0.0f) {
      const uint8_t* p = &img.bytes[(5 * N + 5) * 4];
      EXPECT_EQ(out.GetPixel(5, 5) & 0xFFFFFF, (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]);
    }
  }
}

TEST_F(PixelPrograms, PremultipliedCompositing) {
  TImage layer = RandomImage(19), mask = RandomImage(20);
  // Zero alpha must give transparent black, not an undefined colour.
  layer.bytes[3] = 0;
  mask.bytes[4 * 1 + 3] = 0;
  const uint32_t vcolor = 0xB4FFFFFF;
  float va = 0xB4 / 255.0f;
  TBitmap p1 = Draw(Program("premul"), {Argb(layer), Argb(mask)}, 0xFFFFFFFF, {});
  TBitmap p2 = Draw(Program("premul2"), {Argb(layer), Argb(mask)}, vcolor, {});
  TBitmap p3 = Draw(Program("premul3"), {Argb(layer)}, vcolor, {});
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      TColorF l = layer.At(x, y), m = mask.At(x, y);
      TColorF p{l.r * m.r, l.g * m.g, l.b * m.b, l.a * m.a};
      TColorF want1 = p.a > 0 ? TColorF{p.r / p.a, p.g / p.a, p.b / p.a, p.a} : TColorF{};
      // Un-premultiplying amplifies the 8-bit error of small alphas; compare where it is sound.
      if (p.a > 0.25f || p.a == 0) ExpectColor(p1.GetPixel(x, y), want1, 4 * kTol / std::max(p.a, 0.25f), "premul", x, y);
      TColorF mm = m.a > 0 ? TColorF{m.r / m.a, m.g / m.a, m.b / m.a, m.a} : TColorF{};
      TColorF want2{l.r * mm.r, l.g * mm.g, l.b * mm.b, l.a * mm.a * va};
      if (m.a > 0.25f || m.a == 0) ExpectColor(p2.GetPixel(x, y), want2, 4 * kTol / std::max(m.a, 0.25f), "premul2", x, y);
      float a = l.a * va;
      ExpectColor(p3.GetPixel(x, y), {l.r * a, l.g * a, l.b * a, a}, kTol, "premul3", x, y);
    }
  EXPECT_EQ(p1.GetPixel(0, 0), 0u);
  EXPECT_EQ(p2.GetPixel(1, 0), 0u);
}

}  // namespace
}  // namespace zem::test
