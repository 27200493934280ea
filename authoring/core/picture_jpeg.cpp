#include "picture_jpeg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "exif_orientation.h"
#include "picture_codecs.h"
#include "picture_sink.h"

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

// libjpeg reports errors by a jump out of its C code. The functions that set the
// jump point hold only plain C data, so that no C++ object is skipped by the
// jump; the C++ wrappers around them turn a failure into an exception.

namespace {

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

// Warnings that mean pixel data is missing or garbled make the picture damaged:
// libjpeg would go on with grey or wrong blocks. Others (extraneous bytes before
// a marker, an unknown JFIF version, a bad ICC profile) leave the pixels whole.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_BOGUS_PROGRESSION:
        case JWRN_NOT_SEQUENTIAL:
            JpegErrorExit(cinfo);
            break;
        default:
            break;
    }
}

void InitJpegError(TJpegError& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = JpegErrorExit;
    err.Pub.emit_message = JpegEmitMessage;
    err.Message[0] = 0;
}

// A progressive file may hold any number of scans, each a pass over the whole
// picture: a few bytes a scan can cost minutes. Real files have about ten.
struct TJpegProgress {
    jpeg_progress_mgr Pub;
    TJpegError* Err;
};

void JpegScanLimit(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kJpegMaxScans) {
        auto* p = reinterpret_cast<TJpegProgress*>(cinfo->progress);
        std::snprintf(p->Err->Message, sizeof p->Err->Message, "图片的扫描超过 %d 次",
                      kJpegMaxScans);
        std::longjmp(p->Err->Jump, 1);
    }
}

// ---- JPEG decoding ----

// The compressed data as libjpeg reads it: from a file in large pieces straight
// into a buffer of the decoder's pool (libjpeg's own file source reads 4 KB at a
// time, and its quick Huffman path wants several KB ahead in the buffer), or from
// bytes already in memory, where nothing is copied.
struct TJpegInput {
    FILE* File;
    const unsigned char* Bytes;
    size_t Size;
};

struct TJpegFileSource {
    jpeg_source_mgr Pub;
    FILE* File;
    int Fd;  // the file's descriptor, read directly; -1 for a stream of bytes in memory
    JOCTET* Buffer;
    size_t Capacity;
    bool StartOfFile;
};

// The piece read at a time: the whole of a small file, at most 256 KB; the header
// alone needs little.
size_t JpegReadPiece(FILE* file, bool headerOnly) {
    constexpr size_t kMax = size_t(256) << 10, kHeader = size_t(16) << 10;
    struct stat st {};
    size_t piece = kMax;
    if (fileno(file) >= 0 && ::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_size >= 0)
        piece = std::clamp<size_t>(static_cast<size_t>(st.st_size) + 1, 4096, kMax);
    return headerOnly ? std::min(piece, kHeader) : piece;
}

void JpegFileInit(j_decompress_ptr cinfo) {
    reinterpret_cast<TJpegFileSource*>(cinfo->src)->StartOfFile = true;
}

// As libjpeg's own file source: an empty file is an error, the end of a file cut
// short a warning (which makes the picture damaged, see JpegEmitMessage) with a
// made-up end marker.
boolean JpegFileFill(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<TJpegFileSource*>(cinfo->src);
    // What the file has now, not a full piece: a pipe gives its bytes as they come.
    size_t n = 0;
    if (src->Fd >= 0) {
        ssize_t got;
        do got = ::read(src->Fd, src->Buffer, src->Capacity);
        while (got < 0 && errno == EINTR);
        n = got > 0 ? static_cast<size_t>(got) : 0;
    } else {
        n = std::fread(src->Buffer, 1, src->Capacity, src->File);
    }
    if (n == 0) {
        if (src->StartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->Buffer[0] = 0xFF;
        src->Buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->Pub.next_input_byte = src->Buffer;
    src->Pub.bytes_in_buffer = n;
    src->StartOfFile = false;
    return TRUE;
}

void JpegFileSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    auto left = static_cast<size_t>(count);
    while (left > src->bytes_in_buffer) {
        left -= src->bytes_in_buffer;
        JpegFileFill(cinfo);
    }
    src->next_input_byte += left;
    src->bytes_in_buffer -= left;
}

void JpegFileTerm(j_decompress_ptr) {}

// source: the file source's storage, which lives as long as cinfo.
void UseJpegInput(jpeg_decompress_struct* cinfo, const TJpegInput& in, bool headerOnly,
                  TJpegFileSource* source) {
    if (!in.File) {
        jpeg_mem_src(cinfo, in.Bytes, static_cast<unsigned long>(in.Size));
        return;
    }
    source->File = in.File;
    // Nothing has been read through the stream yet, so its descriptor is where
    // the stream is.
    source->Fd = fileno(in.File);
    source->Capacity = JpegReadPiece(in.File, headerOnly);
    source->Buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, source->Capacity));
    source->Pub.init_source = JpegFileInit;
    source->Pub.fill_input_buffer = JpegFileFill;
    source->Pub.skip_input_data = JpegFileSkip;
    source->Pub.resync_to_restart = jpeg_resync_to_restart;
    source->Pub.term_source = JpegFileTerm;
    source->Pub.next_input_byte = nullptr;
    source->Pub.bytes_in_buffer = 0;
    cinfo->src = &source->Pub;
}

struct TJpegRequest {
    int BoxW, BoxH;
    int FullW, FullH;  // out: the upright size of the whole picture (stored size when HeaderOnly)
    bool HeaderOnly;
    bool Progressive;  // out, with HeaderOnly
    bool Sideways;     // out, with HeaderOnly: the orientation swaps the sides
    bool RowReduce;    // with a box: past the DCT scaling, rows averaged into a TPictureSink
    int Orientation;   // out: the EXIF orientation, which a sink's picture is still to be turned by
};

// The C++ side of the row loop, kept out of the function that holds the jump
// point: a sink owned by the caller through *sink, and the rows put into it.
bool MakeJpegSink(TPictureSink** sink, int w, int h, int factor) {
    try {
        *sink = new TPictureSink(w, h, factor);
        return true;
    } catch (...) {
        return false;
    }
}

void PutJpegRow(TPictureSink* sink, int y, const JSAMPLE* rgb, int w) {
    sink->Put(y, 0, 1, rgb, w);
}

void ChooseJpegScale(jpeg_decompress_struct* cinfo, bool swapped, int boxW, int boxH) {
    const int64_t w = swapped ? cinfo->image_height : cinfo->image_width;
    const int64_t h = swapped ? cinfo->image_width : cinfo->image_height;
    cinfo->scale_num = static_cast<unsigned>(JpegDecodeSize(w, h, boxW, boxH).Num);
    cinfo->scale_denom = 8;
    // Reduced, only a few pixels of each block survive: the fast transforms lose
    // nothing seen. At full size nothing averages their loss away.
    if (cinfo->scale_num < 8) {
        cinfo->dct_method = JDCT_IFAST;
        cinfo->do_fancy_upsampling = FALSE;
    }
}

bool DecodeJpegRaw(const TJpegInput* in, TJpegRequest* req, QImage* out, TPictureSink** sink,
                   char* message) {
    jpeg_decompress_struct cinfo;
    TJpegFileSource source;
    TJpegError err;
    InitJpegError(err);
    cinfo.err = &err.Pub;
    if (setjmp(err.Jump)) {
        if (err.Pub.msg_code == JERR_NO_BACKING_STORE)
            std::snprintf(err.Message, sizeof err.Message, "图片解码所需内存超过 %d MB",
                          int(kJpegMaxMemory >> 20));
        std::strcpy(message, err.Message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // A progressive picture keeps all its coefficients while it is read: past
    // the cap libjpeg stops with an error instead of taking gigabytes.
    cinfo.mem->max_memory_to_use = kJpegMaxMemory;
    TJpegProgress progress{{}, &err};
    progress.Pub.progress_monitor = JpegScanLimit;
    cinfo.progress = &progress.Pub;
    UseJpegInput(&cinfo, *in, req->HeaderOnly, &source);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    int orientation = 1;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m && orientation == 1; m = m->next)
        if (m->marker == JPEG_APP0 + 1) orientation = ExifOrientation(m->data, m->data_length);
    const bool swapped = orientation >= 5;
    req->Orientation = orientation;
    if (req->HeaderOnly) {
        req->FullW = static_cast<int>(cinfo.image_width);
        req->FullH = static_cast<int>(cinfo.image_height);
        req->Progressive = cinfo.progressive_mode;
        req->Sideways = swapped;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    if (SaturatingProduct(cinfo.image_width, cinfo.image_height) > kMaxPicturePixels) {
        std::snprintf(message, JMSG_LENGTH_MAX, "图片太大：%u x %u 像素", cinfo.image_width,
                      cinfo.image_height);
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
    // Where a whole factor still lies between the DCT scaling and the box, the
    // rows of an RGB file are averaged as they come, so that the picture at that
    // scaling is never held; the reduced picture is turned upright afterwards.
    const int factor = req->RowReduce && !cmyk
                           ? TPictureSink::FactorFor(w, h, swapped ? req->BoxH : req->BoxW,
                                                     swapped ? req->BoxW : req->BoxH)
                           : 1;
    if (factor > 1) {
        if (!MakeJpegSink(sink, w, h, factor)) {
            std::strcpy(message, "picture too large");
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, static_cast<JDIMENSION>(w * 3), 4);
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            const JDIMENSION n = jpeg_read_scanlines(&cinfo, rows, 4);
            for (JDIMENSION i = 0; i < n; ++i)
                PutJpegRow(*sink, y + static_cast<int>(i), rows[i], w);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
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
        JSAMPARRAY buf =
            (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
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
            rows[n] =
                const_cast<JSAMPROW>(rgb->constScanLine(static_cast<int>(cinfo.next_scanline + n)));
        jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

namespace {

// A picture as stored turned as its EXIF orientation says.
QImage Upright(const QImage& stored, int orientation) {
    const int w = stored.width(), h = stored.height();
    QImage out = orientation >= 5 ? QImage(h, w, QImage::Format_RGB888)
                                  : QImage(w, h, QImage::Format_RGB888);
    if (out.isNull()) throw std::runtime_error("JPEG: picture too large");
    for (int y = 0; y < h; ++y) {
        const TOrientedRow dst = OrientedRow(&out, orientation, w, h, y);
        const uchar* s = stored.constScanLine(y);
        uchar* d = dst.Start;
        for (int x = 0; x < w; ++x, s += 3, d += dst.Step) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return out;
}

QImage DecodeJpegInput(const TJpegInput& in, int boxW, int boxH, QSize* fullSize,
                       bool rowReduce = false) {
    QImage out;
    TJpegRequest req{boxW, boxH, 0, 0, false, false, false, rowReduce, 1};
    TPictureSink* sink = nullptr;
    char message[JMSG_LENGTH_MAX + 32] = {0};
    const bool ok = DecodeJpegRaw(&in, &req, &out, &sink, message);
    const std::unique_ptr<TPictureSink> owned(sink);
    if (!ok) throw std::runtime_error(std::string("JPEG: ") + message);
    if (fullSize) *fullSize = QSize(req.FullW, req.FullH);
    if (!owned) return out;
    const QImage stored = owned->Take();
    return req.Orientation == 1 ? stored : Upright(stored, req.Orientation);
}

}  // namespace

QImage DecodeJpeg(const std::string& bytes, int boxW, int boxH, QSize* fullSize) {
    if (bytes.empty()) throw std::runtime_error("the file is empty");
    return DecodeJpegInput(
        TJpegInput{nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
        boxW, boxH, fullSize);
}

QImage DecodeJpeg(const TPictureStream& in, int boxW, int boxH, QSize* fullSize) {
    return DecodeJpegInput(TJpegInput{in.Get(), nullptr, 0}, boxW, boxH, fullSize);
}

QImage DecodeJpegFile(const std::string& path, int boxW, int boxH, QSize* fullSize) {
    const TPictureStream in(path);
    return DecodeJpegInput(TJpegInput{in.Get(), nullptr, 0}, boxW, boxH, fullSize, true);
}

TPictureHeader ReadJpegHeader(const std::string& path) {
    const TPictureStream in(path);
    const TJpegInput input{in.Get(), nullptr, 0};
    TJpegRequest req{0, 0, 0, 0, true, false, false, false, 1};
    char message[JMSG_LENGTH_MAX + 32] = {0};
    if (!DecodeJpegRaw(&input, &req, nullptr, nullptr, message))
        throw std::runtime_error(std::string("JPEG: ") + message);
    return TPictureHeader{req.FullW, req.FullH, req.Progressive, req.Sideways};
}

TJpegDecodeSize JpegDecodeSize(int64_t w, int64_t h, int64_t boxW, int64_t boxH) {
    const double r = std::min({1.0, double(boxW) / double(w), double(boxH) / double(h)});
    // libjpeg's output side at n/8 is the side times n/8, rounded up.
    for (int n = 1;; ++n) {
        const int64_t ow = (w * n + 7) / 8, oh = (h * n + 7) / 8;
        if (n == 8 || (ow >= w * r && oh >= h * r)) return TJpegDecodeSize{n, ow, oh};
    }
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
    const QImage src =
        rgb.format() == QImage::Format_RGB888 ? rgb : rgb.convertToFormat(QImage::Format_RGB888);
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
