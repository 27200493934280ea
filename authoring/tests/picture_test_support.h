// Helpers of the picture tests: a random source that raises pixel (0, 0) by 9,
// the parts of a written message, pictures as an independent decoder
// (ImageMagick's convert) sees them, and pictures as cameras, phones and print
// software write them (CMYK and YCCK JPEGs, EXIF orientation, PNGs of every kind).
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <array>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include "picture_writers.h"

#include "mms_reader_parse.h"
#include "services.h"

// Every draw of 0..9 gives 9, every other draw 0: PreparePicture then raises
// pixel (0, 0) by 9 in each colour, through the maker's own draws as well.
class NineRandom : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t n) override { return n == 10 ? 9 : 0; }
};

// The picture as Qt writes it in the given format; empty when Qt cannot.
inline std::string QtBytes(const QImage& img, const char* format) {
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    if (!img.save(&buf, format)) return std::string();
    return std::string(data.constData(), static_cast<size_t>(data.size()));
}

// Four flat quarters: few colours, so palette pictures keep them exactly and a
// reduced picture keeps each colour inside it.
inline QImage Quarters(int w, int h) {
    QImage img(w, h, QImage::Format_RGB888);
    const QColor colors[4] = {QColor(200, 30, 40), QColor(20, 160, 90), QColor(40, 50, 210),
                              QColor(100, 100, 100)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, colors[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)]);
    return img;
}

// The entries of a written message as (part name, data), the SMIL entry first.
inline std::vector<std::pair<std::string, std::string>> MessageParts(const std::string& mms) {
    std::vector<std::pair<std::string, std::string>> parts;
    const auto* b = reinterpret_cast<const uint8_t*>(mms.data());
    const auto len = static_cast<int32_t>(mms.size());
    int32_t pos = 0, smilPos = 0;
    const int32_t count = FindEntryCount(b, len, pos, smilPos);
    for (int32_t i = 0; i < count && pos < len; ++i) {
        uint32_t headersLen = 0, dataLen = 0;
        if (!TryReadUintvar(b, len, pos, headersLen) || !TryReadUintvar(b, len, pos, dataLen)) break;
        if (pos + int64_t(headersLen) + dataLen > len) break;
        parts.emplace_back(ReadPartName(b, len, pos, headersLen), mms.substr(pos + headersLen, dataLen));
        pos += static_cast<int32_t>(headersLen + dataLen);
    }
    return parts;
}

// The path of a tool of the system's own, or empty when it is not installed.
inline std::string SystemTool(const char* name) {
    const std::string path = std::string("/usr/bin/") + name;
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? path : std::string();
}

// What ImageMagick's convert makes of a picture file: "convert file args ppm:-"
// read back as a 24-bit picture; empty when the tool fails.
inline std::optional<QImage> MagickView(const std::string& file, const std::string& args = "") {
    const std::string convert = SystemTool("convert");
    if (convert.empty()) return std::nullopt;
    const std::string cmd = convert + " '" + file + "' " + args + " -depth 8 ppm:- 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (pclose(p) != 0) return std::nullopt;
    // P6, width, height, maxval, one blank, then the samples.
    size_t at = 0;
    auto field = [&]() {
        while (at < out.size() && std::isspace(static_cast<unsigned char>(out[at]))) ++at;
        size_t from = at;
        while (at < out.size() && !std::isspace(static_cast<unsigned char>(out[at]))) ++at;
        return out.substr(from, at - from);
    };
    if (field() != "P6") return std::nullopt;
    const int w = std::stoi(field()), h = std::stoi(field());
    if (field() != "255") return std::nullopt;
    ++at;
    if (out.size() - at < size_t(w) * h * 3) return std::nullopt;
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) std::memcpy(img.scanLine(y), out.data() + at + size_t(y) * w * 3, size_t(w) * 3);
    return img;
}

// The largest difference of one colour channel between two pictures of one size
// (a large number when the sizes differ), outside the pixel at (skipX, skipY).
inline int MaxDiff(const QImage& a, const QImage& b, int skipX = -1, int skipY = -1) {
    if (a.size() != b.size()) return 1 << 20;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (x == skipX && y == skipY) continue;
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// A four-component JPEG of w x h pixels, the samples of pixel (x, y) given by ink
// as stored in the file. YCCK when ycck; the Adobe marker only when adobe.
inline std::string FourComponentJpeg(int w, int h, const std::function<std::array<uint8_t, 4>(int, int)>& ink,
                                     bool ycck, bool adobe) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, ycck ? JCS_YCCK : JCS_CMYK);
    c.write_Adobe_marker = adobe;
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto k = ink(x, y);
            std::copy(k.begin(), k.end(), row.begin() + 4 * x);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(mem), size);
    std::free(mem);
    return out;
}

// The JPEG with an APP1 "Exif" segment right after its SOI whose IFD0 holds only
// the orientation tag, in Intel or Motorola byte order.
inline std::string WithExifOrientation(const std::string& jpeg, int orientation, bool bigEndian) {
    std::string tiff;
    auto put16 = [&](unsigned v) {
        if (bigEndian) {
            tiff += char(v >> 8);
            tiff += char(v & 0xFF);
        } else {
            tiff += char(v & 0xFF);
            tiff += char(v >> 8);
        }
    };
    auto put32 = [&](uint32_t v) {
        if (bigEndian) {
            put16(v >> 16);
            put16(v & 0xFFFF);
        } else {
            put16(v & 0xFFFF);
            put16(v >> 16);
        }
    };
    tiff += bigEndian ? "MM" : "II";
    put16(42);
    put32(8);
    put16(2);  // two entries: a resolution unit first, then the orientation
    put16(0x0128), put16(3), put32(1), put16(2), put16(0);
    put16(0x0112), put16(3), put32(1), put16(static_cast<unsigned>(orientation)), put16(0);
    put32(0);
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const size_t len = payload.size() + 2;
    std::string seg = "\xFF\xE1";
    seg += char(len >> 8);
    seg += char(len & 0xFF);
    return jpeg.substr(0, 2) + seg + payload + jpeg.substr(2);
}

// A PNG written by libpng: samples row by row, channels as the colour type has
// them, each sample below 2^depth. A palette picture takes its palette and the
// alpha of its entries (tRNS) from the arguments.
struct TPngLayout {
    int W = 1, H = 1;
    int ColorType = PNG_COLOR_TYPE_RGB;
    int Depth = 8;
    bool Interlaced = false;
    std::vector<uint16_t> Samples;
    std::vector<png_color> Palette;
    std::vector<png_byte> PaletteAlpha;
};

inline std::string PngFile(const TPngLayout& s) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngWritesTo(png, out);
    png_set_IHDR(png, info, s.W, s.H, s.Depth, s.ColorType, s.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.Palette.empty()) png_set_PLTE(png, info, s.Palette.data(), static_cast<int>(s.Palette.size()));
    if (!s.PaletteAlpha.empty())
        png_set_tRNS(png, info, s.PaletteAlpha.data(), static_cast<int>(s.PaletteAlpha.size()), nullptr);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const size_t perRow = size_t(s.W) * channels;
    std::vector<std::vector<png_byte>> rows(s.H);
    for (int y = 0; y < s.H; ++y) {
        auto& r = rows[y];
        r.assign(png_get_rowbytes(png, info), 0);
        for (size_t i = 0; i < perRow; ++i) {
            const uint16_t v = s.Samples[y * perRow + i];
            if (s.Depth == 16) {
                r[2 * i] = png_byte(v >> 8);
                r[2 * i + 1] = png_byte(v & 0xFF);
            } else if (s.Depth == 8) {
                r[i] = png_byte(v);
            } else {
                const size_t bit = i * s.Depth;
                r[bit / 8] |= png_byte(v << (8 - s.Depth - bit % 8));
            }
        }
    }
    std::vector<png_bytep> ptrs;
    for (auto& r : rows) ptrs.push_back(r.data());
    png_write_image(png, ptrs.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}
