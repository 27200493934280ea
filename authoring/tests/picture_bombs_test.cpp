// Pictures that claim far more than they hold, and pictures whose data is cut or
// garbled: each is decoded within what it shows or refused, in the chooser, on
// the page and in the make.
#include "picture_bombs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "chooser_rules.h"
#include "mms_maker.h"
#include "picture_codecs.h"
#include "picture_recode.h"
#include "picture_test_support.h"
#include "shared_procs.h"
#include "thumbnail_maker.h"
#include "test_support.h"

namespace {

std::string PngOf(const QImage& img, bool interlaced) {
    TPngLayout l;
    l.W = img.width(), l.H = img.height(), l.Interlaced = interlaced;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            l.Samples.insert(l.Samples.end(),
                             {uint16_t(qRed(p)), uint16_t(qGreen(p)), uint16_t(qBlue(p))});
        }
    return PngFile(l);
}

// A GIF of the picture's colours (at most a few), one frame.
std::string GifOf(const QImage& img) {
    std::vector<QRgb> table;
    std::vector<GifPixelType> pixels;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y) | 0xFF000000;
            auto it = std::find(table.begin(), table.end(), p);
            if (it == table.end()) it = table.insert(table.end(), p);
            pixels.push_back(static_cast<GifPixelType>(it - table.begin()));
        }
    std::vector<GifColorType> colors(8, GifColorType{0, 0, 0});
    for (size_t i = 0; i < table.size(); ++i)
        colors[i] = GifColorType{GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])),
                                 GifByteType(qBlue(table[i]))};
    std::string out;
    GifFileType* gif = GifWriterTo(out);
    ColorMapObject* map = GifMakeMapObject(8, colors.data());
    EGifPutScreenDesc(gif, img.width(), img.height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, img.width(), img.height(), false, nullptr);
    for (int y = 0; y < img.height(); ++y)
        EGifPutLine(gif, pixels.data() + size_t(y) * img.width(), img.width());
    GifFreeMapObject(map);
    EGifCloseFile(gif, nullptr);
    return out;
}

bool Near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace

// ---- GIF: only the first frame, only on its screen ----

TEST(PictureBombs, GifFramesBeyondTheScreenAreNotDecoded) {
    TempFolder t;
    const struct Case {
        const char* name;
        std::string bytes;
        QSize screen;
        int frames;
        QColor at00;
    } cases[] = {
        // A 16384 x 16384 screen with one 1 x 1 frame: the picture is the screen,
        // white but for the frame's pixel.
        {"screen.gif", bombs::GifScreen(16384, 16384), QSize(16384, 16384), 1, QColor(255, 0, 0)},
        // A 2 x 1 screen, two frames claiming 65535 x 32767 whose data covers two
        // rows: the first is read as far as the screen goes, the second skipped.
        {"frames.gif", bombs::GifFrames(2, 1, 2, 65535, 2, 32767), QSize(2, 1), 2,
         QColor(0, 0, 255)},
    };
    for (const auto& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        QSize screen;
        const TGifPicture reduced = DecodeGifFile(path, 100, 100, &screen);
        EXPECT_EQ(reduced.Frames, c.frames) << c.name;
        EXPECT_EQ(screen, c.screen) << c.name;
        // Reduced toward the 100 x 100 box, never below it.
        EXPECT_LE(reduced.First.width(), std::max(200, 2)) << c.name;
        EXPECT_GE(reduced.First.width(), std::min(100, c.screen.width())) << c.name;
        if (c.screen.width() <= 2) {
            const TGifPicture whole = DecodeGif(c.bytes);
            EXPECT_EQ(whole.Frames, c.frames) << c.name;
            ASSERT_EQ(whole.First.size(), c.screen) << c.name;
            EXPECT_EQ(whole.First.pixelColor(0, 0), c.at00) << c.name;
            EXPECT_EQ(whole.First.pixelColor(1, 0), c.at00) << c.name;
        }
        EXPECT_TRUE(LoadThumbnail(path, 100, 100)) << c.name;
    }
    // The screen bomb's one pixel is red, the rest white: a thumbnail of white.
    auto thumb = LoadThumbnail(t.Path() + "screen.gif", 100, 100);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->pixelColor(50, 50), QColor(Qt::white));
}

// A frame of one colour (blue, index 1) at (left, top) on a sw x sh screen.
std::string GifOneFrameAt(int sw, int sh, int left, int top, int w, int h, bool interlaced) {
    std::string out;
    GifFileType* gif = GifWriterTo(out);
    GifColorType colors[2] = {{255, 0, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(2, colors);
    EGifPutScreenDesc(gif, sw, sh, 8, 0, map);
    EGifPutImageDesc(gif, left, top, w, h, interlaced, nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(w), 1);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, line.data(), w);
    GifFreeMapObject(map);
    EGifCloseFile(gif, nullptr);
    return out;
}

// A first frame reaching past the screen's edges is clipped to the screen, in
// both the whole and the reduced decode; one wholly off it leaves the screen white.
TEST(PictureBombs, GifFrameIsClippedToTheScreen) {
    TempFolder t;
    const struct Case {
        const char* name;
        std::string bytes;
        QRect blue;  // on the 9 x 7 screen
    } cases[] = {
        {"inside.gif", GifOneFrameAt(9, 7, 2, 1, 3, 4, false), QRect(2, 1, 3, 4)},
        {"right.gif", GifOneFrameAt(9, 7, 6, 2, 300, 3, false), QRect(6, 2, 3, 3)},
        {"below.gif", GifOneFrameAt(9, 7, 1, 4, 4, 200, true), QRect(1, 4, 4, 3)},
        {"corner.gif", GifOneFrameAt(9, 7, 5, 3, 700, 900, true), QRect(5, 3, 4, 4)},
        {"off.gif", GifOneFrameAt(9, 7, 9, 7, 20, 20, true), QRect()},
        {"offright.gif", GifOneFrameAt(9, 7, 40, 0, 5, 5, false), QRect()},
    };
    for (const auto& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        const QImage whole = DecodePictureFile(path);
        ASSERT_EQ(whole.size(), QSize(9, 7)) << c.name;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(whole.pixelColor(x, y),
                          c.blue.contains(x, y) ? QColor(0, 0, 255) : QColor(Qt::white))
                    << c.name << " at " << x << "," << y;
        EXPECT_EQ(MaxDiff(whole, DecodePicture(c.bytes, ".gif")), 0) << c.name;
        EXPECT_TRUE(LoadThumbnail(path, 3, 3)) << c.name;
    }
}

// ---- libjpeg's limits and its corrupt-data warnings ----

TEST(PictureBombs, JpegScansBeyondTheCapAreRefused) {
    // Grey, every coefficient in a scan of its own, each refined twice: 192 scans.
    auto script = [](bool refine) {
        std::vector<jpeg_scan_info> s;
        for (int k = 0; k < 64; ++k) {
            if (!refine) {
                s.push_back(jpeg_scan_info{1, {0}, k, k, 0, 0});
                continue;
            }
            s.push_back(jpeg_scan_info{1, {0}, k, k, 0, 2});
            s.push_back(jpeg_scan_info{1, {0}, k, k, 2, 1});
            s.push_back(jpeg_scan_info{1, {0}, k, k, 1, 0});
        }
        return s;
    };
    const std::string within = bombs::SmallJpeg(16, 16, 1, true, script(false));
    const std::string beyond = bombs::SmallJpeg(16, 16, 1, true, script(true));
    EXPECT_EQ(DecodeJpeg(within).size(), QSize(16, 16));
    try {
        DecodeJpeg(beyond);
        ADD_FAILURE() << "192 scans decoded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("扫描超过"), std::string::npos) << e.what();
    }
}

TEST(PictureBombs, JpegWithDataMissingOrGarbledIsDamaged) {
    TempFolder t;
    const std::string photo = EncodeJpeg(bombs::Photo(64, 48), 90);
    std::string garbled = photo;
    // Scan data overwritten with a marker-free run that no Huffman table decodes.
    const size_t sos = bombs::FindMarker(photo, 0xDA);
    for (size_t i = sos + 40; i < garbled.size() - 40; ++i) garbled[i] = char(0xFE);
    const struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cut.jpg", bombs::CutWithEnd(photo, 1.0 / 3)},  // cut, then FF D9
        {"nodata.jpg", bombs::WithoutScanData(photo)},   // no scan data at all
        {"bigempty.jpg", bombs::ClaimSize(bombs::WithoutScanData(photo), 16384, 16384)},
        {"garbled.jpg", garbled},
        // Progressive CMYK of 16384 x 16384: its coefficients would take 2 GB.
        {"cmyk.jpg",
         bombs::ClaimSize(bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 4, true)), 16384, 16384)},
        // Grey progressive with 10,000 scans that hold nothing.
        {"scans.jpg",
         bombs::ClaimSize(bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 1, true), 10000), 4096,
                          4096)},
    };
    NineRandom rng;
    TMmsMaker maker{rng, t.Path()};
    maker.FPicEncodeMode = 3;
    maker.FPicEncodeInfo = "176X210";
    for (const auto& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        EXPECT_THROW(DecodeJpeg(c.bytes), std::runtime_error) << c.name;
        EXPECT_FALSE(LoadThumbnail(path, 100, 100)) << c.name;
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages.Items.back()->SetMedia("", path, "", "", 0);
        try {
            maker.MakeMms(t.Path() + "out.mms");
            ADD_FAILURE() << c.name << " made";
        } catch (const std::runtime_error& e) {
            // The reason names the page's own file, not the fresh copy that was decoded.
            EXPECT_NE(std::string(e.what()).find("无法解码图片 " + path + ":"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(t.Path() + "out.mms")) << c.name;
        EXPECT_EQ(ReadFileBytes(path), c.bytes) << c.name;
        maker.ClearPages();
    }
    // The whole photo, and one with extraneous bytes before its end marker (a
    // warning that loses no pixel), decode.
    EXPECT_EQ(DecodeJpeg(photo).size(), QSize(64, 48));
    const std::string padded = photo.substr(0, photo.size() - 2) + std::string("\0\0\xFF\xD9", 4);
    EXPECT_EQ(DecodeJpeg(padded).size(), QSize(64, 48));
}

// ---- the make's memory budget ----

TEST(PictureBombs, MakeRefusesAPictureBeyondTheBudgetWithItsReason) {
    TempFolder t;
    const std::string photo = EncodeJpeg(bombs::Photo(64, 48), 90);
    // Each file holds a header only (or data for a small part of what it
    // claims), so a make that gets past the budget still fails on the data.
    const struct Case {
        const char* name;
        std::string bytes;
        bool within2, within3;  // within the budget in mode 2, in mode 3
    } cases[] = {
        {"1.png", bombs::PngHeaderOnly(16384, 16384), false, false},
        {"2.png", bombs::PngHeaderOnly(20000, 13000), false, false},
        {"3.gif", bombs::GifScreen(16384, 16384), false, false},
        // A screen of no size: the first frame, with no data, gives the size.
        {"8.gif", bombs::GifScreen(0, 0, 16384, 16384), false, false},
        {"4.bmp", bombs::BmpRle8EndsAtOnce(16384, 16384), false, false},
        // In mode 3 a JPEG is decoded DCT-scaled toward the box.
        {"5.jpg", bombs::ClaimSize(photo, 16384, 16384), false, true},
        // A 100-megapixel photo stays within.
        {"6.jpg", bombs::ClaimSize(photo, 12000, 8400), true, true},
        {"7.png", bombs::PngHeaderOnly(4000, 3000), true, true},
        // Sides within a PNG's range whose pixels times bytes a pixel pass 2^63.
        {"9.png", bombs::PngHeaderOnly(2000000000, 1500000000), false, false},
    };
    NineRandom rng;
    TMmsMaker maker{rng, t.Path()};
    for (const auto& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        for (int mode : {2, 3}) {
            const bool within = mode == 2 ? c.within2 : c.within3;
            EXPECT_EQ(PictureMemoryNeed(path, TPicEncodeSettings{mode, 176, 210, 80}) <=
                          kPictureMemoryBudget,
                      within)
                << c.name << " mode " << mode;
            maker.FPicEncodeMode = mode;
            maker.FPicEncodeInfo = "176X210";
            maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
            maker.FPages.Items.back()->SetMedia("", path, "", "", 0);
            try {
                maker.MakeMms(t.Path() + "out.mms");
                ADD_FAILURE() << c.name << " made in mode " << mode;
            } catch (const std::runtime_error& e) {
                const std::string why = e.what();
                const bool budget =
                    why.find(std::string("图片 ") + c.name + " 太大") != std::string::npos &&
                    why.find("MB 内存，超过上限 512 MB") != std::string::npos;
                EXPECT_EQ(budget, !within) << why;
                EXPECT_EQ(why.find("约需 -"), std::string::npos) << why;
            }
            EXPECT_FALSE(std::filesystem::exists(t.Path() + "out.mms")) << c.name;
            EXPECT_EQ(ReadFileBytes(path), c.bytes) << c.name;
            maker.ClearPages();
        }
    }
    // Only the pages' files and the SMIL document are left.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(t.Path()))
        files += e.path().extension() != ".smil";
    EXPECT_EQ(files, 9);
}

// Near the budget's limit each of its terms decides: a picture just within it
// without the term is just beyond it with it.
TEST(PictureBombs, BudgetNearItsLimitCountsCoefficientsAndTheUprightSize) {
    TempFolder t;
    const std::string baseline = bombs::SmallJpeg(8, 8, 3, false);
    const std::string progressive = bombs::SmallJpeg(8, 8, 3, true);
    const struct Case {
        const char* name;
        std::string bytes;
        TPicEncodeSettings s;
        bool within;
    } cases[] = {
        // 10000 x 10000 at its own size: 400 MB of work picture, and a
        // progressive file keeps its coefficients as well, 256 MB more.
        {"base.jpg", bombs::ClaimSize(baseline, 10000, 10000), {2, 0, 0, 80}, true},
        {"prog.jpg", bombs::ClaimSize(progressive, 10000, 10000), {2, 0, 0, 80}, false},
        // Stored 4096 x 16384 and fitted into a box of 8000 x 2000: as stored it
        // is decoded at 2/8, but turned upright by its tag it fits twice the box
        // and is decoded whole, 512 MB and the file.
        {"stored.jpg", bombs::ClaimSize(baseline, 4096, 16384), {3, 8000, 2000, 80}, true},
        {"turned.jpg",
         bombs::ClaimSize(WithExifOrientation(baseline, 6, false), 4096, 16384),
         {3, 8000, 2000, 80},
         false},
        {"turned8.jpg",
         bombs::ClaimSize(WithExifOrientation(baseline, 8, true), 4096, 16384),
         {3, 8000, 2000, 80},
         false},
        // Turned upright into a box it fits as stored: reduced again.
        {"turned-tall.jpg",
         bombs::ClaimSize(WithExifOrientation(baseline, 6, false), 16384, 4096),
         {3, 8000, 2000, 80},
         true},
    };
    for (const auto& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        EXPECT_EQ(PictureMemoryNeed(path, c.s) <= kPictureMemoryBudget, c.within) << c.name;
        if (c.within) {
            EXPECT_NO_THROW(CheckPictureBudget(path, c.s)) << c.name;
            continue;
        }
        try {
            CheckPictureBudget(path, c.s);
            ADD_FAILURE() << c.name << " passed the budget";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("超过上限 512 MB"), std::string::npos) << e.what();
        }
    }
}

// ---- no chunk and no frame costs more than the file holds ----

// This process's resident memory in MB: now, and its peak since the last reset.
long ResidentMB(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) kib = std::atol(line + n);
    std::fclose(f);
    return kib < 0 ? -1 : kib >> 10;
}

// Starts the peak anew from what is resident now; false where the system cannot.
bool ResetPeak() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// Files whose chunk lengths or frame counts would have the codec libraries take
// far more memory than the file holds: a PNG chunk claiming 2 GB in a file of 41
// bytes is damaged; a GIF of millions of empty frames is an animation like any
// other. Each goes through the chooser, the page and the make within twice its
// size and a few tens of MB. Run in a child process whose peak is its own.
int ChunksAndFramesWithinTheFile() {
    TempFolder t;
    struct Case {
        std::string name, bytes;
        bool damaged;
    };
    std::vector<Case> cases;
    for (const char* type : {"tEXt", "iTXt", "zTXt", "sPLT", "sCAL", "pCAL", "eXIf"})
        cases.push_back({std::string(type) + ".png", bombs::PngChunkClaim(type), true});
    cases.push_back({"frames.gif", bombs::GifEmptyFrames(2500000), false});
    NineRandom rng;
    TMmsMaker maker{rng, t.Path()};
    maker.FPicEncodeMode = 3;
    maker.FPicEncodeInfo = "176X210";
    int faults = 0;
    auto fault = [&](const std::string& name, const std::string& what) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), what.c_str());
        ++faults;
    };
    for (const Case& c : cases) {
        const std::string path = t.File(c.name, c.bytes);
        // Where the peak cannot be started anew, growth beyond the peak so far counts.
        const long before = ResidentMB(ResetPeak() ? "VmRSS:" : "VmHWM:");
        if (LoadThumbnail(path, 100, 100).has_value() == c.damaged) fault(c.name, "thumbnail");
        bool decoded = false;
        try {
            decoded = DecodePictureFile(path).size() == QSize(1, 1) &&
                      DecodePicture(c.bytes, ExtractFileExt(path)).size() == QSize(1, 1);
        } catch (const std::runtime_error&) {
        }
        if (decoded == c.damaged) fault(c.name, "decode");
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages.Items.back()->SetMedia("", path, "", "", 0);
        try {
            maker.MakeMms(t.Path() + "out.mms");
            if (c.damaged) fault(c.name, "made");
        } catch (const std::runtime_error& e) {
            if (!c.damaged ||
                std::string(e.what()).find("无法解码图片 " + path) == std::string::npos)
                fault(c.name, e.what());
        }
        maker.ClearPages();
        std::filesystem::remove(t.Path() + "out.mms");
        if (ReadFileBytes(path) != c.bytes) fault(c.name, "file changed");
        const long grown = ResidentMB("VmHWM:") - before;
        if (before < 0 || grown > 2 * static_cast<long>(c.bytes.size() >> 20) + 48)
            fault(c.name, "took " + std::to_string(grown) + " MB");
    }
    std::fprintf(stderr, "all tried\n");
    return faults == 0 ? 0 : 1;
}

TEST(PictureBombs, NoChunkOrFrameCostsMoreThanTheFileHolds) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory is counted with the decoders'";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(ChunksAndFramesWithinTheFile()), testing::ExitedWithCode(0), "all tried");
}

// A PNG's sides are 31-bit numbers: a header beyond them is damaged, for the
// budget as for the decoders, and no count of its pixels is made.
TEST(PictureBombs, PngSidesBeyondThirtyOneBitsAreDamaged) {
    TempFolder t;
    NineRandom rng;
    TMmsMaker maker{rng, t.Path()};
    maker.FPicEncodeMode = 3;
    maker.FPicEncodeInfo = "176X210";
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{4294967295u, 4294967295u},
                        {2147483648u, 1},
                        {1, 2147483648u}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const std::string bytes = bombs::PngHeaderOnly(w, h);
        const std::string path = t.File("big.png", bytes);
        EXPECT_THROW(ReadPictureHeader(path), std::runtime_error);
        EXPECT_THROW(DecodePictureFile(path, 100, 100), std::runtime_error);
        EXPECT_THROW(DecodePicture(bytes, ".png"), std::runtime_error);
        EXPECT_FALSE(LoadThumbnail(path, 100, 100));
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages.Items.back()->SetMedia("", path, "", "", 0);
        try {
            maker.MakeMms(t.Path() + "out.mms");
            ADD_FAILURE() << "made";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("无法解码图片 " + path + ": PNG"),
                      std::string::npos)
                << e.what();
        }
        maker.ClearPages();
        EXPECT_FALSE(std::filesystem::exists(t.Path() + "out.mms"));
    }
}

// ---- a pipe named like a picture: refused, the body never waited for ----

TEST(PictureBombs, APipeIsRefusedBeforeItsBodyIsWaitedFor) {
    TempFolder t;
    std::string gifHead = bombs::GifScreen(60000, 60000);
    const struct Case {
        const char* name;
        std::string head;
    } cases[] = {
        {"a.jpg",
         bombs::ClaimSize(EncodeJpeg(bombs::Photo(16, 16), 90), 60000, 60000).substr(0, 400)},
        {"b.png", bombs::PngHeaderOnly(60000, 60000)},
        {"c.gif", gifHead.substr(0, 30)},
        {"d.bmp", bombs::BmpRle8EndsAtOnce(60000, 60000).substr(0, 54)},
    };
    for (const auto& c : cases) {
        // The file is a pipe whose writer sends the header and some body, then
        // holds it open: a decoder that read on to the end would wait for it.
        // (Opened for reading too, the writer waits for no reader.)
        const std::string path = t.Path() + c.name;
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::atomic<bool> closed{false};
        std::thread writer([&] {
            const int fd = open(path.c_str(), O_RDWR);
            const std::string body = c.head + std::string(16384, '\x55');
            (void)!write(fd, body.data(), body.size());
            std::unique_lock<std::mutex> lock(m);
            cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; });
            closed = true;
            close(fd);
        });
        bool refusedWhileOpen = false;
        try {
            DecodePictureFile(path, 100, 100);
        } catch (const std::runtime_error&) {
            refusedWhileOpen = !closed;
        }
        {
            std::lock_guard<std::mutex> lock(m);
            done = true;
        }
        cv.notify_all();
        writer.join();
        EXPECT_TRUE(refusedWhileOpen) << c.name;
        // Nor is a pipe taken for a thumbnail.
        EXPECT_FALSE(LoadThumbnail(path, 100, 100)) << c.name;
    }
}

// ---- decoded into the size shown ----

TEST(PictureBombs, ReducedDecodeGivesTheBoxSizedPictureForEachFormat) {
    TempFolder t;
    const QImage q = Quarters(400, 300);
    const struct Case {
        const char* name;
        std::string bytes;
        int tolerance;
    } cases[] = {
        {"q.jpg", EncodeJpeg(q, 95), 12},
        {"q.png", PngOf(q, false), 0},
        {"qi.png", PngOf(q, true), 0},
        {"q.gif", GifOf(q), 0},
        {"q24.bmp", QtBytes(q, "BMP"), 0},
        {"q8.bmp", QtBytes(q.convertToFormat(QImage::Format_Indexed8), "BMP"), 0},
        {"q32.bmp", QtBytes(q.convertToFormat(QImage::Format_RGB32), "BMP"), 0},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.bytes.empty()) << c.name;
        const std::string path = t.File(c.name, c.bytes);
        QSize full;
        const QImage reduced = DecodePictureFile(path, 100, 100, &full);
        EXPECT_EQ(full, QSize(400, 300)) << c.name;
        // 100 x 75 fits the box; the reduced picture is at least that, and less than twice.
        EXPECT_GE(reduced.width(), 100) << c.name;
        EXPECT_LT(reduced.width(), 200) << c.name;
        EXPECT_EQ(reduced.width() * 3, reduced.height() * 4) << c.name;
        const int w = reduced.width(), h = reduced.height();
        for (auto [x, y] : {std::pair{w / 4, h / 4},
                            {3 * w / 4, h / 4},
                            {w / 4, 3 * h / 4},
                            {3 * w / 4, 3 * h / 4}})
            EXPECT_TRUE(
                Near(reduced.pixelColor(x, y), q.pixelColor(x * 400 / w, y * 300 / h), c.tolerance))
                << c.name << " at " << x << "," << y;
        // Without a box the whole picture, as the re-encoder's decoders give it.
        const QImage whole = DecodePictureFile(path);
        EXPECT_EQ(MaxDiff(whole, DecodePicture(c.bytes, ExtractFileExt(path))), 0) << c.name;
        // Several threads at once make the same thumbnail as one alone.
        auto thumb = LoadThumbnail(path, 100, 100);
        ASSERT_TRUE(thumb) << c.name;
        EXPECT_EQ(thumb->size(), QSize(100, 100)) << c.name;
        std::vector<std::optional<QImage>> made(4);
        std::vector<std::thread> threads;
        for (auto& m : made)
            threads.emplace_back([&m, &path] { m = LoadThumbnail(path, 100, 100); });
        for (auto& th : threads) th.join();
        for (const auto& m : made) EXPECT_TRUE(m && *m == *thumb) << c.name;
    }
    // The bombs come out small: one-colour PNGs and a run-length bitmap that ends at once.
    const struct Bomb {
        const char* name;
        std::string bytes;
        QSize full;
    } bombsCases[] = {
        {"p.png", bombs::PngOneColour(4096, 4096, false), QSize(4096, 4096)},
        {"pi.png", bombs::PngOneColour(4000, 2600, true), QSize(4000, 2600)},
        {"r.bmp", bombs::BmpRle8EndsAtOnce(16384, 16384), QSize(16384, 16384)},
    };
    for (const auto& b : bombsCases) {
        const std::string path = t.File(b.name, b.bytes);
        QSize full;
        const QImage reduced = DecodePictureFile(path, 100, 100, &full);
        EXPECT_EQ(full, b.full) << b.name;
        EXPECT_LT(reduced.width(), 200) << b.name;
        EXPECT_LT(reduced.height(), 200) << b.name;
        EXPECT_EQ(reduced.pixelColor(reduced.width() / 2, reduced.height() / 2),
                  b.name[0] == 'r' ? QColor(255, 0, 0) : QColor(0, 0, 0))
            << b.name;
    }
}

// The toolkit's own reading of a bitmap, at 24 bits per pixel.
QImage ToolkitBmp(const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage pic;
    EXPECT_TRUE(reader.read(&pic));
    return pic.convertToFormat(QImage::Format_RGB888);
}

// Every kind of bitmap our own reader takes comes out as the toolkit's reader shows it.
TEST(PictureBombs, BitmapReaderAgreesWithTheToolkitsReader) {
    TempFolder t;
    QImage src = bombs::Photo(37, 23);
    const struct Case {
        const char* name;
        QImage img;
    } cases[] = {
        {"24.bmp", src},
        {"32.bmp", src.convertToFormat(QImage::Format_RGB32)},
        {"argb.bmp", src.convertToFormat(QImage::Format_ARGB32)},
        {"8.bmp", src.convertToFormat(QImage::Format_Indexed8)},
        {"1.bmp", src.convertToFormat(QImage::Format_Mono)},
        {"16.bmp", src.convertToFormat(QImage::Format_RGB16)},
    };
    for (const auto& c : cases) {
        const std::string bytes = QtBytes(c.img, "BMP");
        EXPECT_FALSE(bytes.empty()) << c.name;
        const std::string path = t.File(c.name, bytes);
        EXPECT_EQ(MaxDiff(DecodePictureFile(path), ToolkitBmp(bytes)), 0) << c.name;
        EXPECT_EQ(MaxDiff(DecodeBmp(bytes), ToolkitBmp(bytes)), 0) << c.name;
    }
    // Run-length data written by hand: a run, a literal stretch, a line end, a jump
    // and the end of the picture; what the data skips is the first palette colour.
    std::string rle = bombs::BmpRle8EndsAtOnce(6, 3);
    rle.resize(rle.size() - 2);
    rle +=
        std::string("\x03\x05\x00\x03\x07\x08\x09\x00\x00\x00\x00\x02\x02\x01\x02\x0A\x00\x01", 18);
    const uint32_t size = static_cast<uint32_t>(rle.size()), data = size - (14 + 40 + 1024);
    for (int i = 0; i < 4; ++i)
        rle[2 + i] = char(size >> (8 * i)), rle[34 + i] = char(data >> (8 * i));
    const std::string path = t.File("rle.bmp", rle);
    const QImage ours = DecodePictureFile(path), theirs = ToolkitBmp(rle);
    EXPECT_EQ(MaxDiff(DecodeBmp(rle), ours), 0);
    ASSERT_EQ(ours.size(), QSize(6, 3));
    // Index i of the palette is (255 - i, i, i); the rows go bottom up.
    auto colour = [](int i) { return QColor(255 - i, i, i); };
    const int want[3][6] = {{0, 0, 10, 10, 0, 0}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 7, 8, 9}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(ours.pixelColor(x, y), colour(want[y][x])) << x << "," << y;
    // The toolkit's reader agrees wherever the data gives the pixels.
    for (int x = 0; x < 6; ++x) EXPECT_EQ(ours.pixelColor(x, 2), theirs.pixelColor(x, 2)) << x;
}

// The program ends while a worker still decodes a picture: the end waits for that
// picture, so that no worker runs on while the statics are torn down, and begins
// no other. Exits 0 when exactly one picture was begun.
void EndWhileAThumbnailIsMade() {
    static int argc = 1;
    static char name[] = "thumbs";
    static char* argv[] = {name, nullptr};
    std::atomic<int> begun{0};
    {
        QCoreApplication app(argc, argv);
        TThumbnailMaker maker(1, [&](const std::string& path, int, int) {
            begun.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::fprintf(stderr, "made %s\n", path.c_str());
            return std::optional<QImage>(QImage(1, 1, QImage::Format_RGB888));
        });
        maker.Start("/x/", TStringList{"a.png", "b.png"}, 10, 10);
        while (begun.load() == 0) std::this_thread::yield();
    }
    std::exit(begun.load() == 1 ? 0 : 3);
}

TEST(PictureBombs, ProgramEndWaitsForThumbnailsUnderWay) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(EndWhileAThumbnailIsMade(), testing::ExitedWithCode(0), "made /x/a.png");
}

// A picture that never ends (its loader opens a pipe that no program writes, as a
// decode on a file system that stopped answering would hang): the end waits for
// it a bounded time and then ends all the same. Exits 0 when the program has
// ended; a child still waiting after a minute is ended by its alarm.
void EndWhileAThumbnailNeverEnds() {
    ::alarm(60);
    static int argc = 1;
    static char name[] = "thumbs";
    static char* argv[] = {name, nullptr};
    char dir[] = "/tmp/quilmar-never-XXXXXX";
    if (!::mkdtemp(dir)) std::exit(2);
    const std::string pipe = std::string(dir) + "/never.png";
    if (::mkfifo(pipe.c_str(), 0600) != 0) std::exit(2);
    std::atomic<int> begun{0};
    {
        QCoreApplication app(argc, argv);
        TThumbnailMaker maker(1, [&](const std::string& path, int, int) {
            begun.store(1);
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd >= 0) ::close(fd);
            return std::optional<QImage>();
        });
        maker.Start(std::string(dir) + "/", TStringList{"never.png"}, 10, 10);
        while (begun.load() == 0) std::this_thread::yield();
    }
    ::unlink(pipe.c_str());
    ::rmdir(dir);
    std::fprintf(stderr, "ended\n");
    std::exit(0);
}

TEST(PictureBombs, ProgramEndDoesNotWaitForEverForAThumbnail) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(EndWhileAThumbnailNeverEnds(), testing::ExitedWithCode(0), "ended");
}

// Pictures of extreme shape, a few bytes each: a thumbnail costs what it shows,
// not three bytes for each pixel of a row the file claims. Made in a child
// process whose address space is held to little more than it has already.
int ThumbnailsWithinTheirShare() {
    TempFolder t;
    const struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"wide.bmp", bombs::BmpRle8EndsAtOnce(1u << 28, 1)},
        {"tall.bmp", bombs::BmpRle8EndsAtOnce(1, 1u << 28)},
        {"wide.gif", bombs::GifScreen(65535, 4096)},
    };
    std::vector<std::string> paths;
    for (const auto& c : cases) paths.push_back(t.File(c.name, c.bytes));
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t(320) << 20);
    const rlimit lim{limit, limit};
    if (pages <= 0 || setrlimit(RLIMIT_AS, &lim) != 0) return 2;
    int refused = 0;
    for (size_t i = 0; i < paths.size(); ++i)
        if (!LoadThumbnail(paths[i], 100, 100)) {
            std::fprintf(stderr, "refused %s\n", cases[i].name);
            ++refused;
        }
    std::fprintf(stderr, "all tried\n");
    return refused == 0 ? 0 : 1;
}

TEST(PictureBombs, ThumbnailsOfExtremeShapesStayWithinTheirShare) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(ThumbnailsWithinTheirShare()), testing::ExitedWithCode(0),
                "all tried");
}

// The make sends a run-length bitmap as the page shows it: where the data skips
// pixels, the first palette colour.
TEST(PictureBombs, MadeJpegOfARunLengthBitmapKeepsTheSkippedPixels) {
    TempFolder t;
    // A 16 x 32 picture: one line end at once, then a run of index 200 on the
    // second row from the bottom and the end of the picture; the rest is skipped.
    std::string rle = bombs::BmpRle8EndsAtOnce(16, 32);
    rle.resize(rle.size() - 2);
    rle += std::string("\x00\x00\x10\xC8\x00\x01", 6);
    const uint32_t size = static_cast<uint32_t>(rle.size()), data = size - (14 + 40 + 1024);
    for (int i = 0; i < 4; ++i)
        rle[2 + i] = char(size >> (8 * i)), rle[34 + i] = char(data >> (8 * i));
    const std::string path = t.File("rle.bmp", rle);
    NineRandom rng;
    for (int mode : {2, 3}) {
        const std::string jpg = BmpToJpeg(path, TPicEncodeSettings{mode, 16, 32, 95}, rng);
        const QImage sent = DecodeJpeg(ReadFileBytes(jpg));
        ASSERT_EQ(sent.size(), QSize(16, 32));
        // Index 0 of the palette is red; the top half is skipped whole (its
        // corner may hold the make's changed pixel).
        EXPECT_GE(sent.pixelColor(8, 30).green(), 100) << mode;
        for (int y : {2, 6, 12})
            for (int x : {4, 8, 15}) {
                const QColor c = sent.pixelColor(x, y);
                EXPECT_GE(c.red(), 230) << mode << ": " << x << "," << y;
                EXPECT_LE(std::max(c.green(), c.blue()), 25) << mode << ": " << x << "," << y;
            }
        std::filesystem::remove(jpg);
    }
}
