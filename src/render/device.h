// The abstract graphics device API. The screen (screen.h) and everything above it talk to
// these interfaces only; gl_device.h implements them over OpenGL 3.3 core.
//
// Threads: every call on a renderer or on a device object runs under DeviceMutex(). GL calls
// are only made on a thread where the renderer's context is current (see gl_device.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"
#include "render/geometry.h"

namespace zem {

class TDrawDevice;

// The process-wide device mutex: innermost lock, around every device call.
std::recursive_mutex& DeviceMutex();

// Pixel format codes of textures.
enum TTexFormat : int {
  kFmtArgb32 = 0,        // 32-bit ARGB (bytes B, G, R, A)
  kFmtTarget = 1,        // render target without alpha
  kFmtTargetAlpha = 2,   // render target with alpha
  kFmtLuminance8 = 3,    // one 8-bit channel, sampled as grey
  kFmtGrey565 = 4,       // 16-bit 5-6-5
};
int BytesPerTexel(int format);
bool IsRenderTargetFormat(int format);

// Result classification of device calls.
enum class TDxResult { Ok = 0, InvalidCall = 1, OutOfVideoMemory = 2, Lost = 3, Other = 4 };
// The class number the log reports: 1 invalid call, 2 out of video memory, 3 lost or other.
int DxErrorClass(TDxResult r);

struct TDisplayMode {
  TIntRect monitor;
  int refresh_rate = 0;  // Hz, 0 when unknown
  int format = 0;        // bits per pixel
};

enum : uint8_t { kAddressClamp = 0, kAddressWrap = 1, kAddressMirror = 2 };

struct TSamplerState {
  bool nearest = false;
  uint8_t address_u = kAddressClamp, address_v = kAddressClamp;
  bool anisotropic = false;
  float mip_bias = 0;
};

// One vertex as the batches collect it: design-space position, ARGB colour, three sets of
// normalised texture coordinates.
struct TVertex {
  float x = 0, y = 0, z = 0;
  uint32_t color = 0xFFFFFFFF;
  float tex[3][2] = {{0, 0}, {0, 0}, {0, 0}};
};
static_assert(sizeof(TVertex) == 40);

// Design space onto the current target: p' = centre + (p.xy - centre) / w with
// w = (camera + z) / camera, then scaled and offset into target pixels (y down).
struct TProjection {
  float scale_x = 1, scale_y = 1;
  float offset_x = 0, offset_y = 0;    // target pixels of design (0, 0), target offset included
  float centre_x = 0, centre_y = 0;    // design-space point the camera looks at
  float camera = 1;                     // camera distance (design units, > 0)
  static constexpr float kNear = 0.01f;
  static constexpr float kFar = 1e6f;
  // Target pixel of a design point; false when it lies behind the near plane.
  bool Project(const TVec3& p, TPointF& out) const;
  // Design point on the plane n·p = d that projects to the target pixel s; false if parallel.
  bool Unproject(TPointF s, const TVec3& n, float d, TVec3& out) const;
};

class T3DSurface : public TObj {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
};

class T3DTexture : public TObj {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual int Format() const = 0;
  // Replaces the area (in texels) with rows of the format's layout, `pitch` bytes apart.
  virtual bool Upload(const TIntRect& area, const uint8_t* data, int64_t pitch) = 0;
  // The render-target surface of level 0, none for plain textures.
  virtual T3DSurface* Surface() = 0;
  // Replaces mip level `level` (1 and up, sides halved rounding up) whole, rows `pitch` bytes
  // apart. Once the 1 × 1 level is in, the texture samples from its chain where the device
  // filters anisotropically; false where it keeps no chains (no mip filter then).
  virtual bool UploadMip(int level, const uint8_t* data, int64_t pitch) {
    (void)level, (void)data, (void)pitch;
    return false;
  }
};

class T3DVertexList : public TObj {
 public:
  virtual bool Upload(const TVertex* vertices, size_t count) = 0;
  virtual size_t Capacity() const = 0;
};

class T3DShader : public TObj {
 public:
  virtual int Kind() const = 0;  // 0 pixel program, 1 vertex program
};

// Objects of the screen that keep device copies: told to drop them when the device goes.
class TDeviceObject {
 public:
  virtual ~TDeviceObject() = default;
  // Called under DeviceMutex() with the context current: free the device copy.
  virtual void DropDeviceObject() = 0;
};

class T3DRenderer : public TObj {
 public:
  enum : int { kUsable = 0, kRequested = 1, kLost = 2 };
  virtual int State() const = 0;
  virtual int RefreshRate() const = 0;
  virtual bool Exclusive() const = 0;

  virtual bool BeginScene() = 0;
  virtual void EndScene() = 0;
  virtual bool Present() = 0;

  virtual T3DSurface* BackBuffer() = 0;
  virtual bool SetRenderTarget(T3DSurface* surface) = 0;
  virtual void SetViewport(const TIntRect& r) = 0;
  virtual void SetProjection(const TProjection& p) = 0;
  // rect none: the whole target.
  virtual void Clear(uint32_t argb, bool depth, const TIntRect* rect) = 0;
  // Modes 0..2 as the drawer uses them, kBlendCopy replaces the target (copies, tests).
  static constexpr int kBlendCopy = 3;
  virtual void SetBlendMode(int mode, bool premultiplied_source) = 0;
  virtual void SetShader(T3DShader* shader) = 0;
  virtual void SetShaderConstant(int reg, const float v[4]) = 0;
  virtual void SetTexture(int stage, T3DTexture* texture, const TSamplerState& s) = 0;
  // Colour = texture × vertex colour or texture alone; alpha likewise.
  virtual void SetCombine(bool modulate_color, bool modulate_alpha) = 0;
  virtual bool DrawTriangles(const TVertex* vertices, size_t count) = 0;
  virtual bool DrawVertexList(T3DVertexList* list, size_t first, size_t count) = 0;

  virtual std::unique_ptr<T3DTexture> CreateTexture(int32_t w, int32_t h, int format,
                                                    TDeviceObject* owner) = 0;
  virtual std::unique_ptr<T3DVertexList> CreateVertexList(size_t capacity, TDeviceObject* owner) = 0;
  virtual std::unique_ptr<T3DShader> CreateShader(std::string_view code, int kind,
                                                  TDeviceObject* owner) = 0;
  // The owner no longer holds device copies (it dropped them itself).
  virtual void ForgetObject(TDeviceObject* owner) = 0;
  // Copies a surface into a 32-bit bitmap of its size (top row first).
  virtual bool ReadSurface(T3DSurface* surface, TBitmap& out) = 0;
  // Uploads of textures larger than this fail.
  virtual int32_t MaxTextureSize() const = 0;
  // Told (on the thread that met the loss) when the device went away.
  virtual void SetReleaseHandler(std::function<void()> handler) = 0;
  // Test hook: the next checked device call reports a lost device.
  virtual void SimulateDeviceLoss() = 0;
  // Waits until the device has finished every command given so far (timing, export).
  virtual void WaitIdle() = 0;
};

class T3DEngine : public TObj {
 public:
  virtual int AdapterForRect(const TIntRect& r) = 0;
  virtual int64_t GetCaps(const std::string& name, int adapter) = 0;
  virtual bool GetDisplayMode(int adapter, TDisplayMode& mode) = 0;
  virtual std::unique_ptr<T3DRenderer> CreateRenderer(TDrawDevice* device, const TDisplayMode& mode,
                                                      int adapter) = 0;
  virtual bool InitCheck() = 0;
  virtual int ShaderLevel(int adapter) = 0;
};

// Shader level from the adapter's vendor id and pixel program version (major × 256 + minor).
int ShaderLevelFor(int64_t vendor, int64_t ps_version);
// Milliseconds to sleep before presenting, for the refresh rate (0 = unknown: 60 Hz) and the
// milliseconds since the last present.
uint32_t PresentSleepMs(int refresh_rate, int64_t since_last_present);

}  // namespace zem
