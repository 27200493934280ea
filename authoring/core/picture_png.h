// PNG through libpng: any PNG drawn onto white, and 8-bit palette PNGs for writing.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

#include "picture_header.h"

// Any PNG (palette, grey, RGB, 1 to 16 bits, with or without alpha or tRNS,
// interlaced or not) drawn onto white as the toolkit draws it: 16-bit samples
// scaled to 8 bits, alpha blended in those 8-bit values, no gamma applied.
// Read row by row: only the picture made is held, never the file's whole rows.
QImage DecodePng(const std::string& bytes);
// The same read from the file; with a box the picture comes out reduced toward
// its size shrunk into the box (see TPictureSink::FactorFor).
QImage DecodePngFile(const std::string& path, int boxW = 0, int boxH = 0,
                     QSize* fullSize = nullptr);
// The size from the header alone.
TPictureHeader ReadPngHeader(const std::string& path);
// An 8-bit palette PNG of a QImage::Format_Indexed8 picture: not interlaced, the Sub
// filter on every row, zlib level 7, IDAT chunks of at most 65,535 bytes.
std::string EncodePng(const QImage& indexed);
