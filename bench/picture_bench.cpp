// Picture re-encoding against the programs a user would use instead, each side
// started as a program for each run, reading the same photo-like JPEG from disk
// and writing its JPEG to a file, one run at a time on one processor (ImageMagick
// would spread its resize over all, and a pipe's two ends would run side by
// side), ours and theirs alternating:
//   - mode 3 into "176X210" (picture_driver recode 3) against ImageMagick's
//     `convert -define jpeg:size=... in.jpg -resize 176x210 -quality 85 out.jpg`,
//     at 3000 x 2000 and 6000 x 4000; jpeg:size asks for what our fit decodes
//     toward, twice the fitted size, so that both decode at the same DCT scaling,
//     and both write the same 176 x 117 picture at the same quality;
//   - mode 2 (picture_driver recode 2) against `djpeg | cjpeg -quality 85`, the
//     same full-size decode and encode, the two programs joined by a pipe
//     (ImageMagick takes over twice as long for it: no fair reference).
// Both sides are programs: ImageMagick's own work cannot be called in process here
// (no development files), and a program started for each picture pays its start
// as convert and djpeg do. Then RecodeGif and RecodePng on a 640 x 480 photo, in
// process, for their own figures. Medians with the smallest and largest, wall and
// processor time, the peak memory of each program, the ratios beside their
// targets; asserts nothing.
// Usage: picture_bench [runs, default 11]
#include <sched.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_runs.h"
#include "bench_support.h"
#include "photo_like.h"
#include "picture_codecs.h"
#include "picture_recode.h"
#include "services.h"
#include "string_list.h"

namespace {

constexpr int kQuality = 85;
constexpr int kBoxW = 176, kBoxH = 210;

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <typename F>
double Time(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - t0);
}

std::string SizeOf(const std::string& jpegPath) {
    try {
        const TPictureHeader h = ReadJpegHeader(jpegPath);
        return std::to_string(h.Width) + "x" + std::to_string(h.Height);
    } catch (const std::exception&) {
        return "none";
    }
}

// The size libjpeg decodes at for ImageMagick's jpeg:size: it asks for the
// scaling 1 / floor(min(w / sw, h / sh)), which libjpeg takes up to n/8.
std::string MagickDecodeSize(int w, int h, int sw, int sh) {
    const int denom = std::max(1, static_cast<int>(std::min(double(w) / sw, double(h) / sh)));
    const int n = std::min(8, (8 + denom - 1) / denom);
    return std::to_string((w * n + 7) / 8) + "x" + std::to_string((h * n + 7) / 8);
}

void Fit(const std::string& dir, const std::string& driver, const std::string& magick, int w, int h,
         int runs) {
    const std::string src = dir + "fit-src.jpg", ours = dir + "fit-ours.jpg",
                      theirs = dir + "fit-theirs.jpg";
    WriteFileBytes(src, EncodeJpeg(PhotoLike(w, h, 0), kQuality));
    // What our fit decodes toward: the picture fitted into twice the box.
    const double r = std::min(double(kBoxW) / w, double(kBoxH) / h);
    const int sw = static_cast<int>(std::ceil(2 * w * r)),
              sh = static_cast<int>(std::ceil(2 * h * r));
    const TJpegDecodeSize d = JpegDecodeSize(w, h, 2 * kBoxW, 2 * kBoxH);
    const std::string size = std::to_string(sw) + "x" + std::to_string(sh);
    const TCommand oursCmd{driver,
                           "recode",
                           "3",
                           std::to_string(kBoxW),
                           std::to_string(kBoxH),
                           std::to_string(kQuality),
                           src,
                           ours};
    const TCommand theirsCmd{magick,
                             "-define",
                             "jpeg:size=" + size,
                             src,
                             "-resize",
                             std::to_string(kBoxW) + "x" + std::to_string(kBoxH),
                             "-quality",
                             std::to_string(kQuality),
                             theirs};
    TSide o, t;
    Alternate(
        runs, o, t, [&] { return RunCommands({oursCmd}, 1, sched_getcpu()); },
        [&] { return RunCommands({theirsCmd}, 1, sched_getcpu()); });
    std::printf("fit %dx%d (%ju bytes) into %dX%d, quality %d, %d runs each:\n", w, h,
                static_cast<uintmax_t>(std::filesystem::file_size(src)), kBoxW, kBoxH, kQuality,
                runs);
    std::printf(
        "  decoded at %lldx%lld (ours), %s (ImageMagick, jpeg:size=%s); written %s (ours), %s "
        "(theirs)\n",
        static_cast<long long>(d.W), static_cast<long long>(d.H),
        MagickDecodeSize(w, h, sw, sh).c_str(), size.c_str(), SizeOf(ours).c_str(),
        SizeOf(theirs).c_str());
    PrintPairing("picture_driver recode 3:", "convert jpeg:size + resize:", o, t, 1.0);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 11;
    if (argc > 1) {
        char* end = nullptr;
        const long n = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || n < 1 || n > 1000) {
            std::fprintf(stderr, "usage: %s [runs, 1..1000; default 11]\n", argv[0]);
            return 2;
        }
        runs = static_cast<int>(n);
    }
    const std::string driver = (std::filesystem::path(argv[0]).parent_path() / "picture_driver")
                                   .lexically_normal()
                                   .string();
    // ImageMagick 6 by its own name first, so that no wrapper standing in for
    // "convert" is timed.
    const std::string magick = FindProgram({"convert-im6.q16", "convert"});
    const std::string djpeg = FindProgram({"djpeg"}), cjpeg = FindProgram({"cjpeg"});
    if (::access(driver.c_str(), X_OK) != 0 || magick.empty() || djpeg.empty() || cjpeg.empty()) {
        std::fprintf(stderr, "needs %s, ImageMagick's convert, djpeg and cjpeg\n", driver.c_str());
        return 1;
    }
    const std::string dir = NewBenchFolder("quilmar-picture-bench");

    Fit(dir, driver, magick, 3000, 2000, runs);
    Fit(dir, driver, magick, 6000, 4000, runs);

    {
        const std::string src = dir + "full-src.jpg", ours = dir + "full-ours.jpg",
                          theirs = dir + "full-theirs.jpg";
        WriteFileBytes(src, EncodeJpeg(PhotoLike(3000, 2000, 0), kQuality));
        const std::string q = std::to_string(kQuality);
        const TCommand oursCmd{driver, "recode", "2", "1", "1", q, src, ours};
        const std::vector<TCommand> pipeline{{djpeg, src},
                                             {cjpeg, "-quality", q, "-outfile", theirs}};
        TSide o, t;
        Alternate(
            runs, o, t, [&] { return RunCommands({oursCmd}, 1, sched_getcpu()); },
            [&] { return RunPipeline(pipeline, sched_getcpu()); });
        std::printf(
            "mode 2, 3000x2000 (%ju bytes), quality %d, %d runs each; written %s (ours), %s "
            "(theirs):\n",
            static_cast<uintmax_t>(std::filesystem::file_size(src)), kQuality, runs,
            SizeOf(ours).c_str(), SizeOf(theirs).c_str());
        PrintPairing("picture_driver recode 2:", "djpeg | cjpeg (the larger's peak):", o, t, 1.2);
    }

    TClockRandom rng;
    const TPicEncodeSettings mode2{2, 0, 0, kQuality};
    const QImage small = PhotoLike(640, 480, 0);
    const std::string gif = TGifEncoder().Encode(small);
    std::string png;
    {
        // A true-colour PNG as a camera or editor would write it.
        const std::string p = dir + "src.png";
        small.save(QString::fromStdString(p), "PNG");
        png = ReadFileBytes(p);
    }
    std::vector<double> gifTimes, pngTimes;
    for (int i = 0; i < runs; ++i) {
        WriteFileBytes(dir + "w.gif", gif);
        gifTimes.push_back(Time([&] { RecodeGif(dir + "w.gif", mode2, rng); }));
        WriteFileBytes(dir + "w.png", png);
        pngTimes.push_back(Time([&] { RecodePng(dir + "w.png", mode2, rng); }));
    }
    const TSpread g = SpreadOf(gifTimes), p = SpreadOf(pngTimes);
    std::printf("640x480 photo, mode 2, in process, %d runs (no reference):\n", runs);
    std::printf("  %-30s %7.1f ms (%.1f-%.1f), %ju bytes\n", "RecodeGif:", g.Median * 1000,
                g.Min * 1000, g.Max * 1000,
                static_cast<uintmax_t>(std::filesystem::file_size(dir + "w.gif")));
    std::printf("  %-30s %7.1f ms (%.1f-%.1f), %ju bytes\n", "RecodePng:", p.Median * 1000,
                p.Min * 1000, p.Max * 1000,
                static_cast<uintmax_t>(std::filesystem::file_size(dir + "w.png")));

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
