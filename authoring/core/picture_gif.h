// GIF through giflib: the first frame of any GIF for drawing, and one-frame
// palette GIFs for writing.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>
#include <vector>

#include "picture_header.h"

// The number of frames of a GIF, and its first frame drawn onto a white picture of
// the GIF's screen size (the picture is left null when frames is 0).
struct TGifPicture {
    int Frames = 0;
    QImage First;
};
// Only the first frame is decoded, and only as far as it falls on the screen;
// the others are counted, their data skipped undecoded.
TGifPicture DecodeGif(const std::string& bytes);
// The same read from the file, and with a box the first frame comes out reduced
// toward the screen shrunk into the box (see TPictureSink::FactorFor); screen
// gets the screen's size.
TGifPicture DecodeGifFile(const std::string& path, int boxW = 0, int boxH = 0,
                          QSize* screen = nullptr);
// The picture's size from the header alone: the screen's, or for a screen of no
// size, the one the decoder takes from the first frame's descriptor.
TPictureHeader ReadGifHeader(const std::string& path);
// One frame, one global colour table of 1..256 colours (0x00RRGGBB), LZW data.
// indices holds width*height palette indices, row by row.
std::string EncodeGif(int width, int height, const std::vector<uint32_t>& palette,
                      const std::vector<uint8_t>& indices);
