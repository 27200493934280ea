// The picture codecs as the re-encoders use them: libjpeg (IJG API), giflib and
// libpng, working from and to bytes in memory. Decoders give 24-bit RGB pictures
// (QImage::Format_RGB888) with transparency drawn onto white. Every failure raises
// std::runtime_error with the codec's message.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

QImage DecodeJpeg(const std::string& bytes);
// A colour, baseline JPEG with the library's default tables; quality 1..100.
// A picture without pixels gives no bytes at all.
std::string EncodeJpeg(const QImage& rgb, int quality);

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

QImage DecodePng(const std::string& bytes);
// An 8-bit palette PNG of a QImage::Format_Indexed8 picture: not interlaced, the Sub
// filter on every row, zlib level 7, IDAT chunks of at most 65,535 bytes.
std::string EncodePng(const QImage& indexed);
