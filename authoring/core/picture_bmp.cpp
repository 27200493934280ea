#include "picture_bmp.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "picture_codecs.h"
#include "picture_sink.h"

namespace {

uint32_t Le(const unsigned char* b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

// What a bitmap's headers say, as far as the first bytes of the file hold them.
struct TBmpHeader {
    int64_t W = 0, H = 0;
    bool BottomUp = true;
    uint32_t OffBits = 0, Bpp = 0, Compression = 0, SizeImage = 0;
    uint32_t Masks[3] = {0, 0, 0};  // red, green, blue, for 16 and 32 bits a pixel
    std::vector<QRgb> Palette;
};

constexpr size_t kBmpHeadBytes = 14 + 124 + 16 + 256 * 4;

// Fails when the pixel data is shorter than the headers say (fileSize is the
// whole file's), or the picture is larger than any decoder takes.
TBmpHeader ParseBmpHeader(const unsigned char* b, size_t n, int64_t fileSize) {
    if (n < 26 || b[0] != 'B' || b[1] != 'M') throw std::runtime_error("BMP: not a bitmap file");
    TBmpHeader hd;
    hd.OffBits = Le(b, 10, 4);
    const uint32_t dibSize = Le(b, 14, 4);
    size_t paletteAt, entry = 4;
    uint32_t colorsUsed = 0;
    if (dibSize == 12) {
        hd.W = Le(b, 18, 2);
        hd.H = Le(b, 20, 2);
        hd.Bpp = Le(b, 24, 2);
        paletteAt = 26;
        entry = 3;
    } else {
        if (dibSize < 40 || n < 14 + size_t(40)) throw std::runtime_error("BMP: header ends early");
        hd.W = static_cast<int32_t>(Le(b, 18, 4));
        hd.H = static_cast<int32_t>(Le(b, 22, 4));
        hd.Bpp = Le(b, 28, 2);
        hd.Compression = Le(b, 30, 4);
        hd.SizeImage = Le(b, 34, 4);
        colorsUsed = Le(b, 46, 4);
        paletteAt = 14 + size_t(dibSize);
        // Bit fields follow a 40-byte header, or lie inside a longer one.
        if (hd.Compression == 3 || hd.Compression == 6) {
            const size_t at = 54;
            if (n >= at + 12)
                for (int c = 0; c < 3; ++c) hd.Masks[c] = Le(b, at + 4 * c, 4);
            if (dibSize == 40) paletteAt += hd.Compression == 6 ? 16 : 12;
        }
    }
    hd.BottomUp = hd.H > 0;
    hd.W = std::abs(hd.W);
    hd.H = std::abs(hd.H);
    if (hd.W > INT32_MAX || hd.H > INT32_MAX || SaturatingProduct(hd.W, hd.H) > kMaxPicturePixels)
        throw std::runtime_error("BMP: 图片太大：" + std::to_string(hd.W) + " x " +
                                 std::to_string(hd.H) + " 像素");
    // Uncompressed rows are padded to four bytes; compressed data has the size the
    // header gives it.
    const bool plain = hd.Compression == 0 || hd.Compression == 3 || hd.Compression == 6;
    const int64_t need = plain ? (hd.W * hd.Bpp + 31) / 32 * 4 * hd.H : hd.SizeImage;
    if (fileSize < static_cast<int64_t>(hd.OffBits) + need)
        throw std::runtime_error("BMP: pixel data ends early");
    if (hd.Bpp <= 8) {
        size_t count = colorsUsed ? colorsUsed : size_t(1) << hd.Bpp;
        count = std::min<size_t>(count, 256);
        for (size_t i = 0;
             i < count && paletteAt + entry * (i + 1) <= std::min<size_t>(n, hd.OffBits); ++i) {
            const unsigned char* e = b + paletteAt + entry * i;
            hd.Palette.push_back(qRgb(e[2], e[1], e[0]));
        }
    }
    return hd;
}

// A bit field's value widened (or narrowed) to 8 bits, low bits repeated.
struct TBmpField {
    int Shift = 0, Bits = 0;
    explicit TBmpField(uint32_t mask) {
        if (!mask) return;
        while (!(mask & 1)) mask >>= 1, ++Shift;
        while (mask & 1) mask >>= 1, ++Bits;
    }
    uchar Of(uint32_t v) const {
        if (Bits == 0) return 0;
        const uint32_t x = static_cast<uint32_t>((v >> Shift) & ((uint64_t(1) << Bits) - 1));
        if (Bits >= 8) return static_cast<uchar>(x >> (Bits - 8));
        uint32_t out = x << (8 - Bits);
        for (int filled = Bits; filled < 8; filled <<= 1) out |= out >> filled;
        return static_cast<uchar>(out);
    }
};

// Reads the pixel rows of a bitmap file from where the stream stands, into the sink.
class TBmpRows {
public:
    TBmpRows(FILE* f, const TBmpHeader& hd, TPictureSink& sink) : F(f), Hd(hd), Sink(sink) {}

    void Plain() {
        const size_t stride = static_cast<size_t>((Hd.W * Hd.Bpp + 31) / 32 * 4);
        std::vector<unsigned char> row(stride);
        uint32_t masks[3] = {Hd.Masks[0], Hd.Masks[1], Hd.Masks[2]};
        if (Hd.Compression == 0 && Hd.Bpp == 16)
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        if (Hd.Compression == 0 && Hd.Bpp == 32)
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        const TBmpField r(masks[0]), g(masks[1]), b(masks[2]);
        const int w = static_cast<int>(Hd.W);
        // A row goes into the sink a stretch at a time: a row of a very wide
        // picture costs its file bytes, not three bytes a pixel more.
        const int chunk = std::min(w, 4096);
        std::vector<uchar> rgb(static_cast<size_t>(chunk) * 3);
        for (int64_t k = 0; k < Hd.H; ++k) {
            if (std::fread(row.data(), 1, stride, F) != stride)
                throw std::runtime_error("BMP: pixel data ends early");
            uchar* d = rgb.data();
            for (int x = 0; x < w; ++x, d += 3) {
                if (x % chunk == 0 && x > 0) {
                    Sink.Put(RowY(k), x - chunk, 1, rgb.data(), chunk);
                    d = rgb.data();
                }
                switch (Hd.Bpp) {
                    case 1:
                    case 2:
                    case 4:
                    case 8: {
                        const int bit = x * static_cast<int>(Hd.Bpp);
                        const unsigned idx =
                            (row[bit / 8] >> (8 - Hd.Bpp - bit % 8)) & ((1u << Hd.Bpp) - 1);
                        PutIndex(d, idx);
                        break;
                    }
                    case 16:
                    case 32: {
                        const uint32_t v = Hd.Bpp == 16 ? Le(row.data(), 2 * size_t(x), 2)
                                                        : Le(row.data(), 4 * size_t(x), 4);
                        d[0] = r.Of(v), d[1] = g.Of(v), d[2] = b.Of(v);
                        break;
                    }
                    default: {  // 24
                        const unsigned char* s = row.data() + 3 * size_t(x);
                        d[0] = s[2], d[1] = s[1], d[2] = s[0];
                    }
                }
            }
            const int last = (w - 1) % chunk + 1;
            Sink.Put(RowY(k), w - last, 1, rgb.data(), last);
        }
    }

    // RLE8 and RLE4: runs and literal stretches, with line ends, jumps and an end
    // of picture; pixels the data never reaches keep the sink's ground.
    void RunLength() {
        const bool four = Hd.Compression == 2;
        int64_t x = 0, k = 0;
        int c0, c1;
        while (k < Hd.H && (c0 = std::getc(F)) != EOF && (c1 = std::getc(F)) != EOF) {
            if (c0 > 0) {
                for (int i = 0; i < c0; ++i) Pixel(x++, k, four ? (i % 2 ? c1 & 15 : c1 >> 4) : c1);
                continue;
            }
            if (c1 == 0) {
                x = 0, ++k;
            } else if (c1 == 1) {
                break;
            } else if (c1 == 2) {
                const int dx = std::getc(F), dy = std::getc(F);
                if (dx == EOF || dy == EOF) break;
                x += dx, k += dy;
            } else {
                const int bytes = four ? (c1 + 1) / 2 : c1;
                int v = 0;
                for (int i = 0; i < c1; ++i) {
                    if (!four || i % 2 == 0) v = std::getc(F);
                    if (v == EOF) return;
                    Pixel(x++, k, four ? (i % 2 ? v & 15 : v >> 4) : v);
                }
                if (bytes % 2) std::getc(F);
            }
        }
    }

private:
    int RowY(int64_t k) const { return static_cast<int>(Hd.BottomUp ? Hd.H - 1 - k : k); }
    void PutIndex(uchar* d, unsigned idx) const {
        const QRgb c = idx < Hd.Palette.size() ? Hd.Palette[idx] : 0;
        d[0] = static_cast<uchar>(qRed(c)), d[1] = static_cast<uchar>(qGreen(c)),
        d[2] = static_cast<uchar>(qBlue(c));
    }
    void Pixel(int64_t x, int64_t k, int idx) {
        if (x < 0 || x >= Hd.W || k < 0 || k >= Hd.H) return;
        uchar d[3];
        PutIndex(d, static_cast<unsigned>(idx));
        Sink.Put(RowY(k), static_cast<int>(x), 1, d, 1);
    }

    FILE* F;
    const TBmpHeader& Hd;
    TPictureSink& Sink;
};

// The headers read from the start of a stream, checked against its size.
TBmpHeader ReadBmpHeaderFrom(std::FILE* f, int64_t fileSize) {
    unsigned char head[kBmpHeadBytes];
    const size_t n = std::fread(head, 1, sizeof head, f);
    return ParseBmpHeader(head, n, fileSize);
}

QImage DecodeBmpStream(const TPictureStream& in, int boxW, int boxH, QSize* fullSize) {
    const TBmpHeader hd = ReadBmpHeaderFrom(in.Get(), in.Size());
    const bool rle = (hd.Compression == 1 && hd.Bpp == 8) || (hd.Compression == 2 && hd.Bpp == 4);
    const bool plain =
        (hd.Compression == 0 && (hd.Bpp == 1 || hd.Bpp == 4 || hd.Bpp == 8 || hd.Bpp == 16 ||
                                 hd.Bpp == 24 || hd.Bpp == 32)) ||
        ((hd.Compression == 3 || hd.Compression == 6) && (hd.Bpp == 16 || hd.Bpp == 32));
    if (!rle && !plain) throw std::runtime_error("BMP: not a readable bitmap");
    if (hd.W == 0 || hd.H == 0) throw std::runtime_error("BMP: picture has no pixels");
    if (std::fseek(in.Get(), static_cast<long>(hd.OffBits), SEEK_SET) != 0)
        throw std::runtime_error("BMP: pixel data ends early");
    const int w = static_cast<int>(hd.W), h = static_cast<int>(hd.H);
    // Run-length pictures start out in the first palette colour, where the data
    // skips pixels.
    const QRgb ground = rle && !hd.Palette.empty() ? hd.Palette[0] : qRgb(0, 0, 0);
    TPictureSink sink(w, h, TPictureSink::FactorFor(w, h, boxW, boxH), ground);
    TBmpRows rows(in.Get(), hd, sink);
    if (rle)
        rows.RunLength();
    else
        rows.Plain();
    if (fullSize) *fullSize = QSize(w, h);
    return sink.Take();
}

}  // namespace

QImage DecodeBmp(const std::string& bytes) {
    return DecodeBmpStream(TPictureStream::OfBytes(bytes), 0, 0, nullptr);
}

QImage DecodeBmpFile(const std::string& path, int boxW, int boxH, QSize* fullSize) {
    const TPictureStream in(path);
    return DecodeBmpStream(in, boxW, boxH, fullSize);
}

TPictureHeader ReadBmpHeader(const std::string& path) {
    const TPictureStream in(path);
    const TBmpHeader hd = ReadBmpHeaderFrom(in.Get(), in.Size());
    return TPictureHeader{static_cast<int>(hd.W), static_cast<int>(hd.H), false};
}
