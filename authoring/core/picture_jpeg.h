// JPEG through libjpeg (IJG API): decoding to upright 24-bit RGB, and encoding.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

#include "picture_header.h"
#include "picture_sink.h"

// libjpeg's own limits for files of unknown origin: the memory it may take (a
// progressive picture keeps all its coefficients, two bytes a sample), and the
// number of scans it reads.
inline constexpr long kJpegMaxMemory = 256L << 20;
inline constexpr int kJpegMaxScans = 100;

// A JPEG in RGB: YCbCr, grey, RGB, and CMYK or YCCK (Adobe-inverted where the
// file carries the Adobe marker) converted as (1 - C)(1 - K). The EXIF orientation
// is applied, so the picture comes out upright. Given a box, the picture is meant
// to be shrunk into it (never enlarged): it is decoded at the smallest of libjpeg's
// DCT scalings (1/8 .. 8/8) that still covers that shrunk size, and fullSize gets
// the upright size of the whole picture.
// Data cut short or garbled (libjpeg's corrupt-data warnings), more scans or
// memory than the limits above, or more than kMaxPicturePixels: damaged.
QImage DecodeJpeg(const std::string& bytes, int boxW = 0, int boxH = 0, QSize* fullSize = nullptr);
// The same, read from the file as libjpeg needs it. Given a box, where a whole
// factor still lies between the DCT scaling and the box, an RGB picture's rows
// are also averaged by that factor as they are read, as the other formats' file
// readers do: the picture comes out no smaller than shrunk into the box.
QImage DecodeJpegFile(const std::string& path, int boxW = 0, int boxH = 0,
                      QSize* fullSize = nullptr);
// The same from a file already open (a stream of bytes in memory is read as a file).
QImage DecodeJpeg(const TPictureStream& in, int boxW = 0, int boxH = 0, QSize* fullSize = nullptr);
// The smallest DCT scaling n/8 at which a JPEG of the upright size w x h still
// covers that size shrunk into the box (8/8 when it fits the box already), and
// the upright size it is then decoded at.
struct TJpegDecodeSize {
    int Num;
    int64_t W, H;
};
TJpegDecodeSize JpegDecodeSize(int64_t w, int64_t h, int64_t boxW, int64_t boxH);
// The header alone, up to the first scan.
TPictureHeader ReadJpegHeader(const std::string& path);
// A colour, baseline JPEG with the library's default tables; quality 1..100.
// A picture without pixels gives no bytes at all.
std::string EncodeJpeg(const QImage& rgb, int quality);

// The EXIF orientation (1..8) a JPEG's APP1 segment gives, 1 when it has none.
int JpegOrientation(const std::string& bytes);
