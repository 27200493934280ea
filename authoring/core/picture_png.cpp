#include "picture_png.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "picture_codecs.h"

#include <png.h>

// libpng reports errors by a jump out of its C code. The functions that set the
// jump point hold only plain C data, so that no C++ object is skipped by the
// jump; the C++ wrappers around them turn a failure into an exception.

namespace {

struct TPngOut {
    std::string* Bytes;
    bool Failed;
};

void PngWrite(png_structp png, png_bytep data, png_size_t len) {
    auto* out = static_cast<TPngOut*>(png_get_io_ptr(png));
    try {
        out->Bytes->append(reinterpret_cast<const char*>(data), len);
    } catch (...) {
        out->Failed = true;
    }
    if (out->Failed) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

void PngError(png_structp png, png_const_charp msg) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 200, "%s", msg);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct TPngIn {
    const unsigned char* Data;
    size_t Size;
    size_t Pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t len) {
    auto* in = static_cast<TPngIn*>(png_get_io_ptr(png));
    if (in->Size - in->Pos < len) png_error(png, "file ends early");
    std::memcpy(out, in->Data + in->Pos, len);
    in->Pos += len;
}

// The buffers of one PNG decoding, freed by the caller on every path.
struct TPngBuffers {
    unsigned char* Pixels = nullptr;
    png_bytep* Rows = nullptr;
    ~TPngBuffers() {
        std::free(Pixels);
        std::free(Rows);
    }
};

// 8-bit RGBA pixels drawn onto a white 24-bit row, blended in those values.
void RgbaOnWhite(const unsigned char* src, uchar* dst, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, src += 4, dst += 3) {
        const unsigned a = src[3];
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<uchar>((src[c] * a + 255 * (255 - a) + 127) / 255);
    }
}

bool DecodePngRaw(TPngIn* in, TPngBuffers* buffers, QImage* out, char* message) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, PngError, PngWarning);
    if (!png) {
        std::strcpy(message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::strcpy(message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, in, PngRead);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (static_cast<int64_t>(width) * height > kMaxPicturePixels) png_error(png, "picture too large");
    // Every kind of PNG as 8-bit RGBA: samples of 16 bits scaled (rounded), small
    // depths, palettes and tRNS expanded, grey spread to RGB, opaque alpha added.
    png_set_scale_16(png);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected pixel layout");
    *out = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    if (out->isNull()) png_error(png, "picture too large");
    if (passes == 1) {
        buffers->Pixels = static_cast<unsigned char*>(std::malloc(size_t(width) * 4));
        if (!buffers->Pixels) png_error(png, "out of memory");
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, buffers->Pixels, nullptr);
            RgbaOnWhite(buffers->Pixels, out->scanLine(static_cast<int>(y)), width);
        }
    } else {
        // The passes of an interlaced picture fill its rows over and over.
        buffers->Pixels = static_cast<unsigned char*>(std::malloc(size_t(width) * 4 * height));
        buffers->Rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
        if (!buffers->Pixels || !buffers->Rows) png_error(png, "out of memory");
        for (png_uint_32 y = 0; y < height; ++y) buffers->Rows[y] = buffers->Pixels + size_t(y) * width * 4;
        png_read_image(png, buffers->Rows);
        for (png_uint_32 y = 0; y < height; ++y)
            RgbaOnWhite(buffers->Rows[y], out->scanLine(static_cast<int>(y)), width);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool EncodePngRaw(const QImage* img, const png_color* palette, TPngOut* out, char* message) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, PngError, PngWarning);
    if (!png) {
        std::strcpy(message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::strcpy(message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(img->width()), static_cast<png_uint_32>(img->height()), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, 256);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 7);
    // libpng writes one IDAT chunk per filled compression buffer.
    png_set_compression_buffer_size(png, 65535);
    png_write_info(png, info);
    for (int y = 0; y < img->height(); ++y) png_write_row(png, img->constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

QImage DecodePng(const std::string& bytes) {
    TPngIn in{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0};
    TPngBuffers buffers;
    QImage pic;
    char message[256] = {0};
    if (!DecodePngRaw(&in, &buffers, &pic, message)) throw std::runtime_error(std::string("PNG: ") + message);
    return pic;
}

std::string EncodePng(const QImage& indexed) {
    if (indexed.width() <= 0 || indexed.height() <= 0) throw std::runtime_error("PNG: picture has no pixels");
    if (indexed.format() != QImage::Format_Indexed8) throw std::invalid_argument("PNG: needs an 8-bit picture");
    png_color palette[256] = {};
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256 && i < table.size(); ++i)
        palette[i] = png_color{static_cast<png_byte>(qRed(table[i])), static_cast<png_byte>(qGreen(table[i])),
                               static_cast<png_byte>(qBlue(table[i]))};
    std::string bytes;
    TPngOut out{&bytes, false};
    char message[256] = {0};
    if (!EncodePngRaw(&indexed, palette, &out, message)) throw std::runtime_error(std::string("PNG: ") + message);
    return bytes;
}

