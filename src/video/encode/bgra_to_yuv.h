// 32-bit BGRA pictures into the encoders' 4:2:0 planes: BT.709, limited range, chroma from the
// mean of each 2 × 2 block. Integer arithmetic the compiler vectorizes: a third or less of
// libswscale's time on a 1080p frame, luma within 1 of its result.
//
// Threads: any; no state.
#pragma once
#include <cstdint>

namespace zem {

// `first` is the top row, `stride` bytes from one row to the next as shown (negative for
// pictures stored bottom row first); width and height are even.
void BgraToI420(const uint8_t* first, int64_t stride, int32_t width, int32_t height, uint8_t* y, int32_t yStride,
                uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride);

}  // namespace zem
