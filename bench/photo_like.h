// A photo-like picture for the benchmarks that read camera photos.
#pragma once

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Gradients, soft waves and sensor-like noise: compresses like a photo does. Each
// variant has its own noise and a shifted scene. The waves are sums of products of
// per-column and per-row terms, so that a 12-megapixel picture is made quickly.
inline QImage PhotoLike(int w, int h, int variant) {
    // Nearly normal noise of deviation 4: the sum of four uniform 10-bit values,
    // all four taken from one draw of a xorshift generator.
    uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(variant + 1);
    auto noise = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const int sum = static_cast<int>((state & 1023) + ((state >> 10) & 1023) +
                                         ((state >> 20) & 1023) + ((state >> 30) & 1023));
        return (sum - 2046) * (4.0 / 591.0);
    };
    const double shift = 0.37 * variant;
    std::vector<double> su(w), cu(w), c13(w), g(w), sv(h), cv(h), c5(h);
    for (int x = 0; x < w; ++x) {
        const double u = double(x) / w + shift;
        su[x] = std::sin(7 * u);
        cu[x] = std::cos(7 * u);
        c13[x] = std::cos(13 * u);
        g[x] = 60 * std::sin(u);
    }
    for (int y = 0; y < h; ++y) {
        const double v = double(y) / h;
        sv[y] = std::sin(3 * v);
        cv[y] = std::cos(3 * v);
        c5[y] = std::cos(5 * v);
    }
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        const double v = double(y) / h;
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double sky = 40 * (su[x] * cv[y] + cu[x] * sv[y]) + 30 * c13[x] * c5[y];
            const double base[3] = {90 + 100 * v + sky, 120 + g[x] - 0.5 * sky,
                                    170 - 90 * v + 0.3 * sky};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uchar>(std::clamp(base[c] + noise(), 0.0, 255.0));
        }
    }
    return img;
}
