#include "picture_bmp.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstdlib>
#include <stdexcept>

#include "picture_codecs.h"

namespace {

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

// What the bitmap's headers promise: fails when the pixel data is shorter than
// they say, or the picture is larger than any decoder takes.
void CheckBmpHeaders(const std::string& b) {
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') throw std::runtime_error("BMP: not a bitmap file");
    const uint32_t offBits = Le(b, 10, 4), dibSize = Le(b, 14, 4);
    int64_t w, h;
    uint32_t bpp, compression = 0, sizeImage = 0;
    if (dibSize == 12) {
        w = Le(b, 18, 2);
        h = Le(b, 20, 2);
        bpp = Le(b, 24, 2);
    } else {
        if (dibSize < 40 || b.size() < 14 + size_t(40)) throw std::runtime_error("BMP: header ends early");
        w = static_cast<int32_t>(Le(b, 18, 4));
        h = static_cast<int32_t>(Le(b, 22, 4));
        bpp = Le(b, 28, 2);
        compression = Le(b, 30, 4);
        sizeImage = Le(b, 34, 4);
    }
    w = std::abs(w);
    h = std::abs(h);
    if (w * h > kMaxPicturePixels) throw std::runtime_error("BMP: picture too large");
    // Uncompressed rows are padded to four bytes; compressed data has the size the
    // header gives it.
    const bool plain = compression == 0 || compression == 3 || compression == 6;
    const int64_t need = plain ? (w * bpp + 31) / 32 * 4 * h : sizeImage;
    if (static_cast<int64_t>(b.size()) < static_cast<int64_t>(offBits) + need)
        throw std::runtime_error("BMP: pixel data ends early");
}

}  // namespace

QImage DecodeBmp(const std::string& bytes) {
    CheckBmpHeaders(bytes);
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    // The toolkit's own limit would refuse a large photo the headers allow.
    reader.setAllocationLimit(static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024) + 1));
    QImage pic;
    if (!reader.read(&pic) || pic.isNull()) throw std::runtime_error("BMP: not a readable bitmap");
    return pic.format() == QImage::Format_RGB888 ? pic : pic.convertToFormat(QImage::Format_RGB888);
}

