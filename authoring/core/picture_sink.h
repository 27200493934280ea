// The picture a decoder fills pixel by pixel, row by row or in any order: the whole
// picture, or one reduced by a whole factor, each of its pixels the average of a
// factor x factor block. A reduced picture costs memory by its own size, never by
// the size the file claims.
#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>
#include <vector>

class TPictureSink {
public:
    // A w x h picture that shows background wherever nothing is put. factor 1
    // keeps every pixel.
    TPictureSink(int w, int h, int factor, QRgb background = 0xFFFFFFFF);

    // The largest whole factor that still leaves the picture at least as large as
    // the w x h picture shrunk into the box (never enlarged); 1 without a box.
    static int FactorFor(int w, int h, int boxW, int boxH);

    // n pixels, 3 bytes each (red, green, blue), of row y at columns x0, x0 + step,
    // x0 + 2 step, ...; each pixel of the picture is put at most once.
    void Put(int y, int x0, int step, const uchar* rgb, int n);

    // The picture made, 24 bits a pixel: w x h, or ceil(w / factor) x ceil(h / factor).
    QImage Take();

private:
    int W, H, F, OutW, OutH;
    int Bg[3];
    QImage Whole;               // factor 1
    std::vector<int64_t> Sums;  // otherwise: per pixel and colour, the sum of (value - background)
};

#include <cstdio>
#include <string>

// A picture's bytes as a stdio stream for the libraries' file sources: a file
// read as it is needed, or bytes already in memory.
class TPictureStream {
public:
    // Raises when the file cannot be opened.
    explicit TPictureStream(const std::string& path);
    // Raises for no bytes at all.
    static TPictureStream OfBytes(const std::string& bytes);
    TPictureStream(TPictureStream&& o) noexcept : F(o.F), Bytes(o.Bytes) { o.F = nullptr; }
    TPictureStream(const TPictureStream&) = delete;
    TPictureStream& operator=(const TPictureStream&) = delete;
    ~TPictureStream();
    FILE* Get() const { return F; }
    // What the stream holds in all: a plain file's size, the bytes' count; 0 for
    // anything else (a pipe, a device).
    int64_t Size() const { return Bytes; }

private:
    TPictureStream() = default;
    FILE* F = nullptr;
    int64_t Bytes = 0;
};
