// The message reader's speed and memory.
// Speed: reads a 300 KB message of 100 parts, unpacking included, against the floor
// of the same work (read the file whole, write each part's bytes to a file of its
// own), in interleaved rounds; medians with their spread (lowest to highest).
// Memory: each of two large autosaves read at start-up in a process of its own (a
// 100 MiB text part; 50 pages of 3 MB photos), its peak above an idle process's
// against the file's size (targets: the photos at most the file's size plus 100 MB;
// the text, which is converted and stored anew, at most twice its size).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_runs.h"
#include "bench_support.h"
#include "message_editor.h"
#include "mms_maker.h"
#include "own_pages_editor.h"
#include "page_model.h"
#include "string_list.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A message of pages made from the given files (text, picture, sound; "" for none).
void WriteMessage(const std::string& src, const std::string& path,
                  const std::vector<std::array<std::string, 3>>& pages) {
    TZeroRandom rng;
    TMmsMaker writer(rng, src);
    writer.SetSmilHead("<head></head>");
    writer.FSubject = "bench";
    for (const auto& p : pages) {
        writer.FPages.Items.push_back(std::make_unique<TPageModel>(&writer.FPages));
        writer.FPages.Items.back()->SetMedia(p[0], p[1], p[2], "", 0);
    }
    writer.MakeMms(path, kMaxAutosaveSize);
}

// The child's part: reads the autosave at path (none: only starts) and prints its
// peak in KiB.
int ReadOnce(const std::string& path, const std::string& temp) {
    if (path != "none") {
        TZeroRandom rng;
        TMmsMaker reader(rng, temp);
        TOwnPagesEditor editor(reader);
        SilentQuestions q;
        ReadAutosave(reader, path, q, [&] { reader.LoadMms(path, editor); });
        if (!reader.FMessageRead) return 1;
    }
    std::printf("%ld\n", OwnPeakKiB());
    return 0;
}

// Runs this program on path in a process of its own; its peak in KiB (-1 on failure).
long PeakOfRead(const char* self, const std::string& path, const std::string& temp) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execl(self, self, "--read", path.c_str(), temp.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[64] = {};
    const ssize_t n = read(fds[0], buf, sizeof(buf) - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::atol(buf);
}

void SpeedOfReads(const std::string& root) {
    const std::string src = root + "src/", temp = root + "temp/", floor = root + "floor/";
    for (const auto& d : {src, temp, floor}) fs::create_directory(d);
    // 33 pages of picture, text and sound: 99 parts plus the SMIL document.
    std::vector<std::array<std::string, 3>> pages;
    std::vector<std::string> partBytes;
    const std::string picture(5100, 'P'), sound(3600, 'S'), text(300, 't');
    for (int i = 0; i < 33; ++i) {
        const std::string n = std::to_string(i);
        pages.push_back({src + "t" + n + ".txt", src + "p" + n + ".jpg", src + "s" + n + ".mp3"});
        WriteFileBytes(pages.back()[0], text);
        WriteFileBytes(pages.back()[1], picture);
        WriteFileBytes(pages.back()[2], sound);
        partBytes.insert(partBytes.end(), {text, picture, sound});
    }
    const std::string message = root + "bench.mms";
    WriteMessage(src, message, pages);
    const auto size = fs::file_size(message);

    TZeroRandom rng;
    TMmsMaker reader(rng, temp);
    TOwnPagesEditor editor(reader);
    constexpr int kRounds = 9, kReads = 100;
    std::vector<double> ours, theirs;
    for (int r = 0; r < kRounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kReads; ++i) reader.LoadMms(message, editor);
        ours.push_back(Seconds(std::chrono::steady_clock::now() - t0) * 1000.0 / kReads);
        t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kReads; ++i) {
            const std::string all = ReadFileBytes(message);
            size_t at = 0;
            for (size_t k = 0; k < partBytes.size(); ++k) {
                const size_t n = std::min(partBytes[k].size(), all.size() - at);
                WriteNewFile(floor + std::to_string(k) + ".part",
                             std::string_view(all).substr(at, n));
                at += n;
            }
        }
        theirs.push_back(Seconds(std::chrono::steady_clock::now() - t0) * 1000.0 / kReads);
    }
    const TSpread o = SpreadOf(ours), t = SpreadOf(theirs);
    std::printf("mms_read: message %llu bytes, %zu parts, %d pages; %d rounds of %d reads\n",
                static_cast<unsigned long long>(size), partBytes.size() + 1, reader.FPages.Count(),
                kRounds, kReads);
    std::printf("  LoadMms:              %7.3f ms per read (%.3f-%.3f), %.1f MB/s\n", o.Median,
                o.Min, o.Max, static_cast<double>(size) / o.Median / 1e3);
    std::printf("  floor (read, write):  %7.3f ms per read (%.3f-%.3f)\n", t.Median, t.Min, t.Max);
    std::printf("  ratio:                %7.2f\n", o.Median / t.Median);
}

void PeaksOfLargeAutosaves(const char* self, const std::string& root) {
    const std::string src = root + "big/", temp = root + "bigtemp/";
    fs::create_directory(src);
    fs::create_directory(temp);
    struct TCase {
        const char* what;
        std::string path;
        double times, plusMiB;  // the target: times the file's size, plus MiB
    };
    std::vector<TCase> cases;
    {
        // 100 MiB of Chinese lines, kept as ANSI text like a page's own.
        std::string line = Utf8ToCp936("短信内容：周末一起去公园散步，顺便拍些照片。\r\n");
        std::string text;
        text.reserve(100u << 20);
        while (text.size() + line.size() <= (100u << 20)) text += line;
        WriteFileBytes(src + "t.txt", text);
        cases.push_back({"one text part of 100 MiB", root + "text.mms", 2, 0});
        WriteMessage(src, cases.back().path, {{src + "t.txt", "", ""}});
    }
    {
        std::mt19937 gen(7);
        std::vector<std::array<std::string, 3>> pages;
        for (int i = 0; i < 50; ++i) {
            std::string photo(3u << 20, '\0');
            for (auto& c : photo) c = static_cast<char>(gen());
            pages.push_back({"", src + "p" + std::to_string(i) + ".jpg", ""});
            WriteFileBytes(pages.back()[1], photo);
        }
        cases.push_back({"50 pages of 3 MB photos", root + "photos.mms", 1, 100});
        WriteMessage(src, cases.back().path, pages);
    }
    constexpr int kRuns = 3;
    std::vector<double> idle;
    std::vector<std::vector<double>> peaks(cases.size());
    for (int r = 0; r < kRuns; ++r) {
        idle.push_back(static_cast<double>(PeakOfRead(self, "none", temp)));
        for (size_t c = 0; c < cases.size(); ++c)
            peaks[c].push_back(static_cast<double>(PeakOfRead(self, cases[c].path, temp)));
    }
    const TSpread base = SpreadOf(idle);
    std::printf("autosave read at start-up, peak above an idle process (%.0f KiB), %d runs:\n",
                base.Median, kRuns);
    for (size_t c = 0; c < cases.size(); ++c) {
        const TSpread p = SpreadOf(peaks[c]);
        const double file = static_cast<double>(fs::file_size(cases[c].path)) / (1 << 20);
        const double above = (p.Median - base.Median) / 1024;
        std::printf("  %-26s file %6.1f MiB, peak %7.1f MiB (%.1f-%.1f), target <= %.1f MiB\n",
                    cases[c].what, file, above, (p.Min - base.Median) / 1024,
                    (p.Max - base.Median) / 1024, file * cases[c].times + cases[c].plusMiB);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--read") == 0) return ReadOnce(argv[2], argv[3]);
    const std::string root = NewBenchFolder("quilmar-read-bench");
    SpeedOfReads(root);
    if (!(argc > 1 && std::strcmp(argv[1], "--speed") == 0)) PeaksOfLargeAutosaves(argv[0], root);
    fs::remove_all(root);
    return 0;
}
