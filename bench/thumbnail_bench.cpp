// Picture chooser thumbnails against libjpeg-turbo's own reduced decode: the same
// photo-like 4000 x 3000 JPEGs read by `djpeg -scale 1/8` (one process per file,
// output thrown away) and by LoadThumbnail into a 100 x 100 thumbnail, in one run.
// Prints both times, their ratio, the core count and the peak memory; asserts
// nothing. Usage: thumbnail_bench [file count, default 200]
#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_support.h"
#include "chooser_rules.h"
#include "picture_codecs.h"
#include "string_list.h"

extern char** environ;

namespace {

constexpr int kWidth = 4000, kHeight = 3000, kQuality = 85, kThumb = 100;
// Distinct pictures; the files repeat them in turn, so that making 200 stays quick.
constexpr int kVariants = 8;

// Gradients, soft waves and sensor-like noise: compresses like a photo does. Each
// variant has its own noise and a shifted scene. The waves are sums of products of
// per-column and per-row terms, so that a 12-megapixel picture is made quickly.
QImage PhotoLike(int w, int h, int variant) {
    // Nearly normal noise of deviation 4: the sum of four uniform 10-bit values,
    // all four taken from one draw of a xorshift generator.
    uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<uint64_t>(variant + 1);
    auto noise = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const int sum = static_cast<int>((state & 1023) + ((state >> 10) & 1023) + ((state >> 20) & 1023) +
                                         ((state >> 30) & 1023));
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
            const double base[3] = {90 + 100 * v + sky, 120 + g[x] - 0.5 * sky, 170 - 90 * v + 0.3 * sky};
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uchar>(std::clamp(base[c] + noise(), 0.0, 255.0));
        }
    }
    return img;
}

std::string FileName(const std::string& dir, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "photo%03d.jpg", i);
    return dir + name;
}

// Made in a child process, so that the pictures' memory stays out of the figures.
bool MakeFiles(const std::string& dir, int count) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        std::vector<std::string> jpegs;
        for (int v = 0; v < std::min(count, kVariants); ++v)
            jpegs.push_back(EncodeJpeg(PhotoLike(kWidth, kHeight, v), kQuality));
        for (int i = 0; i < count; ++i) WriteFileBytes(FileName(dir, i), jpegs[i % jpegs.size()]);
        _exit(0);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// djpeg -scale 1/8 over every file; false when one run fails. peakKb: the largest
// resident size of one djpeg.
bool RunDjpeg(const std::vector<std::string>& files, long& peakKb) {
    peakKb = 0;
    for (const std::string& f : files) {
        std::vector<std::string> args{"djpeg", "-scale", "1/8", "-outfile", "/dev/null", f};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv.data(), environ) != 0) return false;
        int status = 0;
        rusage ru{};
        if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return false;
        peakKb = std::max(peakKb, ru.ru_maxrss);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 200;
    if (argc > 1) {
        char* end = nullptr;
        const long n = std::strtol(argv[1], &end, 10);
        if (*end != '\0' || n < 1 || n > 100000) {
            std::fprintf(stderr, "usage: %s [file count, 1..100000; default 200]\n", argv[0]);
            return 2;
        }
        count = static_cast<int>(n);
    }
    const std::string dir = NewBenchFolder("quilmar-thumbnail-bench");
    auto cleanUp = [&] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    };
    const auto m0 = std::chrono::steady_clock::now();
    if (!MakeFiles(dir, count)) {
        std::fprintf(stderr, "could not make the pictures in %s\n", dir.c_str());
        cleanUp();
        return 1;
    }
    const double making = Seconds(std::chrono::steady_clock::now() - m0);
    std::vector<std::string> files;
    uintmax_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        files.push_back(FileName(dir, i));
        bytes += std::filesystem::file_size(files.back());
    }

    // The image plugins are found through the application, as in the program.
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    const long baseKb = PeakKiB();

    long djpegKb = 0;
    const auto d0 = std::chrono::steady_clock::now();
    const bool djpegOk = RunDjpeg(files, djpegKb);
    const double djpeg = Seconds(std::chrono::steady_clock::now() - d0);

    int failed = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::string& f : files) {
        const std::optional<QImage> thumb = LoadThumbnail(f, kThumb, kThumb);
        if (!thumb || thumb->width() != kThumb || thumb->height() != kThumb) ++failed;
    }
    const double ours = Seconds(std::chrono::steady_clock::now() - t0);
    const long peakKb = PeakKiB();

    std::printf("%d JPEGs of %dx%d, quality %d, %.1f MB in all (made in %.1f s, %d distinct)\n",
                count, kWidth, kHeight, kQuality, bytes / 1e6, making, std::min(count, kVariants));
    std::printf("cores: %u (online %ld)\n", std::thread::hardware_concurrency(),
                sysconf(_SC_NPROCESSORS_ONLN));
    if (djpegOk)
        std::printf("  djpeg -scale 1/8:                %8.2f s  (%6.1f ms a file)\n", djpeg,
                    djpeg * 1000 / count);
    else
        std::printf("  djpeg -scale 1/8:                failed (is libjpeg-turbo-progs installed?)\n");
    std::printf("  LoadThumbnail %dx%d:           %8.2f s  (%6.1f ms a file)%s\n", kThumb, kThumb, ours,
                ours * 1000 / count, failed ? "  SOME FAILED" : "");
    if (failed) std::printf("  thumbnails that failed:          %d\n", failed);
    if (djpegOk && djpeg > 0)
        std::printf("  ratio LoadThumbnail / djpeg:     %8.3f (target <= 1.0)\n", ours / djpeg);
    std::printf("  peak memory (ru_maxrss):         %8.1f MB, of which %.1f MB before the first "
                "thumbnail; one djpeg at most %.1f MB\n",
                peakKb / 1024.0, baseKb / 1024.0, djpegKb / 1024.0);

    cleanUp();
    return failed == 0 && djpegOk ? 0 : 1;
}
