// The picture codecs as the re-encoders, the picture chooser and the page use
// them: libjpeg (IJG API), giflib, libpng and the toolkit's bitmap reader, one
// file each. Decoders give 24-bit RGB pictures (QImage::Format_RGB888), upright,
// with transparency drawn onto white. Every failure raises std::runtime_error with
// the codec's message; a file that ends before its pixels do is a damaged
// picture, never one with grey or black rows.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

// The largest picture any decoder takes, in pixels (a 48-megapixel phone photo is
// well inside; a picture of many gigapixels in a small file is refused).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;

#include "picture_bmp.h"
#include "picture_gif.h"
#include "picture_jpeg.h"
#include "picture_png.h"

// A picture file's bytes decoded by its extension (".jpg", ".jpeg", ".png", ".gif"
// or ".bmp", any case), by the same decoders the re-encoders use: a GIF gives its
// first frame. boxW, boxH and fullSize as for DecodeJpeg (only a JPEG comes out
// reduced; for the others fullSize is the picture's size).
QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW = 0, int boxH = 0,
                     QSize* fullSize = nullptr);
