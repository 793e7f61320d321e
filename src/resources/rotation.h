// Picture orientation: the transforms a show's orientation table asks for, applied to a decoded
// picture after decoding. The numbers are the EXIF orientation values.
#pragma once
#include <cstdint>
#include <functional>

#include "foundation/bitmap.h"
#include "foundation/strings.h"
#include "package/file_map.h"  // TImageTransform, TransformSwapsSize

namespace zem {

// 3 turns by 180 degrees, 6 a quarter clockwise, 8 a quarter counter-clockwise (width and
// height swap); anything else gives no transform.
TImageTransform TransformForOrientation(int orientation);
// Applies the transform in place (a new buffer for quarter turns).
void ApplyTransform(TBitmap& bitmap, TImageTransform t);

// The file source's answer for a picture name; empty means no table.
using TTransformLookup = std::function<TImageTransform(const WideString& name)>;

// Asks the lookup (when there is one) and turns width and height as the transform will.
TImageTransform LookupTransform(const TTransformLookup* lookup, const WideString& name,
                                int32_t& width, int32_t& height);

}  // namespace zem
