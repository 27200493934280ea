// Picture files that claim far more than they hold, made on the spot for the tests
// and the benchmark: a few bytes each that say "gigapixels", or data that stops
// early. None of them is ever stored.
#pragma once

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on
#include <gif_lib.h>

#include "picture_writers.h"
#include <png.h>
#include <zlib.h>

namespace bombs {

inline void Put16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A GIF of a w x h screen with frames of frameW x frameH (one 1 x 1 frame unless
// told), each holding the data of one pixel: about forty bytes.
inline std::string GifScreen(unsigned w, unsigned h, unsigned frameW = 1, unsigned frameH = 1,
                             int frames = 1) {
    std::string s = "GIF89a";
    Put16(s, w), Put16(s, h);
    s += std::string("\x80\x00\x00", 3);  // a global table of two colours
    s += std::string("\xFF\x00\x00\x00\x00\xFF", 6);
    for (int f = 0; f < frames; ++f) {
        s += std::string("\x2C\0\0\0\0", 5);
        Put16(s, frameW), Put16(s, frameH);
        s += '\0';
        s += std::string("\x02\x02\x44\x01\x00", 5);  // LZW: clear, 0, end
    }
    s += ';';
    return s;
}

// giflib's encoding of frames of one colour each (index 1 of a red, blue table),
// with the frame height then raised to claimH: their data covers only the rows
// they were written with. Screen sw x sh.
inline std::string GifFrames(unsigned sw, unsigned sh, int frames, int w, int rows,
                             unsigned claimH) {
    std::string out;
    GifFileType* gif = GifWriterTo(out);
    GifColorType colors[2] = {{255, 0, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(2, colors);
    EGifPutScreenDesc(gif, static_cast<int>(sw), static_cast<int>(sh), 8, 0, map);
    std::vector<GifPixelType> line(static_cast<size_t>(w), 1);
    std::vector<size_t> heights;
    for (int f = 0; f < frames; ++f) {
        heights.push_back(out.size() +
                          7);  // the height field of the descriptor about to be written
        EGifPutImageDesc(gif, 0, 0, w, rows, false, nullptr);
        for (int y = 0; y < rows; ++y) EGifPutLine(gif, line.data(), w);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, nullptr);
    for (size_t at : heights) {
        out[at] = char(claimH & 0xFF);
        out[at + 1] = char(claimH >> 8);
    }
    return out;
}

// libjpeg's encoding of a small picture: grey or CMYK (4 components), progressive
// or baseline, with a scan script when given.
inline std::string SmallJpeg(int w, int h, int components, bool progressive,
                             const std::vector<jpeg_scan_info>& script = {}) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    if (progressive) jpeg_simple_progression(&c);
    if (!script.empty()) {
        c.scan_info = script.data();
        c.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * components);
    for (int y = 0; y < h; ++y) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>((i * 7 + y * 13) & 0xFF);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(mem), size);
    std::free(mem);
    return out;
}

// Where the marker segment of the given code starts (at its FF), or npos.
inline size_t FindMarker(const std::string& j, unsigned char code) {
    for (size_t at = 2; at + 4 <= j.size();) {
        if (static_cast<unsigned char>(j[at]) != 0xFF) return std::string::npos;
        const unsigned char m = static_cast<unsigned char>(j[at + 1]);
        if (m == code) return at;
        if (m == 0xDA) return std::string::npos;
        at += 2 + (size_t(static_cast<unsigned char>(j[at + 2])) << 8 |
                   static_cast<unsigned char>(j[at + 3]));
    }
    return std::string::npos;
}

// The JPEG with its frame header claiming w x h.
inline std::string ClaimSize(std::string j, unsigned w, unsigned h) {
    size_t sof = FindMarker(j, 0xC0);
    if (sof == std::string::npos) sof = FindMarker(j, 0xC2);
    j[sof + 5] = char(h >> 8), j[sof + 6] = char(h & 0xFF);
    j[sof + 7] = char(w >> 8), j[sof + 8] = char(w & 0xFF);
    return j;
}

// Everything up to the first scan's header, that header emptyScans times over
// (scans without any data), then the end marker.
inline std::string WithoutScanData(const std::string& j, int emptyScans = 1) {
    const size_t sos = FindMarker(j, 0xDA);
    const size_t len = size_t(static_cast<unsigned char>(j[sos + 2])) << 8 |
                       static_cast<unsigned char>(j[sos + 3]);
    std::string out = j.substr(0, sos);
    for (int i = 0; i < emptyScans; ++i) out += j.substr(sos, 2 + len);
    return out + "\xFF\xD9";
}

// A PNG chunk with its CRC.
inline std::string PngChunk(const char* type, const std::string& data) {
    std::string s;
    const uint32_t n = static_cast<uint32_t>(data.size());
    s += char(n >> 24), s += char(n >> 16), s += char(n >> 8), s += char(n);
    std::string body = std::string(type, 4) + data;
    s += body;
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    s += char(crc >> 24), s += char(crc >> 16), s += char(crc >> 8), s += char(crc);
    return s;
}

// Signature and a header claiming a w x h picture of 8-bit RGB, nothing more.
inline std::string PngHeaderOnly(uint32_t w, uint32_t h) {
    std::string ihdr;
    for (uint32_t v : {w, h})
        ihdr += char(v >> 24), ihdr += char(v >> 16), ihdr += char(v >> 8), ihdr += char(v);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", ihdr);
}

// A 1 x 1 header, then the head of a chunk of the given type whose length field
// claims 2^31 - 1 bytes: 41 bytes in all.
inline std::string PngChunkClaim(const char* type) {
    return PngHeaderOnly(1, 1) + std::string("\x7F\xFF\xFF\xFF", 4) + std::string(type, 4);
}

// A GIF of a 1 x 1 screen: one frame with its pixel, then frames - 1 frames of
// a dozen bytes each that hold no data at all.
inline std::string GifEmptyFrames(long frames) {
    std::string s = GifScreen(1, 1);
    s.pop_back();
    const std::string empty("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x00", 12);
    s.reserve(s.size() + empty.size() * static_cast<size_t>(frames) + 1);
    for (long f = 1; f < frames; ++f) s += empty;
    return s + ';';
}

// A whole 1-bit grey PNG of one colour, w x h, plain or interlaced: tens of KB.
inline std::string PngOneColour(uint32_t w, uint32_t h, bool interlaced) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngWritesTo(png, out);
    png_set_IHDR(png, info, w, h, 1, PNG_COLOR_TYPE_GRAY,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    std::vector<png_byte> row((w + 7) / 8, 0);
    for (int p = 0; p < passes; ++p)
        for (uint32_t y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An 8-bit run-length bitmap of w x h whose data ends the picture at once.
inline std::string BmpRle8EndsAtOnce(uint32_t w, uint32_t h) {
    std::string s = "BM";
    const uint32_t off = 14 + 40 + 256 * 4;
    Put32(s, off + 2), Put32(s, 0), Put32(s, off);
    Put32(s, 40), Put32(s, w), Put32(s, h);
    Put16(s, 1), Put16(s, 8);
    Put32(s, 1), Put32(s, 2), Put32(s, 2835), Put32(s, 2835), Put32(s, 256), Put32(s, 0);
    for (int i = 0; i < 256; ++i) s += char(i), s += char(i), s += char(255 - i), s += '\0';
    s += std::string("\x00\x01", 2);
    return s;
}

// A smooth picture like a photo.
inline QImage Photo(int w, int h) {
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<uchar>(60 + 120 * x / std::max(1, w - 1));
            row[3 * x + 1] = static_cast<uchar>(80 + 100 * y / std::max(1, h - 1));
            row[3 * x + 2] = static_cast<uchar>(128 + ((x / 7 + y / 5) % 40));
        }
    }
    return img;
}

// A JPEG cut at the given share of its bytes, with the end marker after the cut.
inline std::string CutWithEnd(const std::string& j, double share) {
    return j.substr(0, static_cast<size_t>(j.size() * share)) + "\xFF\xD9";
}

}  // namespace bombs
