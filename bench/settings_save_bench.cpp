// Saves and loads a settings file of about 8 MB (lines the program does not know
// kept around the 28 keys) and prints the time of a save, of a load, and the peak
// memory, against the target of at most 0.5 s per save.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "ini_profile.h"
#include "mms_maker.h"
#include "settings_store.h"
#include "string_list.h"
#include "text_codec.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// About `bytes` of lines: in their own section, or inside "mms" among the keys.
std::string BigFile(size_t bytes, bool insideMms, bool utf8) {
    auto own = [&](const std::string& t) { return utf8 ? t : Utf8ToCp936(t); };
    std::string s = (utf8 ? "\xEF\xBB\xBF" : "") + own("[mms]\r\nmmsSubject=问候\r\n");
    if (!insideMms) s += "[notes]\r\n";
    const std::string note = own("=备注，程序不认识的行，原样保留\r\n");
    for (int i = 0; s.size() < bytes; ++i) s += "note" + std::to_string(i) + note;
    return s;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string dir = NewBenchFolder("quilmar-settings-bench");
    const std::string path = dir + TSettingsStore::kFileName;
    std::printf("settings save of an 8 MB mms.ini, %d rounds each, median\n", rounds);
    struct Case {
        const char* name;
        bool insideMms, utf8;
    } cases[] = {
        {"ANSI, unknown lines in another section", false, false},
        {"ANSI, unknown lines inside [mms]", true, false},
        {"UTF-8 with its mark, lines inside [mms]", true, true},
    };
    bool met = true;
    for (const Case& c : cases) {
        WriteFileBytes(path, BigFile(8u << 20, c.insideMms, c.utf8));
        TClockRandom rng;
        TMmsMaker maker(rng, dir);
        TMmsSettings settings;
        TSettingsStore store(path, maker, settings);
        std::vector<double> saves, loads;
        for (int r = 0; r < rounds; ++r) {
            auto t0 = std::chrono::steady_clock::now();
            store.LoadSettings();
            loads.push_back(Seconds(std::chrono::steady_clock::now() - t0));
            maker.FTo = "1380000" + std::to_string(r);
            t0 = std::chrono::steady_clock::now();
            store.SaveSettings();
            saves.push_back(Seconds(std::chrono::steady_clock::now() - t0));
        }
        const double save = Median(saves);
        met = met && save <= 0.5;
        std::printf("  %-42s file %5.2f MB  save %6.3f s (target <= 0.5 s: %s)  load %6.3f s\n",
                    c.name, static_cast<double>(std::filesystem::file_size(path)) / (1 << 20), save,
                    save <= 0.5 ? "met" : "MISSED", Median(loads));
    }
    // For comparison: the same keys written one at a time, each its own rewrite.
    {
        WriteFileBytes(path, BigFile(8u << 20, true, false));
        TIniProfile ini(path);
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < 28; ++k) ini.WriteString("mms", "key" + std::to_string(k), "1");
        std::printf("  for comparison, 28 keys written one by one: %.3f s\n",
                    Seconds(std::chrono::steady_clock::now() - t0));
    }
    std::printf("peak memory %ld KiB\n", PeakKiB());
    std::filesystem::remove_all(dir);
    return met ? 0 : 1;
}
