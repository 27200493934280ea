#include "exif_orientation.h"

#include <cstring>

int ExifOrientation(const unsigned char* p, size_t n) {
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return 1;
    const unsigned char* t = p + 6;
    const size_t tn = n - 6;
    bool big;
    if (t[0] == 'I' && t[1] == 'I')
        big = false;
    else if (t[0] == 'M' && t[1] == 'M')
        big = true;
    else
        return 1;
    auto u16 = [&](size_t at) {
        return big ? unsigned(t[at] << 8 | t[at + 1]) : unsigned(t[at] | t[at + 1] << 8);
    };
    auto u32 = [&](size_t at) {
        return big ? (uint32_t(u16(at)) << 16 | u16(at + 2))
                   : (uint32_t(u16(at + 2)) << 16 | u16(at));
    };
    if (u16(2) != 42) return 1;
    const uint32_t ifd = u32(4);
    if (ifd > tn || tn - ifd < 2) return 1;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + size_t(i) * 12;
        if (e + 12 > tn) return 1;
        if (u16(e) != 0x0112) continue;
        // A SHORT (type 3) with one value, held in the first two value bytes.
        if (u16(e + 2) != 3 || u32(e + 4) != 1) return 1;
        const unsigned v = u16(e + 8);
        return v >= 1 && v <= 8 ? int(v) : 1;
    }
    return 1;
}

TOrientedRow OrientedRow(QImage* out, int orientation, int w, int h, int y) {
    const ptrdiff_t bpl = out->bytesPerLine();
    uchar* base = out->bits();
    auto at = [&](int dx, int dy) { return base + ptrdiff_t(dy) * bpl + ptrdiff_t(dx) * 3; };
    switch (orientation) {
        case 2:
            return {at(w - 1, y), -3};
        case 3:
            return {at(w - 1, h - 1 - y), -3};
        case 4:
            return {at(0, h - 1 - y), 3};
        case 5:
            return {at(y, 0), bpl};
        case 6:
            return {at(h - 1 - y, 0), bpl};
        case 7:
            return {at(h - 1 - y, w - 1), -bpl};
        case 8:
            return {at(y, w - 1), -bpl};
        default:
            return {at(0, y), 3};
    }
}
