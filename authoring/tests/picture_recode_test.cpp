#include "picture_recode.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

// clang-format off
#include <jpeglib.h>
// clang-format on
#include <gif_lib.h>

#include "picture_writers.h"
#include <zlib.h>

#include "chooser_rules.h"
#include "mms_maker.h"
#include "octree_quantizer.h"
#include "picture_codecs.h"
#include "picture_test_support.h"
#include "test_support.h"
#include "text_codec.h"

namespace {

// A smooth picture with some detail, like a photo.
QImage Photo(int w, int h) {
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<uchar>(60 + 120 * x / std::max(1, w - 1));
            row[3 * x + 1] = static_cast<uchar>(80 + 100 * y / std::max(1, h - 1));
            row[3 * x + 2] = static_cast<uchar>(128 + 60 * std::sin((x + y) / 9.0));
        }
    }
    return img;
}

// Random colours: many distinct colours, and data that compresses badly.
QImage Noise(int w, int h, unsigned seed = 1) {
    std::mt19937 gen(seed);
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < 3 * w; ++x) row[x] = static_cast<uchar>(gen());
    }
    return img;
}

std::string JpegBytes(const QImage& img, int quality = 100) { return EncodeJpeg(img, quality); }

// A GIF written with giflib: one frame per entry of frames, a 4-colour table, and
// optionally a transparent index.
std::string GifBytes(int w, int h, const std::vector<std::vector<uint8_t>>& frames, int transparent = -1) {
    std::string out;
    GifFileType* gif = GifWriterTo(out);
    GifColorType colors[4] = {{255, 0, 0}, {0, 0, 255}, {0, 128, 0}, {10, 20, 30}};
    ColorMapObject* map = GifMakeMapObject(4, colors);
    EGifPutScreenDesc(gif, w, h, 8, 0, map);
    for (const auto& f : frames) {
        if (transparent >= 0 || frames.size() > 1) {
            GraphicsControlBlock gcb{};
            gcb.TransparentColor = transparent;
            gcb.DelayTime = 10;
            GifByteType ext[4];
            const size_t n = EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
        }
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        for (int y = 0; y < h; ++y) EGifPutLine(gif, const_cast<GifPixelType*>(f.data() + y * w), w);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, nullptr);
    return out;
}

// What another decoder sees in a GIF file.
struct GifView {
    int Frames = 0;
    int W = 0, H = 0;
    std::vector<uint32_t> Palette;
    std::vector<uint8_t> Indices;
};

GifView ReadGif(const std::string& path) {
    GifView v;
    int err = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
    if (!gif) return v;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        v.Frames = gif->ImageCount;
        const SavedImage& f = gif->SavedImages[0];
        v.W = f.ImageDesc.Width;
        v.H = f.ImageDesc.Height;
        const ColorMapObject* map = f.ImageDesc.ColorMap ? f.ImageDesc.ColorMap : gif->SColorMap;
        for (int i = 0; map && i < map->ColorCount; ++i)
            v.Palette.push_back((map->Colors[i].Red << 16) | (map->Colors[i].Green << 8) | map->Colors[i].Blue);
        v.Indices.assign(f.RasterBits, f.RasterBits + v.W * v.H);
    }
    DGifCloseFile(gif, &err);
    return v;
}

QImage ReadPng(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    QImage img;
    img.loadFromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "PNG");
    return img;
}

uint32_t Rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

// Channel differences b - a at one pixel.
std::array<int, 3> DiffAt(const QImage& a, const QImage& b, int x, int y) {
    const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
    return {qRed(q) - qRed(p), qGreen(q) - qGreen(p), qBlue(q) - qBlue(p)};
}

class PictureMaker : public ::testing::Test {
protected:
    TempFolder tmp;
    NineRandom rng;
    TMmsMaker maker{rng, tmp.Path()};

    void AddPicturePage(const std::string& picture, const std::string& attach = "") {
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages.Items.back()->SetMedia("", picture, "", attach, 0);
    }
    std::string OutPath() const { return tmp.Path() + "out.mms"; }
    bool Contains(const std::string& hay, const std::string& needle) {
        return hay.find(needle) != std::string::npos;
    }
    // Files of the folder whose name ends with suffix.
    int CountEndingWith(const std::string& suffix) {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(tmp.Path())) {
            const std::string name = e.path().filename().string();
            if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                ++n;
        }
        return n;
    }
};

}  // namespace

// ---- the box text ----

TEST(PictureBoxText, ParsedOnlyInModeThree) {
    struct Case {
        int32_t mode;
        const char* text;
        int32_t w, h;
        bool raises;
    } cases[] = {
        {3, "176X210", 176, 210, false},
        {3, " \t176*210  ", 176, 210, false},
        {3, "176×210", 176, 210, false},
        {3, "176x210", 0, 0, false},  // a lower-case x is no separator
        {3, "", 0, 0, false},
        {3, "0X210", 0, 210, false},
        {3, "-5X10", -5, 10, false},
        {3, "176X", 176, 0, true},  // the width is already set when the height fails
        {3, "X210", 0, 0, true},
        {3, "176 X 210", 0, 0, true},
        {2, "176X210", 7, 8, false},  // other modes leave the box as it was
        {1, "junk", 7, 8, false},
    };
    for (const auto& c : cases) {
        NineRandom rng;
        TMmsMaker maker(rng, "/nonexistent/");
        maker.FPicEncodeMode = c.mode;
        maker.FPicEncodeInfo = c.text;
        maker.FPicBoxW = 7;
        maker.FPicBoxH = 8;
        if (c.raises) {
            EXPECT_THROW(maker.ParsePicEncodeInfo(), EConvertError) << c.text;
        } else {
            EXPECT_NO_THROW(maker.ParsePicEncodeInfo()) << c.text;
        }
        EXPECT_EQ(maker.FPicBoxW, c.w) << c.text;
        EXPECT_EQ(maker.FPicBoxH, c.h) << c.text;
    }
}

TEST_F(PictureMaker, BadBoxTextStopsTheMake) {
    const QImage src = Photo(40, 30);
    for (const char* text : {"176X", "X210"}) {
        const std::string pic = tmp.File("0001.jpg", JpegBytes(src));
        AddPicturePage(pic);
        maker.FPicEncodeMode = 3;
        maker.FPicEncodeInfo = text;
        EXPECT_THROW(maker.MakeMms(OutPath()), EConvertError) << text;
        EXPECT_FALSE(std::filesystem::exists(OutPath())) << text;
        EXPECT_EQ(ReadFileBytes(pic), JpegBytes(src)) << text;
        maker.ClearPages();
    }
}

// ---- the shared steps ----

TEST(PicturePrepare, RaisesOnePixelAndWraps) {
    QImage img = Quarters(8, 6);
    img.setPixelColor(3, 2, QColor(250, 0, 100));
    const QImage before = img;
    ScriptedRandom rng;
    rng.Draws = {2, 3, 9, 1, 7};  // row, column, then red, green, blue
    PreparePicture(img, TPicEncodeSettings{2, 0, 0, 80}, rng);
    EXPECT_EQ(rng.Reseeds, 2);
    ASSERT_EQ(img.size(), before.size());
    EXPECT_EQ(QColor(img.pixel(3, 2)), QColor(3, 1, 107));  // red 250 + 9 wraps to 3
    EXPECT_EQ(MaxDiff(before, img, 3, 2), 0);

    // Mode 1 changes nothing and draws nothing.
    QImage same = before;
    ScriptedRandom idle;
    PreparePicture(same, TPicEncodeSettings{1, 10, 10, 80}, idle);
    EXPECT_EQ(same, before);
    EXPECT_EQ(idle.Reseeds, 0);

    QImage empty;
    EXPECT_THROW(PreparePicture(empty, TPicEncodeSettings{2, 0, 0, 80}, idle), std::runtime_error);
}

TEST(PictureFit, SizesFromTheBox) {
    struct Case {
        int w, h, boxW, boxH, outW, outH;
    } cases[] = {
        {352, 288, 176, 210, 176, 144},  // r = 0.5
        {100, 100, 176, 210, 176, 176},  // r = 1.76: enlarged
        {50, 25, 25, 100, 25, 12},       // 12.5 rounds to 12
        {50, 27, 25, 100, 25, 14},       // 13.5 rounds to 14
        {64, 48, 0, 210, 64, 48},        // a side of zero or less keeps the size
        {64, 48, -5, 10, 64, 48},
        {64, 48, 176, 0, 64, 48},
        {1000, 1, 1, 1000, 0, 0},        // 1 x 0.001 leaves no picture
    };
    for (const auto& c : cases) {
        QImage img = Photo(c.w, c.h);
        FitPictureToBox(img, TPicEncodeSettings{3, c.boxW, c.boxH, 80});
        EXPECT_EQ(img.width(), c.outW) << c.w << "x" << c.h << " into " << c.boxW << "X" << c.boxH;
        EXPECT_EQ(img.height(), c.outH) << c.w << "x" << c.h << " into " << c.boxW << "X" << c.boxH;
        if (c.outW > 0) {
            EXPECT_EQ(img.format(), QImage::Format_RGB888);
        }
    }
}

TEST(PictureFit, ShrinkingAveragesTheArea) {
    // One-pixel black and white stripes halved: sampling would keep one colour,
    // averaging gives grey.
    QImage img(200, 100, QImage::Format_RGB888);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) img.setPixelColor(x, y, x % 2 ? Qt::white : Qt::black);
    FitPictureToBox(img, TPicEncodeSettings{3, 100, 100, 80});
    ASSERT_EQ(img.size(), QSize(100, 50));
    for (int x = 5; x < 95; x += 10) EXPECT_NEAR(qGray(img.pixel(x, 25)), 128, 12) << x;
}

TEST(PictureOctree, KeepsFewColoursAndLimitsMany) {
    TOctreeQuantizer few(8);
    const uint32_t colors[] = {0x102030, 0xFFFFFF, 0x000000, 0x7F8081, 0x123456};
    for (int rep = 0; rep < 3; ++rep)
        for (uint32_t c : colors) few.Add(c >> 16, (c >> 8) & 0xFF, c & 0xFF);
    std::vector<uint32_t> pal = few.Palette();
    std::sort(pal.begin(), pal.end());
    std::vector<uint32_t> want(std::begin(colors), std::end(colors));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(pal, want);

    TOctreeQuantizer many(16);
    std::mt19937 gen(3);
    for (int i = 0; i < 20000; ++i) many.Add(gen() & 0xFF, gen() & 0xFF, gen() & 0xFF);
    const auto limited = many.Palette();
    EXPECT_LE(limited.size(), 16u);
    EXPECT_GE(limited.size(), 8u);
}

// ---- the written files ----

TEST(PictureJpeg, QualityAndBaseline) {
    struct Case {
        int32_t setting;
        int quality;
    } cases[] = {{90, 90}, {300, 44}, {0, 1}, {100, 100}, {-1, 100}};
    TempFolder tmp;
    for (const auto& c : cases) {
        EXPECT_EQ(JpegQualityOf(c.setting), c.quality) << c.setting;
        const std::string path = tmp.File("q.jpg", JpegBytes(Photo(64, 48), 75));
        NineRandom rng;
        ASSERT_EQ(RecodeJpeg(path, TPicEncodeSettings{2, 0, 0, c.setting}, rng), 0);
        const std::string bytes = ReadFileBytes(path);
        EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos) << "no baseline frame header";
        EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "progressive";

        // The file's quantisation tables are the library's defaults at that quality.
        jpeg_decompress_struct d;
        jpeg_error_mgr derr;
        d.err = jpeg_std_error(&derr);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        jpeg_read_header(&d, TRUE);
        EXPECT_EQ(d.num_components, 3);
        EXPECT_FALSE(d.progressive_mode);
        jpeg_compress_struct e;
        jpeg_error_mgr eerr;
        e.err = jpeg_std_error(&eerr);
        jpeg_create_compress(&e);
        e.in_color_space = JCS_RGB;
        e.input_components = 3;
        jpeg_set_defaults(&e);
        jpeg_set_quality(&e, c.quality, TRUE);
        for (int t = 0; t < 2; ++t) {
            ASSERT_NE(d.quant_tbl_ptrs[t], nullptr);
            EXPECT_EQ(0, std::memcmp(d.quant_tbl_ptrs[t]->quantval, e.quant_tbl_ptrs[t]->quantval,
                                     sizeof(e.quant_tbl_ptrs[t]->quantval)))
                << "table " << t << " setting " << c.setting;
        }
        jpeg_destroy_compress(&e);
        jpeg_destroy_decompress(&d);
    }
}

TEST(PictureFit, NoPixelsLeft) {
    // A 1000 x 1 picture in a 1 x 1000 box keeps no whole row: JPEG writes an
    // empty file; GIF and PNG cannot hold such a picture, and raise.
    TempFolder tmp;
    const TPicEncodeSettings thinBox{3, 1, 1000, 80};
    NineRandom rng;
    const std::string jpg = tmp.File("thin.jpg", JpegBytes(Photo(1000, 1)));
    EXPECT_EQ(RecodeJpeg(jpg, thinBox, rng), 0);
    EXPECT_EQ(std::filesystem::file_size(jpg), 0u);

    const std::string gifBytes = TGifEncoder().Encode(Photo(1000, 1));
    const std::string gif = tmp.File("thin.gif", gifBytes);
    EXPECT_THROW(RecodeGif(gif, thinBox, rng), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(gif), gifBytes);
    const std::string pngBytes = QtBytes(Photo(1000, 1), "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string png = tmp.File("thin.png", pngBytes);
    EXPECT_THROW(RecodePng(png, thinBox, rng), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(png), pngBytes);
}

TEST(PictureGif, OneFrameWithSystemColoursAndNearestPixels) {
    TempFolder tmp;
    // A photo has more colours than the 236 free entries.
    const QImage src = Photo(96, 64);
    TGifEncoder plain;
    const std::string path = tmp.File("p.gif", plain.Encode(src));
    const GifView before = ReadGif(path);
    ASSERT_EQ(before.Frames, 1);

    NineRandom rng;
    ASSERT_EQ(RecodeGif(path, TPicEncodeSettings{2, 0, 0, 80}, rng), 0);
    const GifView v = ReadGif(path);
    ASSERT_EQ(v.Frames, 1);
    ASSERT_EQ(v.W, 96);
    ASSERT_EQ(v.H, 64);
    ASSERT_EQ(v.Palette.size(), 256u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(v.Palette[i], kSystemColors[i]) << i;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(v.Palette[246 + i], kSystemColors[10 + i]) << 246 + i;
    const int distinctMiddle = static_cast<int>(
        std::set<uint32_t>(v.Palette.begin() + 10, v.Palette.begin() + 246).size());
    EXPECT_GT(distinctMiddle, 200);

    // The work picture is the decoded source with pixel (0, 0) raised by 9; every
    // pixel must carry a palette colour nearest to it (no dithering).
    QImage work(96, 64, QImage::Format_RGB888);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const uint32_t c = before.Palette[before.Indices[y * 96 + x]];
            work.setPixel(x, y, 0xFF000000u | c);
        }
    work.setPixelColor(0, 0, QColor(work.pixelColor(0, 0).red() + 9, work.pixelColor(0, 0).green() + 9,
                                     work.pixelColor(0, 0).blue() + 9));
    auto dist = [](uint32_t a, uint32_t b) {
        const int dr = int(a >> 16) - int(b >> 16), dg = int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF),
                  db = int(a & 0xFF) - int(b & 0xFF);
        return dr * dr + dg * dg + db * db;
    };
    int worse = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const uint32_t want = Rgb(work, x, y);
            int best = 1 << 30;
            for (uint32_t p : v.Palette) best = std::min(best, dist(p, want));
            if (dist(v.Palette[v.Indices[y * 96 + x]], want) != best) ++worse;
        }
    EXPECT_EQ(worse, 0);
}

TEST(PictureGif, AnimationUntouchedAndTransparencyWhite) {
    TempFolder tmp;
    const std::vector<uint8_t> f1(16, 0), f2(16, 1);
    const std::string anim = GifBytes(4, 4, {f1, f2});
    const std::string animPath = tmp.File("a.gif", anim);
    NineRandom rng;
    EXPECT_EQ(RecodeGif(animPath, TPicEncodeSettings{3, 176, 210, 80}, rng), -1);
    EXPECT_EQ(ReadFileBytes(animPath), anim);

    std::vector<uint8_t> still(16, 2);
    still[5] = 3;  // (1, 1) transparent
    const std::string path = tmp.File("t.gif", GifBytes(4, 4, {still}, 3));
    ScriptedRandom zero;  // pixel (0, 0) raised by 0
    ASSERT_EQ(RecodeGif(path, TPicEncodeSettings{2, 0, 0, 80}, zero), 0);
    const GifView v = ReadGif(path);
    ASSERT_EQ(v.Frames, 1);
    EXPECT_EQ(v.Palette[v.Indices[5]], 0xFFFFFFu);
    EXPECT_EQ(v.Palette[v.Indices[0]], 0x008000u);
}

TEST(PicturePng, PaletteFileAsAnotherDecoderSeesIt) {
    TempFolder tmp;
    // Noise compresses badly, so the data needs several IDAT chunks.
    const std::string pngBytes = QtBytes(Noise(600, 400), "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string path = tmp.File("n.png", pngBytes);
    NineRandom rng;
    ASSERT_EQ(RecodePng(path, TPicEncodeSettings{2, 0, 0, 80}, rng), 0);
    const std::string f = ReadFileBytes(path);
    ASSERT_EQ(f.compare(0, 8, "\x89PNG\r\n\x1A\n"), 0);
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(f[at])) << 24) | (uint32_t(uint8_t(f[at + 1])) << 16) |
               (uint32_t(uint8_t(f[at + 2])) << 8) | uint8_t(f[at + 3]);
    };
    std::string idat;
    int idatChunks = 0;
    uint32_t width = 0, height = 0, paletteLen = 0;
    for (size_t at = 8; at + 8 <= f.size();) {
        const uint32_t len = be32(at);
        const std::string type = f.substr(at + 4, 4);
        ASSERT_LE(at + 12 + len, f.size());
        if (type == "IHDR") {
            width = be32(at + 8);
            height = be32(at + 12);
            EXPECT_EQ(uint8_t(f[at + 16]), 8) << "bit depth";
            EXPECT_EQ(uint8_t(f[at + 17]), 3) << "colour type";
            EXPECT_EQ(uint8_t(f[at + 20]), 0) << "interlace";
        } else if (type == "PLTE") {
            paletteLen = len;
        } else if (type == "IDAT") {
            EXPECT_LE(len, 65535u);
            idat += f.substr(at + 8, len);
            ++idatChunks;
        }
        at += 12 + len;
    }
    EXPECT_EQ(width, 600u);
    EXPECT_EQ(height, 400u);
    EXPECT_EQ(paletteLen, 768u);
    EXPECT_GT(idatChunks, 1);
    std::string raw((width + 1) * height, '\0');
    uLongf rawLen = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLen,
                         reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
              Z_OK);
    ASSERT_EQ(rawLen, raw.size());
    int notSub = 0;
    for (uint32_t y = 0; y < height; ++y)
        if (raw[y * (width + 1)] != 1) ++notSub;
    EXPECT_EQ(notSub, 0);
}

TEST(PicturePng, TransparencyWhiteAndFewColoursKept) {
    TempFolder tmp;
    QImage src(6, 4, QImage::Format_ARGB32);
    src.fill(QColor(20, 160, 90));
    src.setPixelColor(4, 2, QColor(0, 0, 0, 0));
    const std::string pngBytes = QtBytes(src, "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string path = tmp.File("a.png", pngBytes);
    ScriptedRandom zero;
    ASSERT_EQ(RecodePng(path, TPicEncodeSettings{2, 0, 0, 80}, zero), 0);
    const QImage out = ReadPng(path);
    ASSERT_EQ(out.size(), QSize(6, 4));
    EXPECT_EQ(out.format(), QImage::Format_Indexed8);
    EXPECT_EQ(Rgb(out, 4, 2), 0xFFFFFFu);
    EXPECT_EQ(Rgb(out, 1, 1), 0x14A05Au);
}

// ---- pictures as cameras, phones and print software write them ----

namespace {

// Four flat quarters of ink as stored in a CMYK file.
std::array<uint8_t, 4> QuarterInk(int x, int y, int w, int h) {
    static const std::array<uint8_t, 4> inks[4] = {
        {20, 230, 200, 250}, {240, 90, 10, 200}, {128, 128, 128, 128}, {255, 255, 255, 0}};
    return inks[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
}

bool HaveMagick() { return !SystemTool("convert").empty(); }

}  // namespace

TEST(PictureJpeg, CmykAndYcckAsImageMagickShowsThem) {
    if (!HaveMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempFolder tmp;
    for (bool ycck : {false, true}) {
        const std::string bytes =
            FourComponentJpeg(32, 16, [](int x, int y) { return QuarterInk(x, y, 32, 16); }, ycck, true);
        const std::string path = tmp.File(ycck ? "ycck.jpg" : "cmyk.jpg", bytes);
        const auto seen = MagickView(path, "-colorspace sRGB");
        ASSERT_TRUE(seen) << path;
        const QImage mine = DecodeJpeg(bytes);
        EXPECT_LE(MaxDiff(*seen, mine), 3) << path;

        // Re-encoded like any JPEG, the make goes on.
        NineRandom rng;
        ASSERT_EQ(RecodeJpeg(path, TPicEncodeSettings{2, 0, 0, 100}, rng), 0) << path;
        const QImage sent = DecodeJpeg(ReadFileBytes(path));
        ASSERT_EQ(sent.size(), seen->size());
        // Away from the quarters' edges, which colour subsampling blurs.
        for (QPoint at : {QPoint(8, 4), QPoint(24, 4), QPoint(8, 12), QPoint(24, 12)})
            EXPECT_LE(MaxDiff(seen->copy(QRect(at, QSize(1, 1))), sent.copy(QRect(at, QSize(1, 1)))), 4)
                << path << " at " << at.x() << "," << at.y();
    }
}

TEST(PictureJpeg, CmykWithoutTheAdobeMarkerHoldsPlainInk) {
    // Without the marker, 0 is no ink: cyan alone gives (0, 255, 255); with it the
    // same bytes are inverted, 255 meaning no ink.
    const std::string plain = FourComponentJpeg(8, 8, [](int, int) { return std::array<uint8_t, 4>{255, 0, 0, 0}; },
                                                false, false);
    const QImage p = DecodeJpeg(plain);
    EXPECT_LE(MaxDiff(p, [] { QImage i(8, 8, QImage::Format_RGB888); i.fill(QColor(0, 255, 255)); return i; }()), 2);
    const std::string adobe = FourComponentJpeg(8, 8, [](int, int) { return std::array<uint8_t, 4>{255, 0, 0, 255}; },
                                                false, true);
    const QImage a = DecodeJpeg(adobe);
    EXPECT_LE(MaxDiff(a, [] { QImage i(8, 8, QImage::Format_RGB888); i.fill(QColor(255, 0, 0)); return i; }()), 2);
}

TEST(PicturePng, EveryKindDrawnOnWhiteAsImageMagickFlattensIt) {
    // The values of the faults seen: grey 128 and (0, 40, 200) at 16 bits, 50% black.
    const uint16_t g16 = 0x8080, half16 = 0x8000;
    png_color pal[3] = {{0, 0, 0}, {0, 40, 200}, {250, 250, 0}};
    const struct Case {
        const char* name;
        TPngLayout layout;
        std::array<int, 3> first;  // pixel (0, 0) as it must come out
    } cases[] = {
        {"grey 16", {2, 1, PNG_COLOR_TYPE_GRAY, 16, false, {g16, 0xFFFF}, {}, {}}, {128, 128, 128}},
        {"rgb 16", {2, 1, PNG_COLOR_TYPE_RGB, 16, false, {0, 40 * 257, 200 * 257, g16, g16, g16}, {}, {}},
         {0, 40, 200}},
        {"rgba 8 half black", {2, 1, PNG_COLOR_TYPE_RGBA, 8, false, {0, 0, 0, 128, 10, 200, 30, 255}, {}, {}},
         {127, 127, 127}},
        {"rgba 16 half black",
         {2, 1, PNG_COLOR_TYPE_RGBA, 16, false, {0, 0, 0, half16, 0, 40 * 257, 200 * 257, 0xFFFF}, {}, {}},
         {127, 127, 127}},
        {"grey alpha 8", {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {0, 64, 200, 255}, {}, {}}, {191, 191, 191}},
        {"palette tRNS", {3, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {0, 1, 2}, {pal, pal + 3}, {128, 255}},
         {127, 127, 127}},
        {"grey 2 bits", {4, 1, PNG_COLOR_TYPE_GRAY, 2, false, {0, 1, 2, 3}, {}, {}}, {0, 0, 0}},
        {"interlaced rgba 16",
         {9, 9, PNG_COLOR_TYPE_RGBA, 16, true, {}, {}, {}},
         {0, 0, 0}},
    };
    TempFolder tmp;
    for (auto c : cases) {
        if (c.layout.Samples.empty()) {
            // A gradient of colour and alpha over the whole picture.
            for (int y = 0; y < c.layout.H; ++y)
                for (int x = 0; x < c.layout.W; ++x)
                    for (int k = 0; k < 4; ++k)
                        c.layout.Samples.push_back(
                            static_cast<uint16_t>(k == 3 ? 65535 - 7000 * x : (x * 7 + y * 5 + k * 90) * 257 % 65536));
            c.first = {0, 0, 0};
        }
        const std::string bytes = PngFile(c.layout);
        const QImage mine = DecodePng(bytes);
        ASSERT_EQ(mine.size(), QSize(c.layout.W, c.layout.H)) << c.name;
        if (std::string(c.name) != "interlaced rgba 16") {
            const QRgb p = mine.pixel(0, 0);
            EXPECT_NEAR(qRed(p), c.first[0], 2) << c.name;
            EXPECT_NEAR(qGreen(p), c.first[1], 2) << c.name;
            EXPECT_NEAR(qBlue(p), c.first[2], 2) << c.name;
        }
        if (HaveMagick()) {
            const std::string path = tmp.File("p.png", bytes);
            const auto seen = MagickView(path, "-background white -flatten");
            ASSERT_TRUE(seen) << c.name;
            EXPECT_LE(MaxDiff(*seen, mine), 2) << c.name;
        }
    }
}

TEST(PicturePng, SixteenBitPictureReEncodedWithItsOwnColours) {
    TempFolder tmp;
    const std::string path = tmp.File(
        "s.png", PngFile({2, 2, PNG_COLOR_TYPE_RGB, 16, false,
                          {0x8080, 0x8080, 0x8080, 0, 40 * 257, 200 * 257, 0, 40 * 257, 200 * 257,
                           0x8080, 0x8080, 0x8080},
                          {},
                          {}}));
    ScriptedRandom zero;
    ASSERT_EQ(RecodePng(path, TPicEncodeSettings{2, 0, 0, 80}, zero), 0);
    const QImage out = ReadPng(path);
    ASSERT_EQ(out.size(), QSize(2, 2));
    EXPECT_EQ(Rgb(out, 0, 0), 0x808080u);
    EXPECT_EQ(Rgb(out, 1, 0), 0x0028C8u);
}

TEST(PictureBmp, PixelDataShorterThanTheHeaderSaysIsDamaged) {
    const QImage src = Quarters(20, 10);
    const struct Case {
        const char* name;
        QImage pic;
    } cases[] = {{"24 bits", src},
                 {"8 bits", src.convertToFormat(QImage::Format_Indexed8)},
                 {"32 bits", src.convertToFormat(QImage::Format_RGB32)}};
    for (const auto& c : cases) {
        const std::string whole = QtBytes(c.pic, "BMP");
        EXPECT_FALSE(whole.empty()) << c.name;
        EXPECT_EQ(DecodeBmp(whole).size(), src.size()) << c.name;
        EXPECT_NO_THROW(DecodeBmp(whole + "trailing bytes")) << c.name;
        const uint32_t off = uint8_t(whole[10]) | uint8_t(whole[11]) << 8;
        const std::string half = whole.substr(0, off + (whole.size() - off) / 2);
        EXPECT_THROW(DecodeBmp(half), std::runtime_error) << c.name;
        EXPECT_THROW(DecodeBmp(whole.substr(0, whole.size() - 1)), std::runtime_error) << c.name;
    }
}

TEST(PictureJpeg, ExifOrientationAppliedAsImageMagickAutoOrients) {
    TempFolder tmp;
    const std::string plain = JpegBytes(Quarters(24, 16), 100);
    for (bool big : {false, true})
        for (int o = 1; o <= 8; ++o) {
            const std::string bytes = WithExifOrientation(plain, o, big);
            EXPECT_EQ(JpegOrientation(bytes), o);
            const QImage mine = DecodeJpeg(bytes);
            EXPECT_EQ(mine.size(), o >= 5 ? QSize(16, 24) : QSize(24, 16)) << o;
            if (!HaveMagick()) continue;
            const auto seen = MagickView(tmp.File("o.jpg", bytes), "-auto-orient");
            ASSERT_TRUE(seen) << o;
            EXPECT_LE(MaxDiff(*seen, mine), 2) << "orientation " << o << (big ? " MM" : " II");
        }
    EXPECT_EQ(JpegOrientation(plain), 1);
    EXPECT_EQ(JpegOrientation(WithExifOrientation(plain, 9, false)), 1);
}

TEST_F(PictureMaker, SidewaysPhonePhotoGoesUprightAndModeOneKeepsItsBytes) {
    // Stored 40 x 24 with tag 6: upright it is 24 x 40, and fits "176X210" as
    // 126 x 210 (r = min(7.33, 5.25)).
    const QImage stored = Quarters(40, 24);
    const std::string bytes = WithExifOrientation(JpegBytes(stored, 100), 6, false);
    const std::string path = tmp.File("1.jpg", bytes);
    AddPicturePage(path);
    maker.FPicEncodeMode = 3;
    maker.FPicEncodeInfo = "176X210";
    maker.MakeMms(OutPath());
    auto parts = MessageParts(ReadFileBytes(OutPath()));
    ASSERT_EQ(parts.size(), 2u);
    const QImage sent = DecodeJpeg(parts[1].second);
    ASSERT_EQ(sent.size(), QSize(126, 210));
    EXPECT_EQ(JpegOrientation(parts[1].second), 1);
    // Turned clockwise: the stored top-left quarter is now the top-right one.
    const QColor topRight = sent.pixelColor(115, 30), storedTopLeft = stored.pixelColor(5, 5);
    EXPECT_NEAR(topRight.red(), storedTopLeft.red(), 8);
    EXPECT_NEAR(topRight.blue(), storedTopLeft.blue(), 8);

    maker.FPicEncodeMode = 2;
    maker.MakeMms(OutPath());
    parts = MessageParts(ReadFileBytes(OutPath()));
    EXPECT_EQ(DecodeJpeg(parts[1].second).size(), QSize(24, 40));

    maker.FPicEncodeMode = 1;
    maker.MakeMms(OutPath());
    parts = MessageParts(ReadFileBytes(OutPath()));
    EXPECT_EQ(parts[1].second, bytes);
}

TEST_F(PictureMaker, BitmapsJpegNeverReplacesAnotherPagesPicture) {
    // Working copies are named per extension: one page's "1234.bmp" and another
    // page's "1234.jpg" stand side by side.
    QImage red(16, 16, QImage::Format_RGB888), blue(16, 16, QImage::Format_RGB888);
    red.fill(QColor(220, 20, 20));
    blue.fill(QColor(20, 20, 220));
    const std::string bmpBytes = QtBytes(red, "BMP");
    EXPECT_FALSE(bmpBytes.empty());
    const std::string bmp = tmp.File("1234.bmp", bmpBytes);
    const std::string jpgBytes = JpegBytes(blue);
    const std::string jpg = tmp.File("1234.jpg", jpgBytes);
    AddPicturePage(bmp);
    AddPicturePage(jpg);
    maker.FPicEncodeMode = 2;
    maker.MakeMms(OutPath());
    EXPECT_EQ(ReadFileBytes(jpg), jpgBytes);
    const auto parts = MessageParts(ReadFileBytes(OutPath()));
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_NEAR(DecodeJpeg(parts[1].second).pixelColor(8, 8).red(), 220, 6);
    EXPECT_NEAR(DecodeJpeg(parts[2].second).pixelColor(8, 8).blue(), 220, 6);

    // Called on its own it picks the next free name; a link is never followed.
    NineRandom rng;
    EXPECT_EQ(BmpToJpeg(bmp, TPicEncodeSettings{2, 0, 0, 80}, rng), tmp.Path() + "1234-1.jpg");
    EXPECT_EQ(ReadFileBytes(jpg), jpgBytes);
    TempFolder outside;
    std::filesystem::create_symlink(outside.Path() + "victim.jpg", tmp.Path() + "1234-2.jpg");
    EXPECT_EQ(BmpToJpeg(bmp, TPicEncodeSettings{2, 0, 0, 80}, rng), tmp.Path() + "1234-3.jpg");
    EXPECT_FALSE(std::filesystem::exists(outside.Path() + "victim.jpg"));
}

TEST_F(PictureMaker, FreshCopyNeverFollowsALink) {
    const std::string pngBytes = QtBytes(Quarters(8, 8), "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string png = tmp.File("1234.png", pngBytes);
    TempFolder outside;
    const std::string victim = outside.File("victim.png", "keep me");
    std::filesystem::create_symlink(victim, tmp.Path() + "1234-1.png");
    AddPicturePage(png);
    maker.FPicEncodeMode = 2;
    maker.MakeMms(OutPath());
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(tmp.Path() + "1234-1.png"));
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "1234-2.png"));
}

// ---- through the maker ----

TEST_F(PictureMaker, ModeOneSendsEveryPictureAsItIs) {
    // Not even pictures: nothing may look inside them.
    const std::string jpg = tmp.File("1.jpg", "JPG-BYTES"), gif = tmp.File("2.GIF", "GIF-BYTES"),
                      png = tmp.File("3.png", "PNG-BYTES"), bmp = tmp.File("4.bmp", "BMP-BYTES");
    AddPicturePage(jpg, gif);
    AddPicturePage(png, bmp);
    maker.FPicEncodeMode = 1;
    maker.MakeMms(OutPath());
    const std::string out = ReadFileBytes(OutPath());
    for (const char* bytes : {"JPG-BYTES", "GIF-BYTES", "PNG-BYTES", "BMP-BYTES"}) EXPECT_TRUE(Contains(out, bytes));
    EXPECT_EQ(ReadFileBytes(jpg), "JPG-BYTES");
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "4.jpg"));
}

TEST_F(PictureMaker, ModeTwoKeepsSizesAndChangesOnePixel) {
    const QImage photo = Photo(48, 32), flat = Quarters(48, 32);
    const std::string jpg = tmp.File("1.jpg", JpegBytes(photo));
    const QImage jpgSource = DecodeJpeg(ReadFileBytes(jpg));
    const std::string pngBytes = QtBytes(flat, "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string png = tmp.File("2.png", pngBytes);
    TGifEncoder plain;
    const std::string gif = tmp.File("3.gif", plain.Encode(flat));
    QImage indexed = flat.convertToFormat(QImage::Format_Indexed8);
    const std::string bmpBytes = QtBytes(indexed, "BMP");
    EXPECT_FALSE(bmpBytes.empty());
    const std::string bmp = tmp.File("4.Bmp", bmpBytes);
    const std::vector<std::string> files = {jpg, png, gif, bmp};
    std::vector<std::string> before;
    for (const auto& f : files) before.push_back(ReadFileBytes(f));
    AddPicturePage(jpg, gif);  // a picture attachment is re-encoded too
    AddPicturePage(png, bmp);
    maker.FPicEncodeMode = 2;
    maker.FJpegQuality = 100;
    maker.MakeMms(OutPath());
    const auto parts = MessageParts(ReadFileBytes(OutPath()));
    // SMIL, then page by page picture and attachment.
    ASSERT_EQ(parts.size(), 5u);

    // JPEG: lossy, so the rest of the picture only stays close.
    const QImage j = DecodeJpeg(parts[1].second);
    ASSERT_EQ(j.size(), photo.size());
    EXPECT_LE(MaxDiff(jpgSource, j, 0, 0), 6);
    for (int d : DiffAt(jpgSource, j, 0, 0)) EXPECT_NEAR(d, 9, 3);

    // PNG and GIF keep few colours exactly: one pixel raised by 9, nothing else.
    const QImage p = DecodePng(parts[3].second);
    ASSERT_EQ(p.size(), flat.size());
    EXPECT_EQ(MaxDiff(flat, p, 0, 0), 0);
    EXPECT_EQ(DiffAt(flat, p, 0, 0), (std::array<int, 3>{9, 9, 9}));
    const std::string gifOut = tmp.File("sent.gif", parts[2].second);
    const GifView g = ReadGif(gifOut);
    ASSERT_EQ(g.W, 48);
    ASSERT_EQ(g.H, 32);
    EXPECT_EQ(g.Palette[g.Indices[0]], Rgb(flat, 0, 0) + 0x090909u);
    EXPECT_EQ(g.Palette[g.Indices[47]], Rgb(flat, 47, 0));
    std::filesystem::remove(gifOut);

    // The bitmap goes as a JPEG of it.
    const QImage b = DecodeJpeg(parts[4].second);
    ASSERT_EQ(b.size(), flat.size());
    EXPECT_NE(parts[4].second, before[3]);

    // The pages' own files are never changed, and the fresh copies are gone again.
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadFileBytes(files[i]), before[i]) << files[i];
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp.Path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"1.jpg", "2.png", "3.gif", "4.Bmp", "0000.smil", "out.mms"}));
}

TEST_F(PictureMaker, BitmapsOfEveryDepthBecomeJpegs) {
    // The change lands on pixel (0, 0) whatever the file's own depth; the bitmap
    // passes the change twice (once as a bitmap, once as the new JPEG).
    QImage mono(16, 16, QImage::Format_Mono);
    mono.fill(0);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    // Flat colours, so that JPEG's colour subsampling loses nothing around them.
    QImage flat(16, 16, QImage::Format_RGB888);
    flat.fill(QColor(100, 150, 200));
    const QImage pictures[] = {mono, flat.convertToFormat(QImage::Format_Indexed8),
                               flat.convertToFormat(QImage::Format_RGB32), flat};
    for (const QImage& pic : pictures) {
        const std::string bmpBytes = QtBytes(pic, "BMP");
        EXPECT_FALSE(bmpBytes.empty());
        const std::string bmp = tmp.File("b.bmp", bmpBytes);
        std::string path = bmp;
        maker.FPicEncodeMode = 2;
        maker.FJpegQuality = 100;
        maker.RecodePicture(path);
        EXPECT_EQ(path, tmp.Path() + "b.jpg");
        const QImage out = DecodeJpeg(ReadFileBytes(path));
        const QImage ref = pic.convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(out.size(), ref.size()) << pic.format();
        for (int d : DiffAt(ref, out, 0, 0)) EXPECT_NEAR(d, 18, 4) << pic.format();
        EXPECT_LE(MaxDiff(ref, out, 0, 0), 6) << pic.format();
        std::filesystem::remove(path);
    }
}

TEST_F(PictureMaker, ModeThreeFitsTheBox) {
    const std::string jpg = tmp.File("1.jpg", JpegBytes(Photo(352, 288)));
    const std::string pngBytes = QtBytes(Quarters(100, 100), "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string png = tmp.File("2.png", pngBytes);
    const std::string gif = tmp.File("3.gif", GifBytes(4, 2, {std::vector<uint8_t>(8, 1)}));
    AddPicturePage(jpg, gif);
    AddPicturePage(png);
    maker.FPicEncodeMode = 3;
    maker.FPicEncodeInfo = "176X210";
    maker.MakeMms(OutPath());
    const auto parts = MessageParts(ReadFileBytes(OutPath()));
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(DecodeJpeg(parts[1].second).size(), QSize(176, 144));
    EXPECT_EQ(DecodePng(parts[3].second).size(), QSize(176, 176));
    const GifView g = ReadGif(tmp.File("sent.gif", parts[2].second));
    EXPECT_EQ(g.W, 176);
    EXPECT_EQ(g.H, 88);
    // The pages keep their pictures at their own sizes.
    EXPECT_EQ(DecodeJpeg(ReadFileBytes(jpg)).size(), QSize(352, 288));
}

// Fitting a JPEG into the box decodes it reduced; what is sent must be what the
// full-size decode and fit would send: the same size and nearly the same pixels.
TEST(PictureFit, ReducedJpegDecodeMatchesTheFullSizePath) {
    const struct Case {
        int w, h, boxW, boxH, orientation;
    } cases[] = {
        {3000, 2000, 176, 210, 1},  // 1/8 of the photo covers the box
        {3001, 1999, 176, 210, 1},  // sides that eighths do not divide
        {1203, 907, 320, 240, 1},   // 3/8
        {1000, 700, 900, 900, 1},   // 7/8: barely shrunk
        {400, 300, 176, 210, 6},    // sideways: the box holds the upright picture
        {120, 80, 176, 210, 1},     // enlarged: decoded whole
    };
    NineRandom rng;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " into " + std::to_string(c.boxW) + "X" +
                     std::to_string(c.boxH));
        TempFolder t;
        QImage src = Photo(c.w, c.h);
        // Sensor-like noise, which the area the box averages must not turn into blotches.
        std::mt19937 gen(3);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < 3 * c.w; ++x)
                src.scanLine(y)[x] = static_cast<uchar>(std::clamp(int(src.scanLine(y)[x]) + int(gen() % 17) - 8, 0, 255));
        std::string bytes = JpegBytes(src, 90);
        if (c.orientation != 1) bytes = WithExifOrientation(bytes, c.orientation, false);
        const TPicEncodeSettings s{3, c.boxW, c.boxH, 85};

        QImage whole = DecodeJpeg(bytes);
        PreparePicture(whole, s, rng);
        const QImage fullPath = DecodeJpeg(EncodeJpeg(whole, 85));

        const std::string path = t.File("p.jpg", bytes);
        ASSERT_EQ(RecodeJpeg(path, s, rng), 0);
        const QImage sent = DecodeJpeg(ReadFileBytes(path));
        ASSERT_EQ(sent.size(), fullPath.size());
        double sq = 0;
        for (int y = 0; y < sent.height(); ++y)
            for (int x = 0; x < 3 * sent.width(); ++x) {
                const double d = double(sent.constScanLine(y)[x]) - fullPath.constScanLine(y)[x];
                sq += d * d;
            }
        const double mse = sq / (3.0 * sent.width() * sent.height());
        const double psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
        EXPECT_GE(psnr, 35.0);
    }
}

TEST_F(PictureMaker, UndecodablePictureStopsTheMakeAndKeepsTheFile) {
    const std::string goodJpeg = JpegBytes(Photo(40, 30));
    const std::string goodBmp = QtBytes(Photo(40, 30), "BMP"), goodPng = QtBytes(Noise(40, 30), "PNG");
    EXPECT_FALSE(goodBmp.empty());
    EXPECT_FALSE(goodPng.empty());
    const struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"1.jpg", "not a jpeg"},
        {"2.jpg", goodJpeg.substr(0, goodJpeg.size() / 2)},  // cut short
        {"3.gif", "GIF89a\x04\x00"},
        {"4.png", "\x89PNG\r\n\x1A\nrest"},
        {"5.bmp", "BM not a bitmap"},
        {"6.png", goodJpeg},  // a JPEG under a PNG name
        {"7.bmp", goodBmp.substr(0, goodBmp.size() / 2)},  // half of its rows missing
        {"8.png", goodPng.substr(0, goodPng.size() / 2)},
    };
    maker.FPicEncodeMode = 2;
    for (const auto& c : cases) {
        const std::string path = tmp.File(c.name, c.bytes);
        AddPicturePage(path);
        EXPECT_THROW(maker.MakeMms(OutPath()), std::runtime_error) << c.name;
        EXPECT_FALSE(std::filesystem::exists(OutPath())) << c.name;
        EXPECT_EQ(ReadFileBytes(path), c.bytes) << c.name;
        maker.ClearPages();
    }
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "5.jpg"));
    EXPECT_EQ(CountEndingWith(".writing"), 0);
    // Nothing but the pages' files and the SMIL document is left behind.
    std::set<std::string> names, want{"0000.smil"};
    for (const auto& c : cases) want.insert(c.name);
    for (const auto& e : std::filesystem::directory_iterator(tmp.Path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, want);
}

TEST_F(PictureMaker, EveryFileOfABatchCarriesTheSamePicture) {
    // Each make re-encodes a fresh copy of the page's picture: the tenth file is
    // no further from it than the first, in either re-encoding mode.
    const std::string pngBytes = QtBytes(Quarters(48, 32), "PNG");
    EXPECT_FALSE(pngBytes.empty());
    const std::string png = tmp.File("1.png", pngBytes);
    const std::string jpg = tmp.File("2.jpg", JpegBytes(Photo(48, 32), 90));
    const std::string pngBefore = ReadFileBytes(png), jpgBefore = ReadFileBytes(jpg);
    AddPicturePage(png);
    AddPicturePage(jpg);
    maker.FPicEncodeInfo = "176X210";
    for (int mode : {2, 3}) {
        maker.FPicEncodeMode = mode;
        std::vector<std::pair<std::string, std::string>> first;
        for (int k = 0; k < 10; ++k) {
            maker.MakeMms(OutPath());
            const auto parts = MessageParts(ReadFileBytes(OutPath()));
            ASSERT_EQ(parts.size(), 3u);
            if (k == 0) first = parts;
            EXPECT_EQ(parts[1].second, first[1].second) << "mode " << mode << ", file " << k;
            EXPECT_EQ(parts[2].second, first[2].second) << "mode " << mode << ", file " << k;
        }
        EXPECT_EQ(ReadFileBytes(png), pngBefore);
        EXPECT_EQ(ReadFileBytes(jpg), jpgBefore);
    }
}

TEST(ChooserThumbnail, TakesWhatTheReEncoderTakes) {
    TempFolder t;
    const std::string whole = EncodeJpeg(Quarters(64, 48), 90);
    // Cut in half: the re-encoder refuses it, so it is not listed either.
    t.File("half.jpg", whole.substr(0, whole.size() / 2));
    EXPECT_THROW(DecodeJpeg(ReadFileBytes(t.Path() + "half.jpg")), std::runtime_error);
    EXPECT_FALSE(LoadThumbnail(t.Path() + "half.jpg", 100, 100));

    // Stored sideways (tag 6): the thumbnail is upright, a portrait in the box,
    // with the stored left half on top.
    QImage sideways(80, 40, QImage::Format_RGB888);
    sideways.fill(Qt::blue);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) sideways.setPixelColor(x, y, Qt::red);
    t.File("turned.jpg", WithExifOrientation(EncodeJpeg(sideways, 95), 6, false));
    auto turned = LoadThumbnail(t.Path() + "turned.jpg", 100, 100);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->pixelColor(5, 50), QColor(Qt::white));  // left of a 50-wide portrait
    EXPECT_GT(turned->pixelColor(50, 20).red(), 200);
    EXPECT_GT(turned->pixelColor(50, 80).blue(), 200);

    // A 48-megapixel photo (8000 x 6000) is listed.
    QImage big(8000, 6000, QImage::Format_RGB888);
    big.fill(QColor(30, 120, 210));
    t.File("big.jpg", EncodeJpeg(big, 75));
    big = QImage();
    auto thumb = LoadThumbnail(t.Path() + "big.jpg", 100, 100);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size(), QSize(100, 100));
    EXPECT_NEAR(thumb->pixelColor(50, 50).blue(), 210, 4);
}

// A JPEG that fits within twice the box needs no reduced decode: mode 3 sends
// exactly what the full-size decode with the careful transforms and the fit send.
TEST(PictureFit, JpegNeedingNoReductionIsDecodedAtFullQuality) {
    const struct Case {
        int w, h, boxW, boxH, orientation;
    } cases[] = {
        {120, 80, 176, 210, 1},   // enlarged
        {300, 400, 176, 210, 1},  // shrunk by less than half
        {400, 300, 176, 210, 6},  // sideways: the upright picture is what fits
    };
    NineRandom rng;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " orientation " +
                     std::to_string(c.orientation));
        TempFolder t;
        std::string bytes = JpegBytes(Photo(c.w, c.h), 90);
        if (c.orientation != 1) bytes = WithExifOrientation(bytes, c.orientation, false);
        const TPicEncodeSettings s{3, c.boxW, c.boxH, 85};
        QSize full;
        const QImage boxed = DecodeJpeg(bytes, 2 * c.boxW, 2 * c.boxH, &full);
        const QImage whole = DecodeJpeg(bytes);
        EXPECT_EQ(full, whole.size());
        EXPECT_EQ(MaxDiff(boxed, whole), 0);
        QImage fitted = whole;
        PreparePicture(fitted, s, rng);
        const std::string path = t.File("p.jpg", bytes);
        ASSERT_EQ(RecodeJpeg(path, s, rng), 0);
        EXPECT_EQ(ReadFileBytes(path), EncodeJpeg(fitted, 85));
    }
}

// The decode size the make's memory budget counts for a JPEG fitted into a box is
// the one the decoder then gives, also where the sides round up to the next
// eighth and where the orientation turns the picture.
TEST(PictureFit, JpegDecodeSizeIsWhatTheDecoderGives) {
    const struct Case {
        int w, h, boxW, boxH, orientation;
    } cases[] = {
        {3001, 1999, 352, 420, 1},  // 1/8, sides that eighths do not divide
        {1203, 907, 640, 480, 1},   // rounded up to 5/8
        {1000, 700, 900, 900, 1},   // 8/8: barely shrunk
        {1203, 907, 352, 420, 6},   // sideways: the box holds the upright picture
        {907, 1203, 352, 420, 8},   // and turned the other way
        {120, 80, 352, 420, 1},     // enlarged: decoded whole
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " orientation " +
                     std::to_string(c.orientation));
        std::string bytes = JpegBytes(Photo(c.w, c.h), 80);
        if (c.orientation != 1) bytes = WithExifOrientation(bytes, c.orientation, false);
        const bool sideways = c.orientation >= 5;
        const TJpegDecodeSize d =
            JpegDecodeSize(sideways ? c.h : c.w, sideways ? c.w : c.h, c.boxW, c.boxH);
        EXPECT_EQ(DecodeJpeg(bytes, c.boxW, c.boxH).size(), QSize(int(d.W), int(d.H)));
    }
}

namespace {

// The JPEG with count application segments of size bytes each (even) after its
// start marker: data the decoder skips without keeping it, made of end markers,
// so that a skip that falls short ends the picture.
std::string WithSkippedSegments(const std::string& jpeg, int count, size_t size) {
    std::string segments;
    for (int i = 0; i < count; ++i) {
        segments += "\xFF\xE2";
        segments += static_cast<char>((size + 2) >> 8);
        segments += static_cast<char>((size + 2) & 0xFF);
        for (size_t k = 0; k < size; k += 2) segments += "\xFF\xD9";
    }
    return jpeg.substr(0, 2) + segments + jpeg.substr(2);
}

}  // namespace

// A JPEG read from its file, in pieces, gives what its bytes in memory give: a
// small file, one larger than a piece, and one whose skipped segments run over
// the end of the first piece. Cut short, or empty, it is damaged, and the
// re-encoder leaves it as it was.
TEST(PictureJpeg, FileReadInPiecesGivesWhatItsBytesGive) {
    const struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"small.jpg", JpegBytes(Photo(64, 48), 90)},
        {"large.jpg", JpegBytes(Noise(640, 480), 95)},
        {"segments.jpg", WithSkippedSegments(JpegBytes(Photo(64, 48), 90), 6, 65000)},
    };
    TempFolder t;
    NineRandom rng;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = t.File(c.name, c.bytes);
        EXPECT_EQ(MaxDiff(DecodeJpegFile(path), DecodeJpeg(c.bytes)), 0);
        EXPECT_EQ(MaxDiff(DecodeJpeg(TPictureStream(path), 32, 32), DecodeJpeg(c.bytes, 32, 32)),
                  0);
        const std::string cut = c.bytes.substr(0, c.bytes.size() - c.bytes.size() / 4);
        t.File(c.name, cut);
        EXPECT_THROW(DecodeJpegFile(path), std::runtime_error);
        EXPECT_THROW(RecodeJpeg(path, TPicEncodeSettings{3, 176, 210, 80}, rng),
                     std::runtime_error);
        EXPECT_EQ(ReadFileBytes(path), cut);
    }
    const std::string empty = t.File("empty.jpg", "");
    EXPECT_THROW(DecodeJpegFile(empty), std::runtime_error);
    EXPECT_THROW(RecodeJpeg(empty, TPicEncodeSettings{2, 0, 0, 80}, rng), std::runtime_error);
    try {
        RecodeJpeg(t.Path() + "gone.jpg", TPicEncodeSettings{2, 0, 0, 80}, rng);
        ADD_FAILURE() << "a missing file was re-encoded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "无法打开文件 " + t.Path() + "gone.jpg: 文件或文件夹不存在");
    }
}

// A photo far larger than a thumbnail comes out of its file no larger than the
// thumbnail needs, upright, averaged as the toolkit's smooth scaling of the
// DCT-scaled picture would give it: stored as it stands, and stored turned.
TEST(ChooserThumbnail, LargePhotoIsAveragedIntoTheBoxAsItIsRead) {
    const struct Case {
        int orientation;
        QSize reduced;  // 1/8 gives 500 x 375 (upright), five times what fits the box
        QRect placed;   // where the thumbnail shows it
    } cases[] = {
        {1, QSize(100, 75), QRect(0, 12, 100, 75)},
        {6, QSize(75, 100), QRect(12, 0, 75, 100)},
        {3, QSize(100, 75), QRect(0, 12, 100, 75)},
        {8, QSize(75, 100), QRect(12, 0, 75, 100)},
    };
    TempFolder t;
    const std::string plain = JpegBytes(Photo(4000, 3000), 85);
    for (const auto& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        const std::string bytes =
            c.orientation == 1 ? plain : WithExifOrientation(plain, c.orientation, false);
        const std::string path = t.File("big.jpg", bytes);
        QSize full;
        const QImage reduced = DecodeJpegFile(path, 100, 100, &full);
        EXPECT_EQ(full, c.orientation >= 5 ? QSize(3000, 4000) : QSize(4000, 3000));
        EXPECT_EQ(reduced.size(), c.reduced);
        const QImage scaled = SmoothScaled(DecodeJpeg(bytes, 100, 100), c.reduced.width(),
                                           c.reduced.height());
        EXPECT_LE(MaxDiff(reduced, scaled.convertToFormat(QImage::Format_RGB888)), 3);
        auto thumb = LoadThumbnail(path, 100, 100);
        ASSERT_TRUE(thumb);
        EXPECT_EQ(thumb->pixelColor(0, 0), QColor(Qt::white));  // a margin, the picture centred
        EXPECT_EQ(MaxDiff(thumb->copy(c.placed), reduced), 0);
    }
}
