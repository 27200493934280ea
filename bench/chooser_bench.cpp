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
#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <array>
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
#include "picture_codecs.h"
#include "string_list.h"

extern char** environ;

namespace {

// The chooser's process may not map more than this: a decoder that would need more
// fails its allocation instead of taking the machine.
constexpr rlim_t kAddressLimit = 4000000000;

// ---- the files ----

std::string Be16(int v) { return {char((v >> 8) & 0xFF), char(v & 0xFF)}; }
std::string Le16(int v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(int(v & 0xFFFF)) + Le16(int(v >> 16)); }
std::string Be32(uint32_t v) { return Be16(int(v >> 16)) + Be16(int(v & 0xFFFF)); }

std::string JpegSegment(int marker, const std::string& payload) {
    return std::string{char(0xFF), char(marker)} + Be16(int(payload.size()) + 2) + payload;
}
std::string Quant() { return JpegSegment(0xDB, std::string(1, '\0') + std::string(64, '\1')); }
// One code of one bit, for symbol 0: enough tables for a scan without data.
std::string Huffman(int classAndId) {
    std::string counts(16, '\0');
    counts[0] = 1;
    return JpegSegment(0xC4, std::string(1, char(classAndId)) + counts + std::string(1, '\0'));
}
std::string Frame(int marker, int w, int h, int comps) {
    std::string p = std::string(1, '\x08') + Be16(h) + Be16(w) + char(comps);
    for (int c = 1; c <= comps; ++c) p += std::string{char(c), '\x11', '\0'};
    return JpegSegment(marker, p);
}
std::string Scan(int comps, int ss, int se, int ahAl) {
    std::string p(1, char(comps));
    for (int c = 1; c <= comps; ++c) p += std::string{char(c), '\0'};
    return JpegSegment(0xDA, p + char(ss) + char(se) + char(ahAl));
}
const std::string kSoi = "\xFF\xD8", kEoi = "\xFF\xD9";

std::string CmykProgressiveWithoutData() {
    const std::string adobe = std::string("Adobe") + Be16(100) + Be16(0) + Be16(0) + '\0';
    return kSoi + JpegSegment(0xEE, adobe) + Quant() + Huffman(0x00) +
           Frame(0xC2, 16384, 16384, 4) + Scan(4, 0, 0, 0) + kEoi;
}

std::string GreyOfManyEmptyScans(int scans) {
    std::string s = kSoi + Quant() + Huffman(0x00) + Huffman(0x10) + Frame(0xC2, 16384, 16384, 1) +
                    Scan(1, 0, 0, 0);
    for (int i = 1; i < scans; ++i) s += Scan(1, 1, 63, 0);
    return s + kEoi;
}

std::string BaselineWithoutData() {
    return kSoi + Quant() + Huffman(0x00) + Huffman(0x10) + Frame(0xC0, 16384, 16384, 1) +
           Scan(1, 0, 0, 0) + kEoi;
}

// A screen of w x h, two black-and-white colours, and frames given as their
// descriptors' sizes; each frame holds only the start of its data.
std::string Gif(int w, int h, const std::vector<std::array<int, 2>>& frames) {
    std::string s = "GIF89a" + Le16(w) + Le16(h) + "\x80" + std::string(2, '\0') +
                    std::string(3, '\0') + std::string(3, '\xFF');
    for (const auto& f : frames)
        s += "\x2C" + Le16(0) + Le16(0) + Le16(f[0]) + Le16(f[1]) + std::string(1, '\0') +
             "\x02\x02\x44\x01" + std::string(1, '\0');
    return s + "\x3B";
}

uint32_t Crc32(const std::string& data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    return Be32(uint32_t(data.size())) + type + data + Be32(Crc32(type + data));
}

// A black 1-bit grey PNG, plain or interlaced (Adam7): all its rows are zeros.
std::string OneColourPng(int w, int h, bool interlaced) {
    size_t raw = 0;
    auto rows = [&](int pw, int ph) {
        if (pw > 0 && ph > 0) raw += size_t(ph) * (1 + (size_t(pw) + 7) / 8);
    };
    if (!interlaced) {
        rows(w, h);
    } else {
        const int pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : pass) rows((w - p[0] + p[2] - 1) / p[2], (h - p[1] + p[3] - 1) / p[3]);
    }
    // qCompress gives a zlib stream after a 4-byte length of its own.
    const QByteArray z = qCompress(QByteArray(qsizetype(raw), '\0'), 9).mid(4);
    const std::string ihdr = Be32(uint32_t(w)) + Be32(uint32_t(h)) + "\x01" + std::string(3, '\0') +
                             char(interlaced ? 1 : 0);
    return "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", ihdr) + PngChunk("IDAT", z.toStdString()) +
           PngChunk("IEND", "");
}

// An RLE8 bitmap whose data ends at once: the end-of-bitmap code alone.
std::string Rle8BmpEndingAtOnce(int w, int h) {
    const uint32_t offset = 14 + 40 + 1024;
    const std::string data = std::string("\x00\x01", 2);
    std::string s = "BM" + Le32(offset + uint32_t(data.size())) + Le32(0) + Le32(offset);
    s += Le32(40) + Le32(uint32_t(w)) + Le32(uint32_t(h)) + Le16(1) + Le16(8) + Le32(1) +
         Le32(uint32_t(data.size())) + Le32(2835) + Le32(2835) + Le32(256) + Le32(0);
    for (int i = 0; i < 256; ++i) s += std::string{char(i), char(i), char(i), '\0'};
    return s + data;
}

// A photo whose scan data stops after a third, followed by an end marker.
std::string CutPhoto() {
    const std::string jpeg = EncodeJpeg(PhotoLike(640, 480, 3), 85);
    const size_t sos = jpeg.find("\xFF\xDA");
    const size_t keep = sos + (jpeg.size() - sos) / 3;
    return jpeg.substr(0, keep) + kEoi;
}

struct TFile {
    std::string Name;
    std::string Bytes;
    bool Bomb;  // claims a picture of gigapixels
};

std::vector<TFile> Files() {
    return {
        {"photo1.jpg", EncodeJpeg(PhotoLike(4000, 3000, 0), 85), false},
        {"photo2.jpg", EncodeJpeg(PhotoLike(4000, 3000, 1), 85), false},
        {"photo_cut.jpg", CutPhoto(), false},
        {"no_data.jpg", BaselineWithoutData(), false},
        {"gif_screen.gif", Gif(16384, 16384, {{1, 1}}), true},
        {"gif_frames.gif", Gif(1, 1, {{65535, 32767}, {65535, 32767}}), true},
        {"cmyk_nodata.jpg", CmykProgressiveWithoutData(), true},
        {"empty_scans.jpg", GreyOfManyEmptyScans(10000), true},
        {"one_colour_16384.png", OneColourPng(16384, 16384, false), true},
        {"one_colour_20000.png", OneColourPng(20000, 13000, false), true},
        {"one_colour_20000_interlaced.png", OneColourPng(20000, 13000, true), true},
        {"rle8_ends.bmp", Rle8BmpEndingAtOnce(16384, 16384), true},
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
    std::printf("  peak memory (ru_maxrss):         %8.1f MB\n", ru.ru_maxrss / 1024.0);
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
