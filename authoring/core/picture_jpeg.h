// JPEG through libjpeg (IJG API): decoding to upright 24-bit RGB, and encoding.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

// A JPEG in RGB: YCbCr, grey, RGB, and CMYK or YCCK (Adobe-inverted where the
// file carries the Adobe marker) converted as (1 - C)(1 - K). The EXIF orientation
// is applied, so the picture comes out upright. Given a box, the picture is meant
// to be shrunk into it (never enlarged): it is decoded at the smallest of libjpeg's
// DCT scalings (1/8 .. 8/8) that still covers that shrunk size, and fullSize gets
// the upright size of the whole picture.
QImage DecodeJpeg(const std::string& bytes, int boxW = 0, int boxH = 0, QSize* fullSize = nullptr);
// A colour, baseline JPEG with the library's default tables; quality 1..100.
// A picture without pixels gives no bytes at all.
std::string EncodeJpeg(const QImage& rgb, int quality);

// The EXIF orientation (1..8) a JPEG's APP1 segment gives, 1 when it has none.
int JpegOrientation(const std::string& bytes);
