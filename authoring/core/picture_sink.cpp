#include "picture_sink.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <stdexcept>

#include "regular_file.h"
#include "string_list.h"

TPictureSink::TPictureSink(int w, int h, int factor, QRgb background)
    : W(w),
      H(h),
      F(std::max(1, factor)),
      Bg{qRed(background), qGreen(background), qBlue(background)} {
    OutW = (W + F - 1) / F;
    OutH = (H + F - 1) / F;
    if (F == 1) {
        Whole = QImage(W, H, QImage::Format_RGB888);
        if (Whole.isNull()) throw std::runtime_error("图片太大，内存不足");
        Whole.fill(QColor(Bg[0], Bg[1], Bg[2]));
    } else {
        Sums.assign(static_cast<size_t>(OutW) * OutH * 3, 0);
    }
}

int TPictureSink::FactorFor(int w, int h, int boxW, int boxH) {
    if (boxW <= 0 || boxH <= 0 || w <= 0 || h <= 0) return 1;
    const double r = std::min({1.0, static_cast<double>(boxW) / w, static_cast<double>(boxH) / h});
    const int fw = std::max(1, static_cast<int>(std::nearbyint(w * r)));
    const int fh = std::max(1, static_cast<int>(std::nearbyint(h * r)));
    // ceil(side / f) stays at least the fitted side; a fitted side of 1 allows any f.
    const int fx = fw == 1 ? INT_MAX : w / fw, fy = fh == 1 ? INT_MAX : h / fh;
    const int f = std::min(fx, fy);
    return f == INT_MAX ? std::max(w, h) : std::max(1, f);
}

void TPictureSink::Put(int y, int x0, int step, const uchar* rgb, int n) {
    if (y < 0 || y >= H || n <= 0) return;
    if (F == 1) {
        uchar* row = Whole.scanLine(y);
        for (int i = 0, x = x0; i < n; ++i, x += step, rgb += 3) {
            if (x < 0 || x >= W) continue;
            row[3 * x] = rgb[0];
            row[3 * x + 1] = rgb[1];
            row[3 * x + 2] = rgb[2];
        }
        return;
    }
    int64_t* row = Sums.data() + static_cast<size_t>(y / F) * OutW * 3;
    int i = 0, x = x0;
    while (i < n) {
        if (x < 0 || x >= W) {
            ++i, x += step, rgb += 3;
            continue;
        }
        // The pixels of this call that fall into one output column, summed at once.
        const int col = x / F, end = std::min(W, (col + 1) * F);
        int64_t s0 = 0, s1 = 0, s2 = 0, k = 0;
        for (; i < n && x < end; ++i, x += step, rgb += 3, ++k) {
            s0 += rgb[0];
            s1 += rgb[1];
            s2 += rgb[2];
        }
        int64_t* d = row + 3 * col;
        d[0] += s0 - k * Bg[0];
        d[1] += s1 - k * Bg[1];
        d[2] += s2 - k * Bg[2];
    }
}

QImage TPictureSink::Take() {
    if (F == 1) return std::move(Whole);
    QImage out(OutW, OutH, QImage::Format_RGB888);
    if (out.isNull()) throw std::runtime_error("图片太大，内存不足");
    for (int oy = 0; oy < OutH; ++oy) {
        const int64_t bh = std::min(F, H - oy * F);
        const int64_t* s = Sums.data() + static_cast<size_t>(oy) * OutW * 3;
        uchar* d = out.scanLine(oy);
        for (int ox = 0; ox < OutW; ++ox) {
            const int64_t count = bh * std::min(F, W - ox * F);
            for (int c = 0; c < 3; ++c, ++s, ++d) {
                const int64_t total = Bg[c] * count + *s;
                *d = static_cast<uchar>(std::clamp<int64_t>((total + count / 2) / count, 0, 255));
            }
        }
    }
    Sums = {};
    return out;
}

TPictureStream::TPictureStream(const std::string& path) : F(OpenRegularStream(path)) {
    if (!F) throw std::runtime_error("无法打开文件 " + path + ": " + FileErrorText(errno));
    struct stat st {};
    if (fstat(fileno(F), &st) == 0) Bytes = st.st_size;
}

TPictureStream TPictureStream::OfBytes(const std::string& bytes) {
    if (bytes.empty()) throw std::runtime_error("the file is empty");
    TPictureStream s;
    s.F = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    if (!s.F) throw std::runtime_error("out of memory");
    s.Bytes = static_cast<int64_t>(bytes.size());
    return s;
}

TPictureStream::~TPictureStream() {
    if (F) std::fclose(F);
}
