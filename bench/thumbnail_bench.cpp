// Picture chooser thumbnails against libjpeg-turbo's own reduced decode, both as
// programs on the same files and the same cores: the chooser's thumbnail maker in
// one process (picture_driver thumbs: 100 x 100 thumbnails of the whole folder on
// N workers, each written as a PPM file) against `djpeg -scale 1/8` started for
// each file, N at a time, each writing its PPM file. Both start as programs, read
// the files from disk and write one PPM a file; N is the number of cores, then 1.
// Ours is one program for the folder because the chooser makes a folder's
// thumbnails so; djpeg takes one file a run. The runs alternate, ours first in one
// round and djpeg first in the next; the figures are medians over the rounds with
// the smallest and largest, wall and processor time. Prints the figures beside
// their targets and the peak memory; asserts nothing.
// Usage: thumbnail_bench [file count, default 200] [rounds, default 5]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
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

}  // namespace

int main(int argc, char** argv) {
    int count = 200, rounds = 5;
    if ((argc > 1 && !ParseCount(argv[1], 1, 100000, count)) ||
        (argc > 2 && !ParseCount(argv[2], 1, 1000, rounds))) {
        std::fprintf(
            stderr, "usage: %s [file count, 1..100000; default 200] [rounds, 1..1000; default 5]\n",
            argv[0]);
        return 2;
    }
    const std::string djpeg = FindProgram({"djpeg"});
    const std::string driver = (std::filesystem::path(argv[0]).parent_path() / "picture_driver")
                                   .lexically_normal()
                                   .string();
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
    std::printf(
        "%d JPEGs of %dx%d, quality %d, %.1f MB in all (%d distinct); %d rounds, alternating\n",
        count, kWidth, kHeight, kQuality, bytes / 1e6, std::min(count, kVariants), rounds);

    bool ok = true;
    for (const int width : {cores, 1}) {
        TCommand ours{
            driver, "thumbs", std::to_string(kThumb), std::to_string(kThumb), std::to_string(width),
            dir,    out};
        ours.insert(ours.end(), names.begin(), names.end());
        std::vector<TCommand> theirs;
        for (const std::string& n : names)
            theirs.push_back({djpeg, "-scale", "1/8", "-outfile", out + "/" + n + ".ppm", dir + n});
        TSide o, t;
        Alternate(
            rounds, o, t, [&] { return RunCommands({ours}, 1); },
            [&] { return RunCommands(theirs, width); });
        std::printf("on %d core%s, a file:\n", width, width == 1 ? "" : "s");
        const std::string oursName =
            "thumbnail maker, " + std::to_string(width) + " worker" + (width == 1 ? ":" : "s:");
        const std::string theirsName = "djpeg -scale 1/8, " + std::to_string(width) + " at a time:";
        const std::string note = " (one djpeg; " + std::to_string(width) + " at once)";
        // The target is set on the cores the chooser has; one core is for comparison.
        PrintPairing(oursName.c_str(), theirsName.c_str(), o, t, width == cores ? kTarget : 0,
                     count, note.c_str());
        ok = ok && o.Ok && t.Ok;
    }
    cleanUp();
    return ok ? 0 : 1;
}
