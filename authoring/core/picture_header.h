// What every picture decoder shares: the largest picture it takes, and what a
// file's header alone tells of its picture.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

// The largest picture any decoder takes, in pixels (a 48-megapixel phone photo is
// well inside; a picture of many gigapixels in a small file is refused).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;

// Products and sums of counts of pixels and bytes as a hostile header makes them:
// each saturates at the largest 64-bit value instead of wrapping, a negative
// count is taken as 0, so that a check against a limit can never be passed by
// an overflow.
inline constexpr int64_t SaturatingProduct(int64_t a, int64_t b) {
    if (a <= 0 || b <= 0) return 0;
    int64_t p = 0;
    return __builtin_mul_overflow(a, b, &p) ? std::numeric_limits<int64_t>::max() : p;
}
inline constexpr int64_t SaturatingSum(int64_t a, int64_t b) {
    int64_t s = 0;
    return __builtin_add_overflow(std::max<int64_t>(a, 0), std::max<int64_t>(b, 0), &s)
               ? std::numeric_limits<int64_t>::max()
               : s;
}

// The size a file's header gives its picture (a GIF: its screen), as stored.
struct TPictureHeader {
    int Width = 0, Height = 0;
    bool Progressive = false;  // a progressive JPEG, which keeps all its coefficients while read
    bool Sideways = false;     // a JPEG whose orientation swaps its sides when it is turned upright
};
