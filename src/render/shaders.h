// Pixel programs: the thirteen programs of the drawer in GLSL 330, stored under their names,
// and TShader, one program made on a screen's device.
//
// Every program reads the constants c0..c7 as `uniform vec4 c[8]`, the samplers s0..s2, the
// interpolated vertex colour v and the texture coordinates t0..t2, as the drawer sets them.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "render/device.h"

namespace zem {

class T3DScreen;

// Names of the stored programs, in the drawer's order.
const std::vector<std::string>& ProgramNames();
// A stored program's code string: a 32-bit little-endian byte count n followed by n bytes of
// program text. Empty for an unknown name.
std::string ProgramCode(std::string_view name);
// The program text inside a code string (empty when the count does not match).
std::string_view ProgramText(std::string_view code);

class TShader : public TObj, public TDeviceObject {
 public:
  // kind 0: pixel program. The code is a stored code string (ProgramCode).
  TShader(T3DScreen* screen, int kind, std::string code, std::string name = {});
  ~TShader() override;

  const std::string& Name() const { return name_; }
  int Kind() const { return kind_; }
  // Under DeviceMutex(): the device program, none when it could not be made.
  T3DShader* Device() const { return device_.get(); }
  // Makes the device program again when it is missing; false on failure.
  bool Restore();
  void DropDeviceObject() override;

 private:
  T3DScreen* screen_;
  int kind_;
  std::string code_, name_;
  std::unique_ptr<T3DShader> device_;
};

}  // namespace zem
