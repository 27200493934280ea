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

struct Folders {
    fs::path root, temp;
    std::string input;
    Folders() {
        // A memory file system where there is one: every run writes files.
        std::string tmpl = fs::is_directory("/dev/shm") ? "/dev/shm/quilmar-pfuzz-XXXXXX"
                                                        : "/tmp/quilmar-pfuzz-XXXXXX";
        root = mkdtemp(tmpl.data());
        temp = root / "temp";
        input = (root / ("in" QUILMAR_FUZZ_EXT)).string();
    }
    ~Folders() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Folders& Dirs() {
    static Folders f;
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
    Folders& d = Dirs();
    fs::remove_all(d.temp);
    fs::create_directory(d.temp);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteFileBytes(d.input, bytes);

    // Pictures go on by the size their header claims: every pixel costs time
    // under the sanitizers, and a large picture tells no more than a small one
    // while the fuzzer would spend its run on it. Beyond the larger bound only
    // the header and the make's budget are tried.
    int64_t pixels = 0;
    Refusable([&] {
        const TPictureHeader hd = ReadPictureHeader(d.input);
        pixels = SaturatingProduct(hd.Width, hd.Height);
    });
    const bool reduced = pixels <= kReducedPixels, whole = pixels <= kWholePixels;
    for (int mode : {2, 3})
        Refusable([&] { CheckPictureBudget(d.input, TPicEncodeSettings{mode, 176, 210, 80}); });
    if (reduced) {
        (void)LoadThumbnail(d.input, 100, 100);
        Refusable([&] { (void)DecodePictureFile(d.input, 240, 240); });
    }
    if (whole)
        Refusable([&] {
            if (PictureMemoryNeed(d.input, TPicEncodeSettings{2, 0, 0, 80}) <= kPictureMemoryBudget)
                (void)DecodePicture(bytes, QUILMAR_FUZZ_EXT);
        });

    Random rng;
    for (int mode : {2, 3}) {
        if (!whole) break;
        TMmsMaker maker(rng, d.temp.string() + "/");
        maker.FPicEncodeMode = mode;
        maker.FPicEncodeInfo = "176X210";
        maker.ParsePicEncodeInfo();
        std::string path = d.input;
        Refusable([&] { (void)maker.RecodedPictureData(path); });
        // The page's own file stays as it was, and the fresh copies go again.
        if (ReadFileBytes(d.input) != bytes) std::abort();
        if (!fs::is_empty(d.temp)) std::abort();
    }
    for (const auto& e : fs::directory_iterator(d.root))
        if (e.path().filename() != "temp" && e.path() != d.input) std::abort();
    return 0;
}
