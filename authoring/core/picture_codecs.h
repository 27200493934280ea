// The picture codecs as the re-encoders, the picture chooser and the page use
// them: libjpeg (IJG API), giflib, libpng, and for bitmaps the toolkit's reader
// (bytes) and a row-by-row reader of our own (files), one file each. Decoders give 24-bit RGB
// pictures (QImage::Format_RGB888), upright, with transparency drawn onto white. Every failure
// raises std::runtime_error with the codec's message; a file that ends before its pixels do is a
// damaged picture, never one with grey or black rows.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

#include "picture_bmp.h"
#include "picture_gif.h"
#include "picture_header.h"
#include "picture_jpeg.h"
#include "picture_png.h"

// A picture file's bytes decoded by its extension (".jpg", ".jpeg", ".png", ".gif"
// or ".bmp", any case), by the same decoders the re-encoders use: a GIF gives its
// first frame. boxW, boxH and fullSize as for DecodeJpeg (only a JPEG comes out
// reduced; for the others fullSize is the picture's size).
QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW = 0, int boxH = 0,
                     QSize* fullSize = nullptr);

// A picture file read as a stream by its extension, each decoder taking from the
// file only what it needs, and refusing a picture by its header before its body
// is read. Given a box, the picture comes out reduced toward its size shrunk
// into the box, never smaller (a JPEG by DCT scaling, the others row by row into
// the reduced picture), and fullSize gets the whole picture's upright size.
QImage DecodePictureFile(const std::string& path, int boxW = 0, int boxH = 0,
                         QSize* fullSize = nullptr);

// The picture's size from the file's header alone (a GIF's screen; a JPEG as
// stored, before any EXIF turn). Raises for a file that is no such picture.
TPictureHeader ReadPictureHeader(const std::string& path);

// The picture scaled smoothly to w x h (averaging the area each pixel covers when
// shrinking, interpolating when enlarging), as a 32-bit picture: the toolkit's
// smooth scaling of 24-bit rows takes several times as long as that of 32-bit
// ones, so the rows are widened first. Null when there is no memory for it.
QImage SmoothScaled(const QImage& picture, int w, int h);
