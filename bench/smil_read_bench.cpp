// The SMIL walk's time per MB on a crafted document ("<par", then "src" over and
// over, one quote at the end) and on a plain one of the program's own "par"
// elements, both of 307,000 bytes; and the whole read of a message of 307,000 bytes
// whose SMIL part is the crafted document, against the target of 0.1 s. Beside each,
// interleaved with it, a reference that only finds every "<" of the same bytes: the
// least a reader of the document pays. Medians of the rounds, with the lowest and
// highest round as the spread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "message_editor.h"
#include "mms_maker.h"
#include "own_pages_editor.h"
#include "page_model.h"
#include "smil_body.h"

namespace {

constexpr size_t kDocBytes = 307000;

std::string Crafted(size_t bytes) {
    std::string s = "<par";
    while (s.size() + 3 < bytes) s += "src";
    s.resize(bytes - 1, ' ');
    return s + "\"";
}

std::string Plain(size_t bytes) {
    std::string s = "<smil><head></head><body>\r\n";
    for (int i = 0; s.size() < bytes - 100; ++i) {
        const std::string n = std::to_string(1000 + i % 9000);
        s += "<par dur=\"5000ms\">\r\n<img src=\"" + n +
             ".jpg\" region=\"image\"/>\r\n<text src=\"" + n +
             ".txt\" region=\"text\"/>\r\n</par>\r\n";
    }
    s += "</body></smil>\r\n";
    s.resize(bytes, ' ');
    return s;
}

size_t CountTags(const std::string& s) {
    size_t n = 0;
    for (const char* p = s.data();
         (p = static_cast<const char*>(std::memchr(p, '<', s.data() + s.size() - p))) != nullptr;
         ++p)
        ++n;
    return n;
}

double Seconds(const std::function<void()>& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Figures {
    double median, low, high;
};
Figures Of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

// Seconds times factor, in unit.
void Print(const char* what, const std::vector<double>& secs, double factor, const char* unit) {
    const Figures f = Of(secs);
    const double k = factor;
    std::printf("  %-44s %9.3f %s (spread %.3f .. %.3f)\n", what, f.median * k, unit, f.low * k,
                f.high * k);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::string crafted = Crafted(kDocBytes), plain = Plain(kDocBytes);
    const double perMb = 1000.0 / (static_cast<double>(kDocBytes) / 1e6);

    std::vector<double> walkCrafted, walkPlain, refCrafted, refPlain;
    size_t pagesCrafted = 0, pagesPlain = 0, tags = 0;
    for (int r = 0; r < rounds; ++r) {
        walkCrafted.push_back(Seconds([&] { pagesCrafted = SmilPages(crafted).size(); }));
        refCrafted.push_back(Seconds([&] { tags += CountTags(crafted); }));
        walkPlain.push_back(Seconds([&] { pagesPlain = SmilPages(plain).size(); }));
        refPlain.push_back(Seconds([&] { tags += CountTags(plain); }));
    }
    std::printf(
        "SMIL walk, documents of %zu bytes, %d rounds, median (spread: lowest .. highest)\n",
        kDocBytes, rounds);
    Print("crafted \"<par\" + \"src\"...: walk", walkCrafted, perMb, "ms/MB");
    Print("crafted: reference (find every \"<\")", refCrafted, perMb, "ms/MB");
    Print("plain, program's own pars: walk", walkPlain, perMb, "ms/MB");
    Print("plain: reference (find every \"<\")", refPlain, perMb, "ms/MB");
    std::printf("  pages: crafted %zu, plain %zu\n", pagesCrafted, pagesPlain);

    // The whole read of a message of 307,000 bytes whose SMIL part is the crafted
    // document, and of the same message whose SMIL part is one "par".
    const std::string root = NewBenchFolder("quilmar-smil-bench");
    const std::string temp = root + "temp/";
    std::filesystem::create_directory(temp);
    TZeroRandom rng;
    auto message = [&](const std::string& smil) {
        TMmsMaker writer(rng, root);
        writer.WriteHeader();
        writer.FOut += TMmsMaker::EncodeUintvar(2);
        WriteFileBytes(root + "s.smil", smil);
        WriteFileBytes(root + "t.txt", "words");
        writer.AddPart(root + "s.smil", "0000.smil", false);
        writer.AddPart(root + "t.txt", "0001.txt", false);
        return writer.FOut;
    };
    // The SMIL part's size for a message of kDocBytes: the lengths' own bytes grow
    // with it.
    size_t smilBytes = kDocBytes - message("").size();
    smilBytes -= message(std::string(smilBytes, ' ')).size() - kDocBytes;
    const std::string craftedPath = root + "crafted.mms", onePath = root + "one.mms";
    WriteFileBytes(craftedPath, message(Crafted(smilBytes)));
    const std::string one = "<par dur=\"5000ms\"><text src=\"0001.txt\"/></par>";
    WriteFileBytes(onePath, message(one + std::string(smilBytes - one.size(), ' ')));
    TMmsMaker reader(rng, temp);
    TOwnPagesEditor editor(reader);
    std::vector<double> readCrafted, readOne;
    for (int r = 0; r < rounds; ++r) {
        readCrafted.push_back(Seconds([&] { reader.LoadMms(craftedPath, editor); }));
        readOne.push_back(Seconds([&] { reader.LoadMms(onePath, editor); }));
    }
    const Figures f = Of(readCrafted);
    std::printf("whole read of a %ju-byte message, median (spread)\n",
                static_cast<uintmax_t>(std::filesystem::file_size(craftedPath)));
    Print("SMIL part crafted", readCrafted, 1000.0, "ms");
    Print("reference: SMIL part one par and blanks", readOne, 1000.0, "ms");
    std::printf("  target: crafted file under 100 ms: %s\n", f.median < 0.1 ? "met" : "MISSED");
    std::filesystem::remove_all(root);
    return f.median < 0.1 && tags > 0 ? 0 : 1;
}
