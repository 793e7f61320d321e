// Small geometry records shared by the show model, the drawers and the device layer: design-pixel
// vectors, rectangles and the 3x3 matrices of the object transforms (row-vector convention).
#pragma once
#include <cmath>
#include <cstdint>

namespace zem {

struct TVec3 {
  float x = 0, y = 0, z = 0;

  TVec3 operator+(const TVec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  TVec3 operator-(const TVec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  TVec3 operator*(float k) const { return {x * k, y * k, z * k}; }
  bool operator==(const TVec3& o) const = default;
  float Length() const { return std::sqrt(x * x + y * y + z * z); }
  float Dot(const TVec3& o) const { return x * o.x + y * o.y + z * o.z; }
  TVec3 Cross(const TVec3& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
};

struct TPointF {
  float x = 0, y = 0;
  bool operator==(const TPointF& o) const = default;
};

struct TPointI {
  int32_t x = 0, y = 0;
  bool operator==(const TPointI& o) const = default;
};

struct TRectI {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TRectI& o) const = default;
  bool IsEmpty() const { return right <= left || bottom <= top; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

struct TRectF {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TRectF& o) const = default;
  bool IsEmpty() const { return !(right > left) || !(bottom > top); }
};

// Rows r[0..2]; a row vector v maps to v * M.
struct TMatrix3 {
  float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  bool operator==(const TMatrix3& o) const = default;
  TMatrix3 operator*(const TMatrix3& b) const {
    TMatrix3 r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
    return r;
  }
  TVec3 Row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
};

// A world frame: origin and three axis vectors; local (x, y, z) lands at O + xX + yY + zZ.
struct TFrame3 {
  TVec3 origin, axisX, axisY, axisZ;
  bool operator==(const TFrame3& o) const = default;
  TVec3 Map(float x, float y, float z = 0) const {
    return origin + axisX * x + axisY * y + axisZ * z;
  }
};

}  // namespace zem
