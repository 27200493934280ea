// Picture chooser thumbnails against libjpeg-turbo's own reduced decode: the same
// photo-like 4000 x 3000 JPEGs read by `djpeg -scale 1/8` (one process per file,
// output thrown away) and by the chooser's thumbnail maker into 100 x 100
// thumbnails on one worker per core, as the chooser lists a folder; the same on a
// single worker for comparison. Prints the times, the ratios, the core count and
// the peak memory; asserts nothing. Usage: thumbnail_bench [file count, default 200]
#include <QCoreApplication>
#include <QEventLoop>
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
#include "photo_like.h"
#include "picture_codecs.h"
#include "string_list.h"
#include "thumbnail_maker.h"

extern char** environ;

namespace {

constexpr int kWidth = 4000, kHeight = 3000, kQuality = 85, kThumb = 100;
// Distinct pictures; the files repeat them in turn, so that making 200 stays quick.
constexpr int kVariants = 8;

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

// The folder's thumbnails by the chooser's maker with the given workers (0: one per
// core); failed counts the files without a thumbnail of the right size.
double MakeThumbnails(const std::string& dir, const TStringList& names, int workers, int& failed, int& used) {
    TThumbnailMaker maker(workers);
    used = maker.Workers();
    failed = 0;
    QEventLoop loop;
    QObject::connect(&maker, &TThumbnailMaker::ThumbnailReady, [&](quint64, int, bool ok, const QImage& t) {
        if (!ok || t.width() != kThumb || t.height() != kThumb) ++failed;
    });
    QObject::connect(&maker, &TThumbnailMaker::ListingDone, &loop, &QEventLoop::quit);
    const auto t0 = std::chrono::steady_clock::now();
    maker.Start(dir, names, kThumb, kThumb);
    loop.exec();
    return Seconds(std::chrono::steady_clock::now() - t0);
}

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
    TStringList names;
    uintmax_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        files.push_back(FileName(dir, i));
        names.push_back(files.back().substr(dir.size()));
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

    int failed = 0, failedOne = 0, workers = 0, one = 0;
    const double ours = MakeThumbnails(dir, names, 0, failed, workers);
    const long peakKb = PeakKiB();
    const double single = MakeThumbnails(dir, names, 1, failedOne, one);
    failed += failedOne;

    std::printf("%d JPEGs of %dx%d, quality %d, %.1f MB in all (made in %.1f s, %d distinct)\n",
                count, kWidth, kHeight, kQuality, bytes / 1e6, making, std::min(count, kVariants));
    std::printf("cores: %u (online %ld)\n", std::thread::hardware_concurrency(),
                sysconf(_SC_NPROCESSORS_ONLN));
    if (djpegOk)
        std::printf("  djpeg -scale 1/8:                %8.2f s  (%6.1f ms a file)\n", djpeg,
                    djpeg * 1000 / count);
    else
        std::printf("  djpeg -scale 1/8:                failed (is libjpeg-turbo-progs installed?)\n");
    std::printf("  thumbnails %dx%d, %d workers:  %8.2f s  (%6.1f ms a file)%s\n", kThumb, kThumb, workers, ours,
                ours * 1000 / count, failed ? "  SOME FAILED" : "");
    std::printf("  thumbnails %dx%d, 1 worker:    %8.2f s  (%6.1f ms a file)\n", kThumb, kThumb, single,
                single * 1000 / count);
    if (failed) std::printf("  thumbnails that failed:          %d\n", failed);
    if (djpegOk && djpeg > 0) {
        std::printf("  ratio thumbnails / djpeg:        %8.3f (target <= 0.5)\n", ours / djpeg);
        std::printf("  ratio 1 worker / djpeg:          %8.3f\n", single / djpeg);
    }
    std::printf("  peak memory (ru_maxrss):         %8.1f MB after the workers' run, of which %.1f MB "
                "before the first thumbnail; one djpeg at most %.1f MB\n",
                peakKb / 1024.0, baseKb / 1024.0, djpegKb / 1024.0);

    cleanUp();
    return failed == 0 && djpegOk ? 0 : 1;
}
