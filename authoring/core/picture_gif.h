// GIF through giflib: the first frame of any GIF for drawing, and one-frame
// palette GIFs for writing.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

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
