// What every picture decoder shares: the largest picture it takes, and what a
// file's header alone tells of its picture.
#pragma once

#include <cstdint>

// The largest picture any decoder takes, in pixels (a 48-megapixel phone photo is
// well inside; a picture of many gigapixels in a small file is refused).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;

// The size a file's header gives its picture (a GIF: its screen), as stored.
struct TPictureHeader {
    int Width = 0, Height = 0;
    bool Progressive = false;  // a progressive JPEG, which keeps all its coefficients while read
    bool Sideways = false;     // a JPEG whose orientation swaps its sides when it is turned upright
};
