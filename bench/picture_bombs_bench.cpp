// Hostile pictures against the chooser's thumbnail and the make (mode 3 into
// "176X210", and mode 2): files of a few bytes that claim pictures of hundreds of megapixels,
// frames beyond their screen, PNG chunks that claim 2 GB, a GIF of millions of
// empty frames, JPEGs without data or with endless scans, and a
// photo cut short with an end marker after the cut; a 100-megapixel and a
// 4000 x 3000 photo beside them as what must still work. Each file is made here,
// and each thumbnail and each make runs in a child process of its own (under a
// 4 GB address-space limit), so that its peak memory is its own. Prints the
// figures against the targets; asserts nothing.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "chooser_rules.h"
#include "mms_maker.h"
#include "picture_bombs.h"
#include "picture_codecs.h"
#include "string_list.h"

namespace {

struct TChildResult {
    std::string Text;  // what the child said
    double Seconds = 0;
    long PeakKiB = 0;
    bool Exited = false;
};

// Runs f in a child process; its text comes back through a pipe.
TChildResult InChild(const std::function<std::string()>& f) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        rlimit as{4000000000UL, 4000000000UL};
        setrlimit(RLIMIT_AS, &as);
        std::string text;
        try {
            text = f();
        } catch (const std::exception& e) {
            text = std::string("error: ") + e.what();
        }
        (void)!write(fds[1], text.data(), text.size());
        _exit(0);
    }
    close(fds[1]);
    TChildResult r;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) r.Text.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.PeakKiB = u.ru_maxrss;
    r.Exited = WIFEXITED(status);
    if (!r.Exited) r.Text = "child killed by signal " + std::to_string(WTERMSIG(status));
    return r;
}

struct TCase {
    const char* Name;
    std::function<std::string()> Make;  // the file's bytes
};

}  // namespace

int main() {
    const std::string dir = NewBenchFolder("quilmar-bombs");
    const TCase cases[] = {
        {"gif-screen.gif", [] { return bombs::GifScreen(16384, 16384); }},
        {"gif-frames.gif", [] { return bombs::GifFrames(1, 1, 2, 65535, 64, 32767); }},
        {"jpeg-cmyk-progressive.jpg",
         [] {
             return bombs::ClaimSize(bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 4, true)), 16384,
                                     16384);
         }},
        {"jpeg-10000-scans.jpg",
         [] {
             return bombs::ClaimSize(bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 1, true), 10000),
                                     16384, 16384);
         }},
        {"jpeg-no-scan-data.jpg",
         [] {
             return bombs::ClaimSize(bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 3, false)),
                                     16384, 16384);
         }},
        {"png-16384.png", [] { return bombs::PngOneColour(16384, 16384, false); }},
        {"png-16384-interlaced.png", [] { return bombs::PngOneColour(16384, 16384, true); }},
        {"png-20000x13000.png", [] { return bombs::PngOneColour(20000, 13000, false); }},
        {"png-20000x13000-interlaced.png", [] { return bombs::PngOneColour(20000, 13000, true); }},
        {"bmp-rle8-ends-at-once.bmp", [] { return bombs::BmpRle8EndsAtOnce(16384, 16384); }},
        {"png-text-chunk-claims-2gb.png", [] { return bombs::PngChunkClaim("tEXt"); }},
        {"png-exif-chunk-claims-2gb.png", [] { return bombs::PngChunkClaim("eXIf"); }},
        {"png-header-2e9x1.5e9.png", [] { return bombs::PngHeaderOnly(2000000000, 1500000000); }},
        {"gif-2m-empty-frames.gif", [] { return bombs::GifEmptyFrames(2000000); }},
        {"photo-cut-then-ffd9.jpg",
         [] { return bombs::CutWithEnd(EncodeJpeg(bombs::Photo(1600, 1200), 85), 1.0 / 3); }},
        {"photo-100mp.jpg", [] { return EncodeJpeg(bombs::Photo(12000, 8400), 85); }},
        {"photo-4000x3000.jpg", [] { return EncodeJpeg(bombs::Photo(4000, 3000), 85); }},
    };
    std::printf("cores: %ld\n", sysconf(_SC_NPROCESSORS_ONLN));
    std::printf(
        "targets: thumbnail <= 300 MB and <= 2 s or refused; make <= 600 MB and <= 5 s or refused, "
        "file as it was\n\n");
    std::printf("%-31s %9s | %-8s %7s %7s | %-10s %7s %7s %s\n", "file", "bytes", "thumb", "s",
                "MB", "mode make", "s", "MB", "file kept / reason");
    bool allMet = true;
    for (const auto& c : cases) {
        const std::string path = dir + c.Name;
        // Made in a child too: the 100-megapixel photo takes memory to draw.
        InChild([&] {
            WriteFileBytes(path, c.Make());
            return std::string();
        });
        const std::string before = ReadFileBytes(path);
        const TChildResult thumb =
            InChild([&] { return LoadThumbnail(path, 100, 100) ? "listed" : "refused"; });
        for (int mode : {3, 2}) {
            const TChildResult make = InChild([&]() -> std::string {
                TClockRandom rng;
                TMmsMaker maker(rng, dir);
                maker.SetSmilHead("<head><layout></layout></head>");
                maker.FPicEncodeMode = mode;
                maker.FPicEncodeInfo = "176X210";
                maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
                maker.FPages.Items.back()->SetMedia("", path, "", "", 0);
                const std::string out = dir + "out.mms";
                try {
                    maker.MakeMms(out);
                } catch (const std::exception& e) {
                    return std::string("refused\t") + e.what();
                }
                std::filesystem::remove(out);
                return "made\t";
            });
            const bool kept = ReadFileBytes(path) == before;
            const std::string makeWord = make.Text.substr(0, make.Text.find('\t'));
            std::string reason = make.Text.find('\t') == std::string::npos
                                     ? make.Text
                                     : make.Text.substr(make.Text.find('\t') + 1);
            if (reason.size() > 110) reason = reason.substr(0, 110) + "...";
            const double thumbMB = thumb.PeakKiB / 1024.0, makeMB = make.PeakKiB / 1024.0;
            const bool thumbMet =
                thumb.Exited && (thumb.Text == "refused" || (thumbMB <= 300 && thumb.Seconds <= 2));
            const bool makeMet = make.Exited && kept &&
                                 (makeWord == "refused" ||
                                  (makeWord == "made" && makeMB <= 600 && make.Seconds <= 5));
            allMet = allMet && thumbMet && makeMet;
            std::printf("%-31s %9zu | %-8s %7.2f %7.1f | %d %-8s %7.2f %7.1f %s%s %s\n",
                        mode == 3 ? c.Name : "", before.size(), mode == 3 ? thumb.Text.c_str() : "",
                        thumb.Seconds, thumbMB, mode, makeWord.c_str(), make.Seconds, makeMB,
                        kept ? "kept" : "CHANGED", thumbMet && makeMet ? "" : " [target missed]",
                        reason.c_str());
        }
        std::filesystem::remove(path);
    }
    std::printf("\n%s\n", allMet ? "every target met" : "some targets missed");
    std::filesystem::remove_all(dir);
    return 0;
}
