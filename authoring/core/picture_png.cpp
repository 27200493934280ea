#include "picture_png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "picture_codecs.h"
#include "picture_sink.h"

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

// A chunk whose length claims more than libpng's cap is damage, not a detail:
// libpng would only warn and go on to read it.
void PngWarning(png_structp png, png_const_charp msg) {
    if (std::strstr(msg, "chunk data is too large")) PngError(png, msg);
}

// The most any chunk's data may take: what the file holds, never more than
// libpng's own default. Chunks other than the ones that make the pixels are
// skipped unread; of those only PLTE and tRNS are held, and they are small.
constexpr png_alloc_size_t kPngChunkMax = 8000000;

void LimitPngChunks(png_structp png, int64_t fileSize) {
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    const int64_t cap = fileSize > 0 ? std::min<int64_t>(fileSize, kPngChunkMax) : kPngChunkMax;
    png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(cap));
    png_set_chunk_cache_max(png, 32);
}

// 8-bit RGBA pixels drawn onto a white 24-bit row, blended in those values.
void RgbaOnWhite(const unsigned char* src, uchar* dst, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, src += 4, dst += 3) {
        const unsigned a = src[3];
        // Most pixels are opaque: the blend would give them as they are.
        if (a == 255) {
            dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
            continue;
        }
        for (int c = 0; c < 3; ++c)
            dst[c] = static_cast<uchar>((src[c] * a + 255 * (255 - a) + 127) / 255);
    }
}

// The C++ side of the row loop, kept out of the function that holds the jump
// point: a sink owned by the caller through *sink, and the rows put into it.
bool MakePngSink(TPictureSink** sink, int w, int h, int boxW, int boxH) {
    try {
        *sink = new TPictureSink(w, h, TPictureSink::FactorFor(w, h, boxW, boxH));
        return true;
    } catch (...) {
        return false;
    }
}

void PutPngRow(TPictureSink* sink, int y, int x0, int step, const uchar* rgb, int n) {
    sink->Put(y, x0, step, rgb, n);
}

// The signature and the header chunk, read before libpng sees the file, so that
// a picture too large is refused before libpng reads on; libpng then gets those
// bytes first and the rest of the stream after them.
struct TPngIn {
    FILE* F;
    unsigned char Head[33];
    size_t HeadPos;
    png_uint_32 Width, Height;
};

bool ReadPngHead(TPngIn* in, char* message) {
    in->HeadPos = 0;
    if (std::fread(in->Head, 1, sizeof in->Head, in->F) != sizeof in->Head ||
        std::memcmp(in->Head, "\x89PNG\r\n\x1A\n", 8) != 0 ||
        std::memcmp(in->Head + 12, "IHDR", 4) != 0) {
        std::strcpy(message, "not a PNG file");
        return false;
    }
    auto be = [&](int at) {
        return png_uint_32(in->Head[at]) << 24 | png_uint_32(in->Head[at + 1]) << 16 |
               png_uint_32(in->Head[at + 2]) << 8 | in->Head[at + 3];
    };
    in->Width = be(16);
    in->Height = be(20);
    // Sides are 31-bit numbers: anything larger is no PNG, and no count of
    // pixels may be made from it.
    if (in->Width > PNG_UINT_31_MAX || in->Height > PNG_UINT_31_MAX) {
        std::strcpy(message, "picture size out of range");
        return false;
    }
    return true;
}

void PngRead(png_structp png, png_bytep out, png_size_t len) {
    auto* in = static_cast<TPngIn*>(png_get_io_ptr(png));
    const size_t fromHead = std::min(len, sizeof in->Head - in->HeadPos);
    std::memcpy(out, in->Head + in->HeadPos, fromHead);
    in->HeadPos += fromHead;
    if (fromHead < len && std::fread(out + fromHead, 1, len - fromHead, in->F) != len - fromHead)
        png_error(png, "file ends early");
}

struct TPngRequest {
    int BoxW, BoxH;
    bool HeaderOnly;
    int64_t FileSize;           // 0 when unknown
    png_uint_32 Width, Height;  // out
};

// The rows of the file go one by one into the sink, which the caller owns: an
// interlaced picture's passes are placed pixel by pixel, so no whole picture is
// ever held but the sink's own.
bool DecodePngRaw(FILE* file, TPngRequest* req, TPictureSink** sink, unsigned char** rowBuffer,
                  char* message) {
    TPngIn in{file, {}, 0, 0, 0};
    if (!ReadPngHead(&in, message)) return false;
    req->Width = in.Width;
    req->Height = in.Height;
    if (req->HeaderOnly) return true;
    if (SaturatingProduct(in.Width, in.Height) > kMaxPicturePixels) {
        std::snprintf(message, 200, "图片太大：%u x %u 像素", in.Width, in.Height);
        return false;
    }
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
    png_set_read_fn(png, &in, PngRead);
    LimitPngChunks(png, req->FileSize);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    // Every kind of PNG as 8-bit RGBA: samples of 16 bits scaled (rounded), small
    // depths, palettes and tRNS expanded, grey spread to RGB, opaque alpha added.
    png_set_scale_16(png);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected pixel layout");
    // The sink is made by the C++ side; here only its pointer is filled in.
    if (!MakePngSink(sink, static_cast<int>(width), static_cast<int>(height), req->BoxW, req->BoxH))
        png_error(png, "out of memory");
    *rowBuffer = static_cast<unsigned char*>(std::malloc(size_t(width) * 7));
    if (!*rowBuffer) png_error(png, "out of memory");
    unsigned char* rgba = *rowBuffer;
    uchar* rgb = *rowBuffer + size_t(width) * 4;
    const bool interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
    // Without libpng's interlace handling each pass gives its own rows, of its
    // own width; the empty passes of a small picture are left out.
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const png_uint_32 cols = interlaced ? PNG_PASS_COLS(width, pass) : width;
        const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        if (cols == 0 || rows == 0) continue;
        const int x0 = interlaced ? static_cast<int>(PNG_PASS_START_COL(pass)) : 0;
        const int step = interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
        for (png_uint_32 r = 0; r < rows; ++r) {
            png_read_row(png, rgba, nullptr);
            RgbaOnWhite(rgba, rgb, cols);
            const png_uint_32 y = interlaced ? PNG_ROW_FROM_PASS_ROW(r, pass) : r;
            PutPngRow(*sink, static_cast<int>(y), x0, step, rgb, static_cast<int>(cols));
        }
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
    png_set_IHDR(png, info, static_cast<png_uint_32>(img->width()),
                 static_cast<png_uint_32>(img->height()), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
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

namespace {

QImage DecodePngStream(const TPictureStream& in, int boxW, int boxH, QSize* fullSize) {
    TPngRequest req{boxW, boxH, false, in.Size(), 0, 0};
    TPictureSink* sink = nullptr;
    unsigned char* rowBuffer = nullptr;
    char message[256] = {0};
    const bool ok = DecodePngRaw(in.Get(), &req, &sink, &rowBuffer, message);
    std::unique_ptr<TPictureSink> owned(sink);
    std::free(rowBuffer);
    if (!ok) throw std::runtime_error(std::string("PNG: ") + message);
    if (fullSize) *fullSize = QSize(static_cast<int>(req.Width), static_cast<int>(req.Height));
    return owned->Take();
}

}  // namespace

QImage DecodePng(const std::string& bytes) {
    return DecodePngStream(TPictureStream::OfBytes(bytes), 0, 0, nullptr);
}

QImage DecodePngFile(const std::string& path, int boxW, int boxH, QSize* fullSize) {
    return DecodePngStream(TPictureStream(path), boxW, boxH, fullSize);
}

TPictureHeader ReadPngHeader(const std::string& path) {
    const TPictureStream in(path);
    TPngRequest req{0, 0, true, in.Size(), 0, 0};
    char message[256] = {0};
    if (!DecodePngRaw(in.Get(), &req, nullptr, nullptr, message))
        throw std::runtime_error(std::string("PNG: ") + message);
    return TPictureHeader{static_cast<int>(req.Width), static_cast<int>(req.Height), false};
}

std::string EncodePng(const QImage& indexed) {
    if (indexed.width() <= 0 || indexed.height() <= 0)
        throw std::runtime_error("PNG: picture has no pixels");
    if (indexed.format() != QImage::Format_Indexed8)
        throw std::invalid_argument("PNG: needs an 8-bit picture");
    png_color palette[256] = {};
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256 && i < table.size(); ++i)
        palette[i] = png_color{static_cast<png_byte>(qRed(table[i])),
                               static_cast<png_byte>(qGreen(table[i])),
                               static_cast<png_byte>(qBlue(table[i]))};
    std::string bytes;
    TPngOut out{&bytes, false};
    char message[256] = {0};
    if (!EncodePngRaw(&indexed, palette, &out, message))
        throw std::runtime_error(std::string("PNG: ") + message);
    return bytes;
}
