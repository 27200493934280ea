// Writes the picture fuzz targets' seed corpora, one folder per format under the
// given folder (fuzz_seeds_jpeg, fuzz_seeds_gif, fuzz_seeds_png, fuzz_seeds_bmp):
// small pictures of each kind the decoders take, made by the tests' own picture
// makers, and the small hostile files of the picture tests.
// Usage: make_picture_seeds <folder>
#include <cstdio>
#include <filesystem>
#include <string>

#include "../picture_bombs.h"
#include "../picture_test_support.h"
#include "picture_codecs.h"
#include "picture_recode.h"
#include "string_list.h"

namespace fs = std::filesystem;

namespace {

// A small picture of a few colours with a smooth part: palettes and
// quantisers have something to do, and the files stay small.
QImage Sample(int w, int h) {
    QImage img = bombs::Photo(w, h);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 3; ++x) img.setPixelColor(x, y, QColor(200, 30, 40));
    return img;
}

TPngLayout Layout(int colorType, int depth, bool interlaced) {
    TPngLayout l;
    l.W = 7, l.H = 5, l.ColorType = colorType, l.Depth = depth, l.Interlaced = interlaced;
    const int channels = colorType == PNG_COLOR_TYPE_RGB          ? 3
                         : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                  : 1;
    const unsigned top = (1u << depth) - 1;
    for (int i = 0; i < l.W * l.H * channels; ++i)
        l.Samples.push_back(uint16_t((i * 37u) % (top + 1)));
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (unsigned i = 0; i <= top; ++i)
            l.Palette.push_back(
                png_color{png_byte(i * 50), png_byte(255 - i * 20), png_byte(i * 9)});
        l.PaletteAlpha = {0, 128};
    }
    return l;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    auto put = [&](const char* format, const std::string& name, const std::string& bytes) {
        const fs::path dir = out / (std::string("fuzz_seeds_") + format);
        fs::create_directories(dir);
        WriteFileBytes((dir / name).string(), bytes);
    };
    const QImage sample = Sample(24, 16);

    // JPEG: baseline, progressive, grey, CMYK with and without the Adobe marker,
    // turned by EXIF, cut short, empty scans, a size claimed beyond the data.
    const std::string photo = EncodeJpeg(sample, 75);
    put("jpeg", "baseline.jpg", photo);
    put("jpeg", "progressive.jpg", bombs::SmallJpeg(16, 16, 3, true));
    put("jpeg", "grey.jpg", bombs::SmallJpeg(16, 8, 1, false));
    const auto ink = [](int x, int y) {
        return std::array<uint8_t, 4>{uint8_t(x * 20), uint8_t(y * 30), 40, 100};
    };
    put("jpeg", "cmyk-adobe.jpg", FourComponentJpeg(8, 8, ink, false, true));
    put("jpeg", "ycck.jpg", FourComponentJpeg(8, 8, ink, true, true));
    put("jpeg", "turned6.jpg", WithExifOrientation(photo, 6, false));
    put("jpeg", "turned3-motorola.jpg", WithExifOrientation(photo, 3, true));
    put("jpeg", "cut.jpg", bombs::CutWithEnd(photo, 0.5));
    put("jpeg", "empty-scans.jpg", bombs::WithoutScanData(bombs::SmallJpeg(8, 8, 1, true), 3));
    put("jpeg", "claims-more.jpg", bombs::ClaimSize(photo, 3000, 2000));

    // GIF: one frame, interlaced, transparent, two frames, frames off the screen,
    // a screen of no size, the hostile screens and frames.
    put("gif", "one-frame.gif", TGifEncoder().Encode(sample));
    put("gif", "screen.gif", bombs::GifScreen(300, 200));
    put("gif", "no-screen.gif", bombs::GifScreen(0, 0, 12, 9));
    put("gif", "two-frames.gif", bombs::GifScreen(4, 4, 2, 2, 2));
    put("gif", "frames-beyond.gif", bombs::GifFrames(3, 2, 2, 40, 2, 30));
    put("gif", "empty-frames.gif", bombs::GifEmptyFrames(20));
    {
        std::string out;
        GifFileType* gif = GifWriterTo(out);
        GifColorType colors[4] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {9, 9, 9}};
        ColorMapObject* map = GifMakeMapObject(4, colors);
        EGifPutScreenDesc(gif, 9, 7, 8, 0, map);
        const GraphicsControlBlock gcb{0, false, 0, 2};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        EGifPutImageDesc(gif, 1, 1, 6, 5, true, map);
        std::vector<GifPixelType> line(6);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) line[x] = GifPixelType((x + y) % 4);
            EGifPutLine(gif, line.data(), 6);
        }
        GifFreeMapObject(map);
        EGifCloseFile(gif, nullptr);
        put("gif", "interlaced-transparent.gif", out);
    }

    // PNG: every colour type at a few depths, interlaced, palette with tRNS, the
    // one-colour picture, a bare header, and the chunk that claims 2 GB.
    put("png", "rgb8.png", PngFile(Layout(PNG_COLOR_TYPE_RGB, 8, false)));
    put("png", "rgba16-interlaced.png", PngFile(Layout(PNG_COLOR_TYPE_RGB_ALPHA, 16, true)));
    put("png", "grey1.png", PngFile(Layout(PNG_COLOR_TYPE_GRAY, 1, false)));
    put("png", "grey-alpha8.png", PngFile(Layout(PNG_COLOR_TYPE_GRAY_ALPHA, 8, true)));
    put("png", "palette2-trns.png", PngFile(Layout(PNG_COLOR_TYPE_PALETTE, 2, false)));
    put("png", "one-colour.png", bombs::PngOneColour(64, 64, true));
    put("png", "header-only.png", bombs::PngHeaderOnly(40, 30));
    put("png", "text-claims-2gb.png", bombs::PngChunkClaim("tEXt"));

    // BMP: every depth the toolkit writes, and run-length data.
    put("bmp", "24.bmp", QtBytes(sample, "BMP"));
    put("bmp", "32.bmp", QtBytes(sample.convertToFormat(QImage::Format_ARGB32), "BMP"));
    put("bmp", "16.bmp", QtBytes(sample.convertToFormat(QImage::Format_RGB16), "BMP"));
    put("bmp", "8.bmp", QtBytes(sample.convertToFormat(QImage::Format_Indexed8), "BMP"));
    put("bmp", "1.bmp", QtBytes(sample.convertToFormat(QImage::Format_Mono), "BMP"));
    std::string rle = bombs::BmpRle8EndsAtOnce(6, 3);
    rle.resize(rle.size() - 2);
    rle +=
        std::string("\x03\x05\x00\x03\x07\x08\x09\x00\x00\x00\x00\x02\x02\x01\x02\x0A\x00\x01", 18);
    put("bmp", "rle8.bmp", rle);
    put("bmp", "rle8-ends-at-once.bmp", bombs::BmpRle8EndsAtOnce(300, 200));
    return 0;
}
