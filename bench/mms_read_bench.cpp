// Reads a 300 KB message of 100 parts a thousand times and prints the rate in
// megabytes (10^6 bytes) per second, unpacking included.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_editor.h"
#include "message_editor.h"
#include "mms_maker.h"
#include "page_model.h"
#include "string_list.h"

namespace fs = std::filesystem;

int main() {
    const std::string root = NewBenchFolder("quilmar-read-bench");
    const std::string src = root + "src/", temp = root + "temp/";
    fs::create_directory(src);
    fs::create_directory(temp);

    // 33 pages of picture, text and sound: 99 parts plus the SMIL document.
    Zero rng;
    TMmsMaker writer(rng, src);
    writer.SetSmilHead("<head></head>");
    writer.FSubject = "bench";
    std::string picture(5100, 'P'), sound(3600, 'S'), text(300, 't');
    for (int i = 0; i < 33; ++i) {
        const std::string n = std::to_string(i);
        WriteFileBytes(src + "p" + n + ".jpg", picture);
        WriteFileBytes(src + "s" + n + ".mp3", sound);
        WriteFileBytes(src + "t" + n + ".txt", text);
        writer.FPages.Items.push_back(std::make_unique<TPageModel>(&writer.FPages));
        writer.FPages.Items.back()->SetMedia(src + "t" + n + ".txt", src + "p" + n + ".jpg",
                                             src + "s" + n + ".mp3", "", 0);
    }
    const std::string message = root + "bench.mms";
    writer.MakeMms(message);
    const auto size = fs::file_size(message);

    TMmsMaker reader(rng, temp);
    Editor editor(reader);
    constexpr int kRuns = 1000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRuns; ++i) reader.LoadMms(message, editor);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("mms_read: message %llu bytes, %d parts, %d pages\n",
                static_cast<unsigned long long>(size), writer.CountParts() + 1,
                reader.FPages.Count());
    std::printf("mms_read: %d reads in %.3f s: %.1f MB/s, %.3f ms per read\n", kRuns, secs,
                static_cast<double>(size) * kRuns / secs / 1e6, secs * 1000.0 / kRuns);
    fs::remove_all(root);
    return reader.FPages.Count() == 33 ? 0 : 1;
}
