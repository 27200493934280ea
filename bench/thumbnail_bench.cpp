// Picture chooser thumbnails against libjpeg-turbo's own reduced decode, both as
// programs on the same files and the same cores: the chooser's thumbnail maker in
// one process (picture_driver thumbs: 100 x 100 thumbnails of the whole folder on
// N workers, each written as a PPM file) against `djpeg -scale 1/8` started for
// each file, N at a time, each writing its PPM file. Both start as programs, read
// the files from disk and write one PPM a file; N is the number of cores, then 1.
// The runs alternate, ours first in one round and djpeg first in the next; the
// figures are medians over the rounds with the smallest and largest. Prints the
// figures beside their targets and the peak memory; asserts nothing.
// Usage: thumbnail_bench [file count, default 200] [rounds, default 5]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_runs.h"
#include "bench_support.h"
#include "photo_like.h"
#include "picture_codecs.h"
#include "string_list.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000, kQuality = 85, kThumb = 100;
// Distinct pictures; the files repeat them in turn, so that making 200 stays quick.
constexpr int kVariants = 8;
// Ours against djpeg on the same cores.
constexpr double kTarget = 0.9;

std::string FileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "photo%03d.jpg", i);
    return name;
}

// Made in a child process, so that the pictures' memory stays out of the figures.
bool MakeFiles(const std::string& dir, int count) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        std::vector<std::string> jpegs;
        for (int v = 0; v < std::min(count, kVariants); ++v)
            jpegs.push_back(EncodeJpeg(PhotoLike(kWidth, kHeight, v), kQuality));
        for (int i = 0; i < count; ++i) WriteFileBytes(dir + FileName(i), jpegs[i % jpegs.size()]);
        _exit(0);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ParseCount(const char* text, long lo, long hi, int& value) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < lo || n > hi) return false;
    value = static_cast<int>(n);
    return true;
}

// Our thumbnails of every file, and the djpeg commands for the same files.
struct TPairing {
    int Cores;
    std::vector<double> Ours, Theirs;  // seconds a round
    long OursKiB = 0, TheirsKiB = 0;   // our process; one djpeg
    bool Ok = true;
};

void Print(const TPairing& p, int count, bool withTarget) {
    const TSpread o = SpreadOf(p.Ours), t = SpreadOf(p.Theirs);
    std::vector<double> ratios;
    for (size_t i = 0; i < p.Ours.size(); ++i) ratios.push_back(p.Ours[i] / p.Theirs[i]);
    const TSpread r = SpreadOf(ratios);
    const double perFile = 1000.0 / count;
    std::printf("on %d core%s:\n", p.Cores, p.Cores == 1 ? "" : "s");
    std::printf("  thumbnail maker, %d worker%s:   %7.2f ms a file (%.2f-%.2f), peak %.1f MB\n", p.Cores,
                p.Cores == 1 ? " " : "s", o.Median * perFile, o.Min * perFile, o.Max * perFile,
                p.OursKiB / 1024.0);
    std::printf("  djpeg -scale 1/8, %d at a time: %7.2f ms a file (%.2f-%.2f), peak %.1f MB each, %.1f MB "
                "at once\n",
                p.Cores, t.Median * perFile, t.Min * perFile, t.Max * perFile, p.TheirsKiB / 1024.0,
                p.TheirsKiB * p.Cores / 1024.0);
    std::printf("  ratio ours / djpeg:              %7.3f (rounds %.3f-%.3f)", r.Median, r.Min, r.Max);
    if (withTarget)
        std::printf("  target <= %.1f: %s\n", kTarget, r.Median <= kTarget ? "met" : "NOT MET");
    else
        std::printf("\n");
    if (!p.Ok) std::printf("  SOME RUNS FAILED\n");
}

}  // namespace

int main(int argc, char** argv) {
    int count = 200, rounds = 5;
    if ((argc > 1 && !ParseCount(argv[1], 1, 100000, count)) || (argc > 2 && !ParseCount(argv[2], 1, 1000, rounds))) {
        std::fprintf(stderr, "usage: %s [file count, 1..100000; default 200] [rounds, 1..1000; default 5]\n",
                     argv[0]);
        return 2;
    }
    const std::string djpeg = FindProgram({"djpeg"});
    const std::string driver =
        (std::filesystem::path(argv[0]).parent_path() / "picture_driver").lexically_normal().string();
    if (djpeg.empty() || ::access(driver.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "needs djpeg (libjpeg-turbo-progs) on PATH and %s\n", driver.c_str());
        return 1;
    }
    const std::string dir = NewBenchFolder("quilmar-thumbnail-bench");
    const std::string out = dir + "out";
    std::filesystem::create_directory(out);
    auto cleanUp = [&] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    };
    if (!MakeFiles(dir, count)) {
        std::fprintf(stderr, "could not make the pictures in %s\n", dir.c_str());
        cleanUp();
        return 1;
    }
    uintmax_t bytes = 0;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(FileName(i));
        bytes += std::filesystem::file_size(dir + names.back());
    }
    const int cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%d JPEGs of %dx%d, quality %d, %.1f MB in all (%d distinct); %d rounds, alternating\n", count,
                kWidth, kHeight, kQuality, bytes / 1e6, std::min(count, kVariants), rounds);

    std::vector<TPairing> pairings{{cores, {}, {}}, {1, {}, {}}};
    for (int round = 0; round < rounds; ++round) {
        for (TPairing& p : pairings) {
            TCommand ours{driver, "thumbs", std::to_string(kThumb), std::to_string(kThumb), std::to_string(p.Cores),
                          dir, out};
            ours.insert(ours.end(), names.begin(), names.end());
            std::vector<TCommand> theirs;
            for (const std::string& n : names)
                theirs.push_back({djpeg, "-scale", "1/8", "-outfile", out + "/" + n + ".ppm", dir + n});
            for (int k = 0; k < 2; ++k) {
                if ((k == 0) == (round % 2 == 0)) {
                    const TRunResult r = RunCommands({ours}, 1);
                    p.Ours.push_back(r.Seconds);
                    p.OursKiB = std::max(p.OursKiB, r.PeakKiB);
                    p.Ok = p.Ok && r.Ok;
                } else {
                    const TRunResult r = RunCommands(theirs, p.Cores);
                    p.Theirs.push_back(r.Seconds);
                    p.TheirsKiB = std::max(p.TheirsKiB, r.PeakKiB);
                    p.Ok = p.Ok && r.Ok;
                }
            }
        }
    }
    Print(pairings[0], count, true);
    Print(pairings[1], count, false);
    cleanUp();
    return pairings[0].Ok && pairings[1].Ok ? 0 : 1;
}
