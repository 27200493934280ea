// Picture re-encoding figures: RecodeJpeg on a 3000 x 2000 photo-like picture
// against the same decode and encode done by libjpeg-turbo's own djpeg and cjpeg
// at the same quality, mode 3 into "176X210" against ImageMagick's reduced decode
// and resize into the same box, and RecodeGif / RecodePng on a 640 x 480 photo.
// Prints the figures; asserts nothing.
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "picture_codecs.h"
#include "picture_recode.h"
#include "services.h"
#include "string_list.h"

namespace {

constexpr int kQuality = 85;
constexpr int kRuns = 5;

// Gradients, soft waves and sensor-like noise: compresses like a photo does.
QImage PhotoLike(int w, int h) {
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 4.0);
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            const double sky = 40 * std::sin(7 * u + 3 * v) + 30 * std::cos(13 * v * u);
            const double base[3] = {90 + 100 * v + sky, 120 + 60 * u - 0.5 * sky, 170 - 90 * v + 0.3 * sky};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uchar>(std::clamp(base[c] + noise(gen), 0.0, 255.0));
        }
    }
    return img;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double Time(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - t0);
}

}  // namespace

int main() {
    const std::string dir = NewBenchFolder("quilmar-picture-bench");
    TClockRandom rng;

    const QImage big = PhotoLike(3000, 2000);
    const std::string bigJpeg = EncodeJpeg(big, kQuality);
    WriteFileBytes(dir + "src.jpg", bigJpeg);
    const std::string work = dir + "work.jpg";
    const std::string tools = "djpeg -outfile '" + dir + "t.ppm' '" + work + "' && cjpeg -quality " +
                              std::to_string(kQuality) + " -outfile '" + dir + "t.jpg' '" + dir + "t.ppm'";
    // The box's reduced decode as ImageMagick does it: libjpeg scales to at least
    // twice the box, then the resize.
    const std::string magick = "convert -define jpeg:size=352x420 '" + work + "' -resize 176x210 -quality " +
                               std::to_string(kQuality) + " '" + dir + "m.jpg'";
    const bool haveMagick = std::system("command -v convert >/dev/null 2>&1") == 0;

    std::vector<double> ours, theirs, fit, magickTimes;
    const TPicEncodeSettings mode2{2, 0, 0, kQuality}, mode3{3, 176, 210, kQuality};
    for (int i = 0; i < kRuns; ++i) {
        WriteFileBytes(work, bigJpeg);
        ours.push_back(Time([&] { RecodeJpeg(work, mode2, rng); }));
        WriteFileBytes(work, bigJpeg);
        theirs.push_back(Time([&] {
            if (std::system(tools.c_str()) != 0) std::fprintf(stderr, "djpeg/cjpeg failed\n");
        }));
        WriteFileBytes(work, bigJpeg);
        fit.push_back(Time([&] { RecodeJpeg(work, mode3, rng); }));
        if (haveMagick) {
            WriteFileBytes(work, bigJpeg);
            magickTimes.push_back(Time([&] {
                if (std::system(magick.c_str()) != 0) std::fprintf(stderr, "convert failed\n");
            }));
        }
    }
    const double o = Median(ours), t = Median(theirs);
    std::printf("JPEG 3000x2000 (%zu bytes), quality %d, median of %d runs\n", bigJpeg.size(), kQuality, kRuns);
    std::printf("  RecodeJpeg, mode 2:           %8.1f ms\n", o * 1000);
    std::printf("  djpeg + cjpeg:                %8.1f ms\n", t * 1000);
    std::printf("  ratio RecodeJpeg / tools:     %8.3f (target <= 1.2)\n", o / t);
    std::printf("  RecodeJpeg, mode 3 176X210:   %8.1f ms\n", Median(fit) * 1000);
    if (haveMagick) {
        const double m = Median(magickTimes);
        std::printf("  convert jpeg:size + resize:   %8.1f ms\n", m * 1000);
        std::printf("  ratio mode 3 / convert:       %8.3f (target <= 1.0)\n", Median(fit) / m);
    } else {
        std::printf("  convert:                      not installed, mode 3 not compared\n");
    }

    const QImage small = PhotoLike(640, 480);
    TGifEncoder plain;
    const std::string gif = plain.Encode(small);
    QImage smallCopy = small;
    std::string png;
    {
        // A true-colour PNG as a camera or editor would write it.
        const std::string p = dir + "src.png";
        smallCopy.save(QString::fromStdString(p), "PNG");
        png = ReadFileBytes(p);
    }
    std::vector<double> gifTimes, pngTimes;
    for (int i = 0; i < kRuns; ++i) {
        WriteFileBytes(dir + "w.gif", gif);
        gifTimes.push_back(Time([&] { RecodeGif(dir + "w.gif", mode2, rng); }));
        WriteFileBytes(dir + "w.png", png);
        pngTimes.push_back(Time([&] { RecodePng(dir + "w.png", mode2, rng); }));
    }
    std::printf("640x480 photo, mode 2, median of %d runs\n", kRuns);
    std::printf("  RecodeGif:                    %8.1f ms (%ju bytes)\n", Median(gifTimes) * 1000,
                static_cast<uintmax_t>(std::filesystem::file_size(dir + "w.gif")));
    std::printf("  RecodePng:                    %8.1f ms (%ju bytes)\n", Median(pngTimes) * 1000,
                static_cast<uintmax_t>(std::filesystem::file_size(dir + "w.png")));

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
