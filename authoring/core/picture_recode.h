// Picture re-encoding before a picture goes into a message: decode, change one
// random pixel slightly, in mode 3 fit into the box, and encode again. JPEG at the
// configured quality, GIF and PNG with 256-colour palettes; a BMP becomes a JPEG.
// The work picture is always 24-bit RGB (QImage::Format_RGB888).
//
// Every failure (a file that cannot be read or decoded, a codec error, a failed
// write) raises std::runtime_error; the file being re-encoded is then left as it
// was, since new files are written beside it and renamed into place.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

#include "services.h"

// The picture settings of the maker that re-encodes.
struct TPicEncodeSettings {
    int32_t Mode = 1;  // 1 keep; 2 re-encode at own size; 3 re-encode into the box
    int32_t BoxW = 0, BoxH = 0;
    int32_t JpegQuality = 80;  // only the low 8 bits count
};

// The quality the JPEG encoder gets: the low 8 bits, limited to 1..100.
int JpegQualityOf(int32_t setting);

// Writes the bitmap as a JPEG beside it and returns the JPEG's path: the same name
// with ".jpg", or with "-1", "-2", ... before it when something else stands there
// already (it is never replaced). The bitmap stays.
std::string BmpToJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng);
// The re-encoders rewrite a make's fresh copy in the temporary folder, anew and
// without following a link (WriteNewFile): a copy that cannot be written ends the
// make, so it needs neither a temporary of its own nor a sync.
int32_t RecodeJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng);
// The bytes RecodeJpeg would write, with nothing written.
std::string RecodedJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng);
// -1 for a GIF of two or more frames, which is left untouched.
int32_t RecodeGif(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng);
// Rewrites the PNG as an 8-bit palette picture.
int32_t RecodePng(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng);

// The memory a make may spend on one picture. A 100-megapixel photo fits; a file
// of a few bytes that claims a picture of hundreds of megapixels does not.
inline constexpr int64_t kPictureMemoryBudget = int64_t(512) << 20;
// What re-encoding the picture at path would take, judged by the file's size and
// its header alone (the body is not read), for modes 2 and 3.
int64_t PictureMemoryNeed(const std::string& path, const TPicEncodeSettings& s);
// Raises, naming the file and saying why in Chinese, when that is more than the
// budget or the header cannot be read; nothing is written then.
void CheckPictureBudget(const std::string& path, const TPicEncodeSettings& s);

// Outside mode 1, raises one random pixel's red, green and blue by 0..9 each
// (wrapping), then in mode 3 fits the picture into the box. A picture without
// pixels raises. fullSize: the size of the whole picture when pic was decoded
// reduced (the fit then comes out as that of the whole picture); empty for
// pic's own size.
void PreparePicture(QImage& pic, const TPicEncodeSettings& s, TRandomSource& rng, QSize fullSize = QSize());
// Scales by r = min(BoxW / width, BoxH / height), both sides rounded half to even,
// enlarging as well as shrinking; width and height those of fullSize when given.
// A box with a side of zero or less leaves the picture as it is.
void FitPictureToBox(QImage& pic, const TPicEncodeSettings& s, QSize fullSize = QSize());

// The GIF encoder's colour reduction.
enum class TGifColorReduction {
    // Octree colours only, up to 256.
    Optimized,
    // Entries 0-9 and 246-255 the 20 colours of the system palette, 10-245 octree
    // colours of the picture, black where unused.
    OptimizedWithSystemColors,
};

class TGifEncoder {
public:
    TGifColorReduction Reduction = TGifColorReduction::Optimized;
    // Every pixel takes its nearest palette colour; there is no dithering.
    std::string Encode(const QImage& pic) const;
};

void SetGifQuantize(TGifEncoder& encoder);

// Replaces the picture by its 8-bit copy with a 256-entry palette of at most 256
// octree colours (black where unused), each pixel the nearest colour.
void ReducePngColors(QImage& pic);

// The 20 colours of the system palette, 0x00RRGGBB: the first 10 go to entries
// 0-9 of a GIF palette, the last 10 to entries 246-255.
extern const uint32_t kSystemColors[20];
