// PNG through libpng: any PNG drawn onto white, and 8-bit palette PNGs for writing.
#pragma once

#include <QImage>
#include <string>

// Any PNG (palette, grey, RGB, 1 to 16 bits, with or without alpha or tRNS,
// interlaced or not) drawn onto white as the toolkit draws it: 16-bit samples
// scaled to 8 bits, alpha blended in those 8-bit values, no gamma applied.
QImage DecodePng(const std::string& bytes);
// An 8-bit palette PNG of a QImage::Format_Indexed8 picture: not interlaced, the Sub
// filter on every row, zlib level 7, IDAT chunks of at most 65,535 bytes.
std::string EncodePng(const QImage& indexed);
