// Batch making: 10,000 addresses, one To each, over a 3-page message in picture
// mode 1 (pictures packed as they are). Prints files per second and the peak
// resident memory after a batch of 1,000 and after each of three batches of 10,000: beyond
// the address list itself, the figure must not grow with the number of files.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "batch_make.h"
#include "bench_support.h"
#include "mms_maker.h"
#include "string_list.h"

namespace {

void RunBatch(TMessageMake& make, const std::string& addressFile, int count) {
    TStringList addresses;
    for (int i = 0; i < count; ++i) addresses.push_back(std::to_string(13800000000LL + i));
    SaveStringList(addressFile, addresses);
    TMakeInput input{"<smil><head><layout><root-layout width=\"240\" height=\"320\"/></layout></head>",
                     true, "1", "0", "0", addressFile, "问候"};
    const auto start = std::chrono::steady_clock::now();
    TMakeResult r = make.SBNewmmsClick(input);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("batch of %6d: %d files in %.2f s, %.0f files/s, peak resident %ld KiB\n", count,
                r.Made, s, r.Made / s, PeakKiB());
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const std::string root = NewBenchFolder("quilmar-batch-bench");
    const std::string work = root + "work/", out = root + "out/";
    fs::create_directory(work);
    fs::create_directory(out);

    TClockRandom rng;
    TMmsMaker maker(rng, work);
    maker.FPicEncodeMode = 1;
    for (int p = 0; p < 3; ++p) {
        const std::string n = std::to_string(p);
        WriteFileBytes(work + "t" + n + ".txt", std::string(300, 'a' + p));
        WriteFileBytes(work + "p" + n + ".jpg", std::string(20000, static_cast<char>(p)));
        WriteFileBytes(work + "a" + n + ".mid", std::string(4000, static_cast<char>(p)));
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages[p]->SetMedia(work + "t" + n + ".txt", work + "p" + n + ".jpg",
                                  work + "a" + n + ".mid", "", 5);
    }
    TMmsSettings settings;
    settings.MmsMaxSize = 1000;
    settings.MmsOutFormat = "随机数字_彩信主题";
    SilentQuestions questions;
    TMessageMake make(maker, settings, out, questions, {});

    RunBatch(make, root + "a1000.txt", 1000);
    for (int i = 0; i < 3; ++i) RunBatch(make, root + "a10000.txt", 10000);

    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
