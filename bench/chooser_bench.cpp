// The picture chooser over a folder of hostile pictures and two camera photos: the
// files are made here, then the chooser (offscreen unless a platform is set) lists
// the folder in a process of its own under a limit on its address space, while a
// 10 ms timer of the window's thread records the longest stretch without window
// events. Prints the time to the end of the listing, that stretch, the peak memory
// and what was listed; asserts nothing. The folder is listed twice: with every file,
// and without the pictures that claim gigapixels (the photos, the cut photo and the
// JPEG without data), so that the figures of a real folder show even when the
// decoders cannot take the others within the limit.
// Usage: chooser_bench [--no-bombs] [--timeout SECONDS (default 300)]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "photo_like.h"
#include "pic_sel.h"
#include "picture_bombs.h"
#include "picture_codecs.h"
#include "string_list.h"

extern char** environ;

namespace {

// The chooser's process may not map more than this: a decoder that would need more
// fails its allocation instead of taking the machine.
constexpr rlim_t kAddressLimit = 4000000000;

// ---- the files ----

struct TFile {
    std::string Name;
    std::string Bytes;
    bool Bomb;  // claims a picture of gigapixels
};

std::vector<TFile> Files() {
    using namespace bombs;
    return {
        {"photo1.jpg", EncodeJpeg(PhotoLike(4000, 3000, 0), 85), false},
        {"photo2.jpg", EncodeJpeg(PhotoLike(4000, 3000, 1), 85), false},
        {"photo_cut.jpg", CutWithEnd(EncodeJpeg(PhotoLike(640, 480, 3), 85), 1.0 / 3), false},
        {"no_data.jpg", ClaimSize(WithoutScanData(SmallJpeg(8, 8, 1, false)), 16384, 16384), false},
        {"gif_screen.gif", GifScreen(16384, 16384), true},
        {"gif_frames.gif", GifScreen(1, 1, 65535, 32767, 2), true},
        {"cmyk_nodata.jpg", ClaimSize(WithoutScanData(SmallJpeg(8, 8, 4, true)), 16384, 16384),
         true},
        {"empty_scans.jpg",
         ClaimSize(WithoutScanData(SmallJpeg(8, 8, 1, true), 10000), 16384, 16384), true},
        {"one_colour_16384.png", PngOneColour(16384, 16384, false), true},
        {"one_colour_20000.png", PngOneColour(20000, 13000, false), true},
        {"one_colour_20000_interlaced.png", PngOneColour(20000, 13000, true), true},
        {"rle8_ends.bmp", BmpRle8EndsAtOnce(16384, 16384), true},
    };
}

// ---- the chooser, in its own process ----

int ListInChooser(int argc, char** argv, const std::string& dir, int timeoutSecs) {
    const rlimit limit{kAddressLimit, kAddressLimit};
    setrlimit(RLIMIT_AS, &limit);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TMessagePump pump;
    TfrmPicsel dlg(pump, 100, 100, dir);

    QElapsedTimer clock;
    std::atomic<qint64> lastTick{0}, longest{0};
    qint64 done = -1;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest.load(), now - lastTick.load());
        lastTick = now;
    });
    // Should the window's thread stop for good, this tells so and ends the process.
    std::thread([&, timeoutSecs] {
        std::this_thread::sleep_for(std::chrono::seconds(timeoutSecs + 10));
        const qint64 now = clock.elapsed();
        std::printf(
            "  the window's thread has not answered for %.1f s (longest stretch so far); the\n"
            "  listing did not end within %d s\n",
            std::max(longest.load(), now - lastTick.load()) / 1000.0, timeoutSecs);
        std::fflush(stdout);
        _exit(4);
    }).detach();
    QObject::connect(&dlg, &TfrmPicsel::ListingFinished, [&] {
        done = clock.elapsed();
        app.quit();
    });
    QTimer::singleShot(timeoutSecs * 1000, &app, &QApplication::quit);
    clock.start();
    ticker.start();
    dlg.show();
    app.exec();
    const qint64 end = clock.elapsed();
    longest = std::max(longest.load(), end - lastTick.load());

    if (done >= 0)
        std::printf("  listing done in:                 %8.2f s\n", done / 1000.0);
    else
        std::printf("  listing NOT done within %d s (%zu listed so far)\n", timeoutSecs,
                    dlg.PicFiles().size());
    std::printf("  longest stretch without events:  %8.3f s\n", longest.load() / 1000.0);
    std::printf("  listed:");
    for (const std::string& name : dlg.PicFiles()) std::printf(" %s", name.c_str());
    std::printf("\n");
    const TStringList& listed = dlg.PicFiles();
    auto has = [&](const char* name) {
        return std::find(listed.begin(), listed.end(), name) != listed.end();
    };
    if (done >= 0)
        std::printf("  both photos listed: %s; photo_cut.jpg listed: %s; no_data.jpg listed: %s\n",
                    has("photo1.jpg") && has("photo2.jpg") ? "yes" : "NO",
                    has("photo_cut.jpg") ? "YES" : "no", has("no_data.jpg") ? "YES" : "no");
    std::printf("  peak memory (VmHWM):             %8.1f MB\n", OwnPeakKiB() / 1024.0);
    std::fflush(stdout);
    // Decoders still under way are not waited for.
    _exit(done >= 0 ? 0 : 3);
}

// Lists dir in a chooser process of its own; false when it did not end well.
bool RunChooser(const char* argv0, const std::string& dir, int timeout) {
    std::string self = "/proc/self/exe", timeoutText = std::to_string(timeout), list = "--list",
                folder = dir;
    std::vector<char*> args{const_cast<char*>(argv0), list.data(), folder.data(),
                            timeoutText.data(), nullptr};
    pid_t pid = 0;
    int status = 0;
    rusage ru{};
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, args.data(), environ) != 0 ||
        wait4(pid, &status, 0, &ru) != pid) {
        std::printf("  the chooser's process could not be run\n");
        return false;
    }
    if (WIFSIGNALED(status))
        std::printf("  the chooser's process ended by signal %d\n", WTERMSIG(status));
    std::fflush(stdout);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--list") == 0)
        return ListInChooser(argc, argv, argv[2], std::atoi(argv[3]));
    int timeout = 300;
    bool withBombs = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            timeout = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--no-bombs") == 0) {
            withBombs = false;
        } else {
            std::fprintf(stderr, "usage: %s [--no-bombs] [--timeout SECONDS]\n", argv[0]);
            return 2;
        }
    }
    const std::string all = NewBenchFolder("quilmar-chooser-bench"),
                      real = NewBenchFolder("quilmar-chooser-bench");
    const std::vector<TFile> files = Files();
    uintmax_t bytes = 0;
    std::string bombs;
    for (const TFile& f : files) {
        WriteFileBytes(all + f.Name, f.Bytes);
        if (!f.Bomb) WriteFileBytes(real + f.Name, f.Bytes);
        if (f.Bomb) bombs += " " + f.Name;
        bytes += f.Bytes.size();
    }
    std::printf("cores: %u; each chooser's address space limited to %.1f GB\n",
                std::thread::hardware_concurrency(), kAddressLimit / 1e9);
    std::printf(
        "targets: done <= 20 s, no stretch of 0.5 s without events, <= 600 MB, both photos "
        "listed,\n"
        "         photo_cut.jpg and no_data.jpg not listed\n");
    std::printf("the chooser over all %zu files, %.1f MB in all\n", files.size(), bytes / 1e6);
    std::fflush(stdout);
    bool allOk = true;
    if (!withBombs) {
        std::printf("  skipped (--no-bombs):%s\n", bombs.c_str());
    } else if (!(allOk = RunChooser(argv[0], all, timeout))) {
        std::printf(
            "  => these pictures claiming gigapixels could not be listed within the limit:%s\n",
            bombs.c_str());
    }
    std::printf("the chooser over the photos, the cut photo and the JPEG without data\n");
    std::fflush(stdout);
    const bool realOk = RunChooser(argv[0], real, timeout);
    std::error_code ec;
    std::filesystem::remove_all(all, ec);
    std::filesystem::remove_all(real, ec);
    return allOk && realOk ? 0 : 1;
}
