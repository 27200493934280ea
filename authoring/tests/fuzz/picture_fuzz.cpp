// libFuzzer target for one picture format (QUILMAR_FUZZ_EXT, such as ".png"):
// every input is written as a file of that kind and goes the ways the program
// takes pictures: the chooser's thumbnail and the page's reduced picture (read
// from the file), the re-encoders' decode from bytes where the make's budget lets
// it through, and the make's re-encoding in modes 2 and 3 as a page's picture.
// A refusal is an answer; a sanitizer report, a crash, a file changed or left
// behind, or memory beyond the fuzzer's limit is a finding.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "chooser_rules.h"
#include "fuzz_folders.h"
#include "mms_maker.h"
#include "picture_codecs.h"
#include "picture_header.h"
#include "picture_recode.h"
#include "string_list.h"

namespace fs = std::filesystem;

namespace {

class Random : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t n) override { return n / 2; }
};

TFuzzFolders& Dirs() {
    static TFuzzFolders f("in" QUILMAR_FUZZ_EXT);
    return f;
}

// The claimed sizes up to which the reduced paths (thumbnail, page) and the whole
// ones (decode, re-encoding) are taken.
constexpr int64_t kReducedPixels = int64_t(16) << 20, kWholePixels = int64_t(1) << 20;

template <typename F>
void Refusable(F f) {
    try {
        f();
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzFolders& d = Dirs();
    d.Begin(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Pictures go on by the size their header claims: every pixel costs time
    // under the sanitizers, and a large picture tells no more than a small one
    // while the fuzzer would spend its run on it. Beyond the larger bound only
    // the header and the make's budget are tried.
    int64_t pixels = 0;
    Refusable([&] {
        const TPictureHeader hd = ReadPictureHeader(d.Input);
        pixels = SaturatingProduct(hd.Width, hd.Height);
    });
    const bool reduced = pixels <= kReducedPixels, whole = pixels <= kWholePixels;
    for (int mode : {2, 3})
        Refusable([&] { CheckPictureBudget(d.Input, TPicEncodeSettings{mode, 176, 210, 80}); });
    if (reduced) {
        (void)LoadThumbnail(d.Input, 100, 100);
        Refusable([&] { (void)DecodePictureFile(d.Input, 240, 240); });
    }
    if (whole)
        Refusable([&] {
            if (PictureMemoryNeed(d.Input, TPicEncodeSettings{2, 0, 0, 80}) <= kPictureMemoryBudget)
                (void)DecodePicture(bytes, QUILMAR_FUZZ_EXT);
        });

    Random rng;
    for (int mode : {2, 3}) {
        if (!whole) break;
        TMmsMaker maker(rng, d.Temp.string() + "/");
        maker.FPicEncodeMode = mode;
        maker.FPicEncodeInfo = "176X210";
        maker.ParsePicEncodeInfo();
        std::string path = d.Input;
        Refusable([&] { (void)maker.RecodedPictureData(path); });
        // The page's own file stays as it was, and the fresh copies go again.
        if (ReadFileBytes(d.Input) != bytes) std::abort();
        if (!fs::is_empty(d.Temp)) std::abort();
    }
    for (const auto& e : fs::directory_iterator(d.Root))
        if (e.path().filename() != "temp" && e.path() != d.Input) std::abort();
    return 0;
}
