// Bitmap files (".bmp") through a reader of our own: 1, 4 and 8 bits with a
// palette, 16, 24 and 32 bits, bit fields, RLE8 and RLE4 (pixels the run-length
// data skips are the first palette colour).
#pragma once

#include <QImage>
#include <QSize>
#include <string>

#include "picture_header.h"

// A bitmap file as stored, at 24 bits per pixel. The header is checked against
// the data's size before any pixel is read: pixel data shorter than the header
// says is damaged.
QImage DecodeBmp(const std::string& bytes);
// The same read row by row from the file; with a box the picture comes out
// reduced toward its size shrunk into the box (see TPictureSink::FactorFor).
QImage DecodeBmpFile(const std::string& path, int boxW = 0, int boxH = 0,
                     QSize* fullSize = nullptr);
// The size from the header alone.
TPictureHeader ReadBmpHeader(const std::string& path);
