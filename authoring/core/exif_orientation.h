// The EXIF orientation of a photo: where its APP1 segment says the camera was
// turned, and where each decoded pixel lands in the upright picture.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>

// Tag 0x0112 of IFD0 in an APP1 "Exif" segment's payload (1..8); 1 when absent or bad.
int ExifOrientation(const unsigned char* p, size_t n);

// Where decoded pixel (x, y) of a w x h picture lands in the upright picture, as
// the address of pixel (0, y) and the step from one x to the next.
struct TOrientedRow {
    uchar* Start;
    ptrdiff_t Step;
};

// For orientations 5..8 the upright picture out is h x w; it is 24 bits a pixel.
TOrientedRow OrientedRow(QImage* out, int orientation, int w, int h, int y);
