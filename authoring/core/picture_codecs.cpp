#include "picture_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <gif_lib.h>
#include <png.h>

// libjpeg and libpng report errors by a jump out of their C code. The functions
// that set the jump point hold only plain C data, so that no C++ object is skipped
// by the jump; the C++ wrappers around them turn a failure into an exception.

namespace {

// ---- JPEG ----

struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings are dropped, except that a file which ends early is a damaged picture.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(cinfo);
}

void InitJpegError(TJpegError& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = JpegErrorExit;
    err.Pub.emit_message = JpegEmitMessage;
    err.Message[0] = 0;
}

bool DecodeJpegRaw(const unsigned char* data, size_t size, QImage* out, char* message) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    InitJpegError(err);
    cinfo.err = &err.Pub;
    if (setjmp(err.Jump)) {
        std::strcpy(message, err.Message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *out = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                  QImage::Format_RGB888);
    if (out->isNull()) {
        std::strcpy(message, "picture too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const JDIMENSION height = cinfo.output_height;
    while (cinfo.output_scanline < height) {
        JSAMPROW rows[16];
        JDIMENSION n = 0;
        for (; n < 16 && cinfo.output_scanline + n < height; ++n)
            rows[n] = out->scanLine(static_cast<int>(cinfo.output_scanline + n));
        jpeg_read_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// A growing malloc'd buffer as the compressed data's destination; the caller frees
// it on every path.
struct TJpegMemDest {
    jpeg_destination_mgr Pub;
    unsigned char* Buffer;
    size_t Capacity;
    size_t Size;
};

void JpegDestInit(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TJpegMemDest*>(cinfo->dest);
    d->Capacity = 1 << 16;
    d->Buffer = static_cast<unsigned char*>(std::malloc(d->Capacity));
    if (!d->Buffer) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    d->Pub.next_output_byte = d->Buffer;
    d->Pub.free_in_buffer = d->Capacity;
}

boolean JpegDestEmpty(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TJpegMemDest*>(cinfo->dest);
    const size_t grown = d->Capacity * 2;
    auto* p = static_cast<unsigned char*>(std::realloc(d->Buffer, grown));
    if (!p) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    d->Buffer = p;
    d->Pub.next_output_byte = p + d->Capacity;
    d->Pub.free_in_buffer = grown - d->Capacity;
    d->Capacity = grown;
    return TRUE;
}

void JpegDestTerm(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<TJpegMemDest*>(cinfo->dest);
    d->Size = d->Capacity - d->Pub.free_in_buffer;
}

bool EncodeJpegRaw(const QImage* rgb, int quality, TJpegMemDest* dest, char* message) {
    jpeg_compress_struct cinfo;
    TJpegError err;
    InitJpegError(err);
    cinfo.err = &err.Pub;
    if (setjmp(err.Jump)) {
        std::strcpy(message, err.Message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest->Pub.init_destination = JpegDestInit;
    dest->Pub.empty_output_buffer = JpegDestEmpty;
    dest->Pub.term_destination = JpegDestTerm;
    cinfo.dest = &dest->Pub;
    cinfo.image_width = static_cast<JDIMENSION>(rgb->width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb->height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const JDIMENSION height = cinfo.image_height;
    while (cinfo.next_scanline < height) {
        JSAMPROW rows[16];
        JDIMENSION n = 0;
        for (; n < 16 && cinfo.next_scanline + n < height; ++n)
            rows[n] = const_cast<JSAMPROW>(rgb->constScanLine(static_cast<int>(cinfo.next_scanline + n)));
        jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// ---- GIF ----

struct TGifReader {
    const std::string* Bytes;
    size_t Pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int len) {
    auto* r = static_cast<TGifReader*>(gif->UserData);
    const size_t left = r->Bytes->size() - r->Pos;
    const size_t n = std::min(left, static_cast<size_t>(len < 0 ? 0 : len));
    std::memcpy(buf, r->Bytes->data() + r->Pos, n);
    r->Pos += n;
    return static_cast<int>(n);
}

int GifWrite(GifFileType* gif, const GifByteType* buf, int len) {
    auto* out = static_cast<std::string*>(gif->UserData);
    try {
        out->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    } catch (...) {
        return 0;
    }
    return len;
}

std::string GifMessage(int code) {
    const char* s = GifErrorString(code);
    return s ? s : "unknown GIF error";
}

// ---- PNG ----

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

QImage DecodeJpeg(const std::string& bytes) {
    QImage out;
    char message[JMSG_LENGTH_MAX + 32] = {0};
    if (!DecodeJpegRaw(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out, message))
        throw std::runtime_error(std::string("JPEG: ") + message);
    return out;
}

std::string EncodeJpeg(const QImage& rgb, int quality) {
    if (rgb.width() <= 0 || rgb.height() <= 0) return {};
    const QImage src = rgb.format() == QImage::Format_RGB888 ? rgb : rgb.convertToFormat(QImage::Format_RGB888);
    TJpegMemDest dest{};
    char message[JMSG_LENGTH_MAX] = {0};
    const bool ok = EncodeJpegRaw(&src, quality, &dest, message);
    std::string out;
    if (ok) {
        try {
            out.assign(reinterpret_cast<const char*>(dest.Buffer), dest.Size);
        } catch (...) {
            std::free(dest.Buffer);
            throw;
        }
    }
    std::free(dest.Buffer);
    if (!ok) throw std::runtime_error(std::string("JPEG: ") + message);
    return out;
}

TGifPicture DecodeGif(const std::string& bytes) {
    TGifReader reader{&bytes, 0};
    int code = 0;
    GifFileType* gif = DGifOpen(&reader, GifRead, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    struct Closer {
        GifFileType* g;
        ~Closer() {
            int e;
            DGifCloseFile(g, &e);
        }
    } closer{gif};
    if (DGifSlurp(gif) != GIF_OK) throw std::runtime_error("GIF: " + GifMessage(gif->Error));

    TGifPicture result;
    result.Frames = gif->ImageCount;
    if (gif->ImageCount < 1) return result;
    const SavedImage& frame = gif->SavedImages[0];
    const GifImageDesc& d = frame.ImageDesc;
    int w = gif->SWidth, h = gif->SHeight;
    // A screen of no size: the first frame gives the picture's size.
    if (w <= 0 || h <= 0) {
        w = d.Left + d.Width;
        h = d.Top + d.Height;
    }
    if (w <= 0 || h <= 0) throw std::runtime_error("GIF: picture has no pixels");
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map) throw std::runtime_error("GIF: no colour table");
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, 0, &gcb);

    QImage pic(w, h, QImage::Format_RGB888);
    if (pic.isNull()) throw std::runtime_error("GIF: picture too large");
    pic.fill(Qt::white);
    for (int y = 0; y < d.Height; ++y) {
        const int py = d.Top + y;
        if (py < 0 || py >= h) continue;
        uchar* row = pic.scanLine(py);
        const GifByteType* src = frame.RasterBits + static_cast<size_t>(y) * d.Width;
        for (int x = 0; x < d.Width; ++x) {
            const int px = d.Left + x;
            if (px < 0 || px >= w) continue;
            const int idx = src[x];
            // Transparent pixels, and indices past the table, leave the white ground.
            if (idx == gcb.TransparentColor || idx >= map->ColorCount) continue;
            const GifColorType& c = map->Colors[idx];
            row[3 * px] = c.Red;
            row[3 * px + 1] = c.Green;
            row[3 * px + 2] = c.Blue;
        }
    }
    result.First = std::move(pic);
    return result;
}

std::string EncodeGif(int width, int height, const std::vector<uint32_t>& palette,
                      const std::vector<uint8_t>& indices) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        throw std::runtime_error("GIF: cannot write a picture of " + std::to_string(width) + " x " +
                                 std::to_string(height) + " pixels");
    if (palette.empty() || palette.size() > 256 ||
        indices.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        throw std::invalid_argument("GIF: bad palette or pixel count");
    // A colour table holds a power of two entries.
    int tableSize = 2;
    while (tableSize < static_cast<int>(palette.size())) tableSize *= 2;
    std::vector<GifColorType> colors(tableSize, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        colors[i] = GifColorType{static_cast<GifByteType>(palette[i] >> 16),
                                 static_cast<GifByteType>(palette[i] >> 8), static_cast<GifByteType>(palette[i])};

    std::string out;
    int code = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    ColorMapObject* map = GifMakeMapObject(tableSize, colors.data());
    bool ok = map && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + static_cast<size_t>(y) * width), width) ==
             GIF_OK;
    code = ok ? 0 : (map ? gif->Error : E_GIF_ERR_NOT_ENOUGH_MEM);
    GifFreeMapObject(map);
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) throw std::runtime_error("GIF: " + GifMessage(code));
    return out;
}

QImage DecodePng(const std::string& bytes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        throw std::runtime_error(std::string("PNG: ") + image.message);
    image.format = PNG_FORMAT_RGB;
    QImage pic(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_RGB888);
    if (pic.isNull()) {
        png_image_free(&image);
        throw std::runtime_error("PNG: picture too large");
    }
    const png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, pic.bits(), static_cast<png_int_32>(pic.bytesPerLine()), nullptr)) {
        const std::string message = image.message;
        png_image_free(&image);
        throw std::runtime_error("PNG: " + message);
    }
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
