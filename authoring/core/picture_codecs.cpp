#include "picture_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <algorithm>

#include "text_codec.h"

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

// ---- EXIF orientation ----

// Tag 0x0112 of IFD0 in an APP1 "Exif" segment's payload; 1 when absent or bad.
int ExifOrientation(const unsigned char* p, size_t n) {
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return 1;
    const unsigned char* t = p + 6;
    const size_t tn = n - 6;
    bool big;
    if (t[0] == 'I' && t[1] == 'I')
        big = false;
    else if (t[0] == 'M' && t[1] == 'M')
        big = true;
    else
        return 1;
    auto u16 = [&](size_t at) {
        return big ? unsigned(t[at] << 8 | t[at + 1]) : unsigned(t[at] | t[at + 1] << 8);
    };
    auto u32 = [&](size_t at) {
        return big ? (uint32_t(u16(at)) << 16 | u16(at + 2)) : (uint32_t(u16(at + 2)) << 16 | u16(at));
    };
    if (u16(2) != 42) return 1;
    const uint32_t ifd = u32(4);
    if (ifd > tn || tn - ifd < 2) return 1;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + size_t(i) * 12;
        if (e + 12 > tn) return 1;
        if (u16(e) != 0x0112) continue;
        // A SHORT (type 3) with one value, held in the first two value bytes.
        if (u16(e + 2) != 3 || u32(e + 4) != 1) return 1;
        const unsigned v = u16(e + 8);
        return v >= 1 && v <= 8 ? int(v) : 1;
    }
    return 1;
}

// Where decoded pixel (x, y) of a w x h picture lands in the upright picture, as
// the address of pixel (0, y) and the step from one x to the next.
struct TOrientedRow {
    uchar* Start;
    ptrdiff_t Step;
};

TOrientedRow OrientedRow(QImage* out, int orientation, int w, int h, int y) {
    const ptrdiff_t bpl = out->bytesPerLine();
    uchar* base = out->bits();
    auto at = [&](int dx, int dy) { return base + ptrdiff_t(dy) * bpl + ptrdiff_t(dx) * 3; };
    switch (orientation) {
        case 2: return {at(w - 1, y), -3};
        case 3: return {at(w - 1, h - 1 - y), -3};
        case 4: return {at(0, h - 1 - y), 3};
        case 5: return {at(y, 0), bpl};
        case 6: return {at(h - 1 - y, 0), bpl};
        case 7: return {at(h - 1 - y, w - 1), -bpl};
        case 8: return {at(y, w - 1), -bpl};
        default: return {at(0, y), 3};
    }
}

// ---- JPEG decoding ----

struct TJpegRequest {
    int BoxW, BoxH;
    int FullW, FullH;  // out: the upright size of the whole picture
};

// The smallest DCT scaling n/8 whose upright output covers the picture shrunk into
// the box (the picture's own size when it fits the box already).
void ChooseJpegScale(jpeg_decompress_struct* cinfo, bool swapped, int boxW, int boxH) {
    const double w = swapped ? cinfo->image_height : cinfo->image_width;
    const double h = swapped ? cinfo->image_width : cinfo->image_height;
    const double r = std::min({1.0, boxW / w, boxH / h});
    for (unsigned n = 1; n <= 8; ++n) {
        cinfo->scale_num = n;
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        const double ow = swapped ? cinfo->output_height : cinfo->output_width;
        const double oh = swapped ? cinfo->output_width : cinfo->output_height;
        if (ow >= w * r && oh >= h * r) break;
    }
    // Only a few pixels of each block survive: the fast transforms lose nothing seen.
    cinfo->dct_method = JDCT_IFAST;
    cinfo->do_fancy_upsampling = FALSE;
}

bool DecodeJpegRaw(const unsigned char* data, size_t size, TJpegRequest* req, QImage* out, char* message) {
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
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    int orientation = 1;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m && orientation == 1; m = m->next)
        if (m->marker == JPEG_APP0 + 1) orientation = ExifOrientation(m->data, m->data_length);
    const bool swapped = orientation >= 5;
    if (static_cast<int64_t>(cinfo.image_width) * cinfo.image_height > kMaxPicturePixels) {
        std::strcpy(message, "picture too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    req->FullW = static_cast<int>(swapped ? cinfo.image_height : cinfo.image_width);
    req->FullH = static_cast<int>(swapped ? cinfo.image_width : cinfo.image_height);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // libjpeg gives CMYK from a YCCK file too; RGB it cannot make from either.
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (req->BoxW > 0 && req->BoxH > 0) ChooseJpegScale(&cinfo, swapped, req->BoxW, req->BoxH);
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    *out = swapped ? QImage(h, w, QImage::Format_RGB888) : QImage(w, h, QImage::Format_RGB888);
    if (out->isNull()) {
        std::strcpy(message, "picture too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (!cmyk && orientation == 1) {
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[16];
            JDIMENSION n = 0;
            for (; n < 16 && cinfo.output_scanline + n < cinfo.output_height; ++n)
                rows[n] = out->scanLine(static_cast<int>(cinfo.output_scanline + n));
            jpeg_read_scanlines(&cinfo, rows, n);
        }
    } else {
        // Row by row through a buffer of the decoder's own pool, each pixel put
        // where the upright picture has it.
        const int comps = cinfo.output_components;
        JSAMPARRAY buf = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    static_cast<JDIMENSION>(w * comps), 1);
        // Adobe software writes CMYK inverted (0 is full ink) and says so by its
        // marker; a file without it holds plain ink values.
        const bool inverted = cinfo.saw_Adobe_marker;
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            jpeg_read_scanlines(&cinfo, buf, 1);
            const TOrientedRow dst = OrientedRow(out, orientation, w, h, y);
            const JSAMPLE* s = buf[0];
            uchar* d = dst.Start;
            for (int x = 0; x < w; ++x, s += comps, d += dst.Step) {
                if (comps == 4) {
                    const unsigned k = inverted ? s[3] : 255u - s[3];
                    for (int c = 0; c < 3; ++c) {
                        const unsigned v = inverted ? s[c] : 255u - s[c];
                        d[c] = static_cast<uchar>((v * k + 127) / 255);
                    }
                } else {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                }
            }
        }
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

QImage DecodeJpeg(const std::string& bytes, int boxW, int boxH, QSize* fullSize) {
    QImage out;
    TJpegRequest req{boxW, boxH, 0, 0};
    char message[JMSG_LENGTH_MAX + 32] = {0};
    if (!DecodeJpegRaw(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &req, &out, message))
        throw std::runtime_error(std::string("JPEG: ") + message);
    if (fullSize) *fullSize = QSize(req.FullW, req.FullH);
    return out;
}

int JpegOrientation(const std::string& bytes) {
    // The segments before the first scan: SOI, then markers with 16-bit lengths.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return 1;
    for (size_t at = 2; at + 4 <= n && p[at] == 0xFF;) {
        const unsigned marker = p[at + 1];
        if (marker == 0xDA || marker == 0xD9) break;
        const size_t len = size_t(p[at + 2]) << 8 | p[at + 3];
        if (len < 2 || at + 2 + len > n) break;
        if (marker == 0xE1) {
            const int o = ExifOrientation(p + at + 4, len - 2);
            if (o != 1) return o;
        }
        at += 2 + len;
    }
    return 1;
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
    if (static_cast<int64_t>(gif->SWidth) * gif->SHeight > kMaxPicturePixels)
        throw std::runtime_error("GIF: picture too large");
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
    if (static_cast<int64_t>(w) * h > kMaxPicturePixels) throw std::runtime_error("GIF: picture too large");
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

QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW, int boxH, QSize* fullSize) {
    const std::string e = LowerAscii(ext);
    if (e == ".jpg" || e == ".jpeg") return DecodeJpeg(bytes, boxW, boxH, fullSize);
    QImage pic;
    if (e == ".png") {
        pic = DecodePng(bytes);
    } else if (e == ".bmp") {
        pic = DecodeBmp(bytes);
    } else if (e == ".gif") {
        TGifPicture gif = DecodeGif(bytes);
        if (gif.Frames == 0) throw std::runtime_error("GIF: holds no image");
        pic = std::move(gif.First);
    } else {
        throw std::runtime_error("not a picture file: " + ext);
    }
    if (fullSize) *fullSize = pic.size();
    return pic;
}
