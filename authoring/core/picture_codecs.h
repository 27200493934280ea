// The picture codecs as the re-encoders and the picture chooser use them: libjpeg
// (IJG API), giflib, libpng and the toolkit's bitmap reader, working from and to
// bytes in memory. Decoders give 24-bit RGB pictures (QImage::Format_RGB888),
// upright, with transparency drawn onto white. Every failure raises
// std::runtime_error with the codec's message; a file that ends before its pixels
// do is a damaged picture, never one with grey or black rows.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>
#include <vector>

// The largest picture any decoder takes, in pixels (a 48-megapixel phone photo is
// well inside; a picture of many gigapixels in a small file is refused).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;

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

// The number of frames of a GIF, and its first frame drawn onto a white picture of
// the GIF's screen size (the picture is left null when frames is 0).
struct TGifPicture {
    int Frames = 0;
    QImage First;
};
TGifPicture DecodeGif(const std::string& bytes);
// One frame, one global colour table of 1..256 colours (0x00RRGGBB), LZW data.
// indices holds width*height palette indices, row by row.
std::string EncodeGif(int width, int height, const std::vector<uint32_t>& palette,
                      const std::vector<uint8_t>& indices);

// Any PNG (palette, grey, RGB, 1 to 16 bits, with or without alpha or tRNS,
// interlaced or not) drawn onto white as the toolkit draws it: 16-bit samples
// scaled to 8 bits, alpha blended in those 8-bit values, no gamma applied.
QImage DecodePng(const std::string& bytes);
// An 8-bit palette PNG of a QImage::Format_Indexed8 picture: not interlaced, the Sub
// filter on every row, zlib level 7, IDAT chunks of at most 65,535 bytes.
std::string EncodePng(const QImage& indexed);

// A bitmap file as stored, at 24 bits per pixel. A file whose pixel data is
// shorter than its header says is damaged.
QImage DecodeBmp(const std::string& bytes);

// A picture file's bytes decoded by its extension (".jpg", ".jpeg", ".png", ".gif"
// or ".bmp", any case), by the same decoders the re-encoders use: a GIF gives its
// first frame. boxW, boxH and fullSize as for DecodeJpeg (only a JPEG comes out
// reduced; for the others fullSize is the picture's size).
QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW = 0, int boxH = 0,
                     QSize* fullSize = nullptr);
