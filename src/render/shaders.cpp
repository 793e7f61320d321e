#include "render/shaders.h"

#include <cstring>
#include <map>

#include "foundation/assert.h"
#include "render/screen.h"

namespace zem {

namespace {

// Shared declarations of every program: vertex colour v, coordinates t0..t2, constants c0..c7
// and samplers s0..s2, as the drawer sets them.
constexpr const char* kHeader = R"(#version 330 core
in vec4 v;
in vec2 t0;
in vec2 t1;
in vec2 t2;
uniform vec4 c[8];
uniform sampler2D s0;
uniform sampler2D s1;
uniform sampler2D s2;
out vec4 oColor;
)";

// YUV (video range) to RGB with the drawer's constants c0..c4; y is returned for colorising.
constexpr const char* kYuvToRgb = R"(
vec3 YuvToRgb(float Y, float U, float V, out float y) {
  y = (Y - 0.0625) * c[4].x;
  float u = U - 0.5;
  float w = V - 0.5;
  return clamp(vec3(y + c[0].x * w, y - c[1].x * w - c[2].x * u, y + c[3].x * u), 0.0, 1.0);
}
)";

// One field of an interlaced luminance plane, rows between interpolated: c5.x = texture height
// h, (a, b) = the field offsets in c6.xy.
constexpr const char* kDeinterlace = R"(
float FieldLuma() {
  float h = c[5].x;
  float a = c[6].x;
  float b = c[6].y;
  float p = t0.y * h + b;
  float k = floor(p / 2.0);
  float row1 = 2.0 * k + 0.5 + a;
  float row2 = 2.0 * k + 2.5 + a;
  float f = (p - (2.0 * k + 0.5)) * 0.5;
  return mix(texture(s0, vec2(t0.x, row1 / h)).r, texture(s0, vec2(t0.x, row2 / h)).r, f);
}
)";

// Chroma key on the U and V of the pixel (key in c7.yz, tolerance in c6.zw), colorised by c7.x.
constexpr const char* kChromaKey = R"(
vec4 Keyed(vec3 rgb, float y, float U, float V) {
  float d = abs((V - c[7].z) + (U - c[7].y));
  float k = c[7].x;
  vec3 col = rgb + k * (2.0 * y * v.rgb - rgb);
  float e = d / 2.0;
  float a = (e - c[6].z >= 0.0) ? v.a : (e * c[6].w) * (e * c[6].w) * v.a;
  return vec4(col, a);
}
)";

struct TProgramSource {
  const char* name;
  std::string text;
};

std::string Program(std::initializer_list<const char*> parts) {
  std::string s = kHeader;
  for (const char* p : parts) s += p;
  return s;
}

const std::vector<TProgramSource>& Sources() {
  static const std::vector<TProgramSource> sources = {
      {"unsharp", Program({R"(
void main() {
  vec2 d = c[0].xy;
  vec4 centre = texture(s0, t0);
  vec4 l = texture(s0, t0 + vec2(-d.x, 0.0));
  vec4 r = texture(s0, t0 + vec2(d.x, 0.0));
  vec4 u = texture(s0, t0 + vec2(0.0, -d.y));
  vec4 dn = texture(s0, t0 + vec2(0.0, d.y));
  vec4 diag = texture(s0, t0 + vec2(-d.x, -d.y)) + texture(s0, t0 + vec2(d.x, -d.y)) +
              texture(s0, t0 + vec2(-d.x, d.y)) + texture(s0, t0 + vec2(d.x, d.y));
  vec3 blur = (4.0 * centre.rgb + 2.0 * (l.rgb + r.rgb + u.rgb + dn.rgb) + diag.rgb) / 16.0;
  vec3 diff = centre.rgb - blur;
  vec3 sharp = centre.rgb + diff * c[2].x;
  bvec3 big = greaterThanEqual(abs(diff), vec3(c[1].x));
  oColor = vec4(mix(centre.rgb, sharp, vec3(big)), centre.a);
}
)"})},
      {"yuv_lum", Program({kYuvToRgb, R"(
void main() {
  float y;
  vec3 rgb = YuvToRgb(texture(s0, t0).r, texture(s1, t1).r, texture(s2, t2).r, y);
  oColor = vec4(rgb, v.a);
}
)"})},
      {"yuv_deinterlace_lum", Program({kYuvToRgb, kDeinterlace, R"(
void main() {
  float y;
  vec3 rgb = YuvToRgb(FieldLuma(), texture(s1, t1).r, texture(s2, t2).r, y);
  oColor = vec4(rgb, v.a);
}
)"})},
      {"chromakey", Program({kYuvToRgb, kChromaKey, R"(
void main() {
  float U = texture(s1, t1).r;
  float V = texture(s2, t2).r;
  float y;
  vec3 rgb = YuvToRgb(texture(s0, t0).r, U, V, y);
  oColor = Keyed(rgb, y, U, V);
}
)"})},
      {"chroma_deinter", Program({kYuvToRgb, kDeinterlace, kChromaKey, R"(
void main() {
  float U = texture(s1, t1).r;
  float V = texture(s2, t2).r;
  float y;
  vec3 rgb = YuvToRgb(FieldLuma(), U, V, y);
  oColor = Keyed(rgb, y, U, V);
}
)"})},
      {"videomask", Program({R"(
void main() {
  float y = (texture(s0, t0).r - 0.0625) * 1.16438;
  float inv = c[0].x;
  float m = clamp((1.0 - 2.0 * inv) * y + inv, 0.0, 1.0);
  oColor = vec4(m, m, m, m * v.a);
}
)"})},
      {"color_correction", Program({R"(
void main() {
  vec4 t = texture(s0, t0);
  float l = dot(t.rgb, vec3(0.2126, 0.7152, 0.0722));
  oColor = vec4(t.rgb + c[0].x * (2.0 * l * v.rgb - t.rgb), t.a * v.a);
}
)"})},
      // Division by a zero alpha gives transparent black instead of an undefined colour.
      {"premul", Program({R"(
void main() {
  vec4 p = texture(s0, t0) * texture(s1, t1);
  oColor = p.a > 0.0 ? vec4(p.rgb / p.a, p.a) : vec4(0.0);
}
)"})},
      {"premul2", Program({R"(
void main() {
  vec4 mask = texture(s1, t1);
  vec4 m = mask.a > 0.0 ? vec4(mask.rgb / mask.a, mask.a) : vec4(0.0);
  vec4 o = texture(s0, t0) * m;
  oColor = vec4(o.rgb, o.a * v.a);
}
)"})},
      {"premul3", Program({R"(
void main() {
  vec4 t = texture(s0, t0);
  float a = t.a * v.a;
  oColor = vec4(t.rgb * a, a);
}
)"})},
      {"gauss_blur_h7", Program({R"(
void main() {
  float w[4] = float[4](c[0].w, c[0].z, c[0].y, c[0].x);
  vec4 sum = vec4(0.0);
  for (int k = -3; k <= 3; ++k) {
    float x = clamp(t0.x + float(k) * c[1].x, 0.0, 1.0);
    sum += texture(s0, vec2(x, t0.y)) * w[abs(k)];
  }
  oColor = sum;
}
)"})},
      {"gauss_blur_v7", Program({R"(
void main() {
  float w[4] = float[4](c[0].w, c[0].z, c[0].y, c[0].x);
  vec4 sum = vec4(0.0);
  for (int k = -3; k <= 3; ++k) {
    float y = clamp(t0.y + float(k) * c[1].x, 0.0, 1.0);
    sum += texture(s0, vec2(t0.x, y)) * w[abs(k)];
  }
  oColor = sum;
}
)"})},
      {"gauss_mix", Program({R"(
void main() {
  vec4 big = texture(s0, t0);
  vec4 small = texture(s1, t1);
  oColor = big + c[0].x * (small - big);
}
)"})},
  };
  return sources;
}

}  // namespace

const std::vector<std::string>& ProgramNames() {
  static const std::vector<std::string> names = {
      "unsharp",      "yuv_lum",          "yuv_deinterlace_lum", "chromakey", "chroma_deinter",
      "videomask",    "color_correction", "premul",              "premul2",   "premul3",
      "gauss_blur_h7", "gauss_blur_v7",   "gauss_mix"};
  return names;
}

std::string ProgramCode(std::string_view name) {
  for (const TProgramSource& s : Sources()) {
    if (name != s.name) continue;
    uint32_t n = static_cast<uint32_t>(s.text.size());
    std::string code(4, '\0');
    for (int i = 0; i < 4; ++i) code[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return code + s.text;
  }
  return {};
}

std::string_view ProgramText(std::string_view code) {
  if (code.size() < 4) return {};
  uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n |= uint32_t(static_cast<uint8_t>(code[i])) << (8 * i);
  if (n != code.size() - 4) return {};
  return code.substr(4);
}

TShader::TShader(T3DScreen* screen, int kind, std::string code, std::string name)
    : screen_(screen), kind_(kind), code_(std::move(code)), name_(std::move(name)) {
  ZEM_ASSERT(screen != nullptr);
  ZEM_ASSERT(!ProgramText(code_).empty());
  screen_->RegisterShader(this);
  if (screen_->IsReady()) Restore();
}

TShader::~TShader() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  screen_->UnregisterShader(this);
  device_.reset();
}

bool TShader::Restore() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (device_) return true;
  T3DRenderer* r = screen_->Renderer();
  if (!r || r->State() != T3DRenderer::kUsable) return false;
  device_ = r->CreateShader(ProgramText(code_), kind_, this);
  return device_ != nullptr;
}

void TShader::DropDeviceObject() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  screen_->ShaderDropped(this);
  device_.reset();
}

}  // namespace zem
