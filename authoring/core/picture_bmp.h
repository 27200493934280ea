// Bitmap files (".bmp") through the toolkit's reader.
#pragma once

#include <QImage>
#include <string>

// A bitmap file as stored, at 24 bits per pixel. A file whose pixel data is
// shorter than its header says is damaged.
QImage DecodeBmp(const std::string& bytes);
