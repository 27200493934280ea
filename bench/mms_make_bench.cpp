// Builds a 20-page message (each page a 2 KB text, a 30 KB picture, a 20 KB sound;
// pictures packed as they are) 1,000 times, and compares the time with just reading
// the same part files and writing one file of the message's size.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "bench_support.h"
#include "mms_maker.h"
#include "string_list.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string RandomBytes(std::mt19937& gen, size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string dir = NewBenchFolder("quilmar-bench");
    std::mt19937 gen(42);

    TClockRandom rng;
    TMmsMaker maker(rng, dir);
    maker.SetSmilHead("<head><layout></layout></head>");
    TStringList partFiles;
    for (int i = 0; i < 20; ++i) {
        auto page = std::make_unique<TPageModel>(&maker.FPages);
        std::string text(2048, 'a' + static_cast<char>(i));
        std::string t = dir + "t" + std::to_string(i) + ".txt";
        std::string p = dir + "p" + std::to_string(i) + ".jpg";
        std::string a = dir + "a" + std::to_string(i) + ".mp3";
        WriteFileBytes(t, text);
        WriteFileBytes(p, RandomBytes(gen, 30 * 1024));
        WriteFileBytes(a, RandomBytes(gen, 20 * 1024));
        page->SetMedia(t, p, a, "", 0);
        partFiles.insert(partFiles.end(), {t, p, a});
        maker.FPages.Items.push_back(std::move(page));
    }

    const std::string out = dir + "out.mms";
    maker.MakeMms(out);
    const double size = static_cast<double>(std::filesystem::file_size(out));

    auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) maker.MakeMms(out);
    const double make = Seconds(std::chrono::steady_clock::now() - t0);

    // The floor: read every part file once and write one file of the same size.
    t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        std::string all;
        all.reserve(static_cast<size_t>(size));
        for (const auto& f : partFiles) all += ReadFileBytes(f);
        all.resize(static_cast<size_t>(size));
        WriteFileAtomically(dir + "copy.mms", all);
    }
    const double copy = Seconds(std::chrono::steady_clock::now() - t0);

    std::printf("message: %.0f bytes, %d pages, %d rounds\n", size, 20, rounds);
    std::printf("make:    %.3f ms per message, %.1f MB/s written\n", make * 1000 / rounds,
                size * rounds / make / 1e6);
    std::printf("floor:   %.3f ms per message (read parts, write one file)\n", copy * 1000 / rounds);
    std::printf("ratio:   %.2f (target: at most 2.00)\n", make / copy);
    std::filesystem::remove_all(dir);
    return 0;
}
