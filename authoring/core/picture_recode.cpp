#include "picture_recode.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "mms_maker.h"
#include "octree_quantizer.h"
#include "picture_codecs.h"
#include "shared_procs.h"
#include "string_list.h"
#include "text_codec.h"

const uint32_t kSystemColors[20] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080,
    0xC0C0C0, 0xC0DCC0, 0xA6CAF0, 0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000,
    0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

namespace {

QImage As24Bit(const QImage& pic) {
    return pic.format() == QImage::Format_RGB888 ? pic : pic.convertToFormat(QImage::Format_RGB888);
}

// Runs a decode; a failure names the file.
template <typename Decode>
auto NamingTheFile(const std::string& path, Decode decode) {
    try {
        return decode();
    } catch (const std::exception& e) {
        throw std::runtime_error("无法解码图片 " + path + ": " + e.what());
    }
}

// Decodes the file's bytes with the given codec; a failure names the file.
template <typename Decode>
auto DecodeFile(const std::string& path, Decode decode) {
    const std::string bytes = ReadFileBytes(path);
    return NamingTheFile(path, [&] { return decode(bytes); });
}

std::vector<uint32_t> OctreeColors(const QImage& rgb, int maxColors) {
    TOctreeQuantizer q(maxColors);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x) q.Add(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    return q.Palette();
}

// The nearest palette index of every pixel, row by row.
std::vector<uint8_t> MapToPalette(const QImage& rgb, const std::vector<uint32_t>& palette) {
    TNearestColor nearest(palette);
    std::vector<uint8_t> indices(static_cast<size_t>(rgb.width()) * static_cast<size_t>(rgb.height()));
    size_t i = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            indices[i++] = nearest.Find((uint32_t(row[3 * x]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2]);
    }
    return indices;
}

std::string JpegOf(const QImage& pic, const TPicEncodeSettings& s) {
    return EncodeJpeg(pic, JpegQualityOf(s.JpegQuality));
}

bool NameIsFree(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found;
}

// A name in stem's folder that nothing stands under (file, folder or link): stem
// + ext, else stem + "-1" + ext, stem + "-2" + ext, and so on.
std::string FreeName(const std::string& stem, const std::string& ext) {
    std::string path = stem + ext;
    for (int n = 1; !NameIsFree(path); ++n) path = stem + "-" + std::to_string(n) + ext;
    return path;
}

std::string StemOf(const std::string& path) { return ChangeFileExt(path, ""); }

// A JPEG fitted into a box is decoded toward twice the box's side.
int TwiceTheBox(int32_t side) {
    return static_cast<int>(std::min<int64_t>(int64_t(side) * 2, 1 << 30));
}

}  // namespace

int64_t PictureMemoryNeed(const std::string& path, const TPicEncodeSettings& s) {
    const TPictureHeader hd = ReadPictureHeader(path);
    // Every count saturates: a header of any size gives an estimate beyond the
    // budget, never one wrapped into it.
    const int64_t pixels = SaturatingProduct(hd.Width, hd.Height);
    // Bytes a pixel: the 24-bit work picture, and what each format adds while it
    // is encoded again (palette indices, the 8-bit picture, the encoded data); a
    // bitmap is read at its own depth, then goes through a JPEG too.
    const std::string e = LowerAscii(ExtractFileExt(path));
    const bool jpeg = e == ".jpg" || e == ".jpeg";
    int64_t perPixel = e == ".png" ? 6 : e == ".gif" ? 5 : e == ".bmp" ? 8 : 4;
    int64_t decoded = pixels;
    if (s.Mode == 3 && s.BoxW > 0 && s.BoxH > 0 && hd.Width > 0 && hd.Height > 0) {
        // Fitting smooth-scales from a 32-bit copy of the work picture.
        perPixel += 4;
        // A JPEG is decoded DCT-scaled as the decoder chooses for its upright size.
        if (jpeg) {
            const TJpegDecodeSize d = JpegDecodeSize(hd.Sideways ? hd.Height : hd.Width,
                                                     hd.Sideways ? hd.Width : hd.Height,
                                                     TwiceTheBox(s.BoxW), TwiceTheBox(s.BoxH));
            decoded = SaturatingProduct(d.W, d.H);
        }
    }
    int64_t need = SaturatingProduct(decoded, perPixel);
    // A progressive JPEG's coefficients, as far as libjpeg's own cap lets them grow.
    if (hd.Progressive)
        need = SaturatingSum(need, std::min<int64_t>(SaturatingProduct(pixels, 6), kJpegMaxMemory));
    // The file is read whole twice: for the fresh copy and for the decoder.
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) need = SaturatingSum(need, SaturatingProduct(static_cast<int64_t>(size), 2));
    return need;
}

void CheckPictureBudget(const std::string& path, const TPicEncodeSettings& s) {
    int64_t need;
    try {
        need = PictureMemoryNeed(path, s);
    } catch (const std::exception& e) {
        throw std::runtime_error("无法解码图片 " + path + ": " + e.what());
    }
    if (need <= kPictureMemoryBudget) return;
    const TPictureHeader hd = ReadPictureHeader(path);
    // Rounded up, without an overflow for an estimate that saturated.
    const auto mb = [](int64_t bytes) {
        return std::to_string((bytes >> 20) + ((bytes & ((1 << 20) - 1)) != 0));
    };
    throw std::runtime_error("图片 " + ExtractFileName(path) + " 太大（" + std::to_string(hd.Width) + " x " +
                             std::to_string(hd.Height) + " 像素），重新编码约需 " + mb(need) +
                             " MB 内存，超过上限 " + mb(kPictureMemoryBudget) + " MB，未能制作");
}

int JpegQualityOf(int32_t setting) { return std::clamp(static_cast<int>(setting & 0xFF), 1, 100); }

std::string BmpToJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng) {
    // Worked on at 24 bits per pixel whatever the file's own depth, by the reader
    // that shows it on the page.
    QImage pic = NamingTheFile(path, [&] { return DecodeBmpFile(path); });
    PreparePicture(pic, s, rng);
    const std::string jpeg = JpegOf(pic, s);
    // Another picture of the folder may have the bitmap's name with ".jpg": it is
    // never replaced.
    const std::string target = FreeName(StemOf(path), ".jpg");
    WriteNewFile(target, jpeg);
    return target;
}

int32_t RecodeJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng) {
    WriteNewFile(path, RecodedJpeg(path, s, rng));
    return 0;
}

std::string RecodedJpeg(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng) {
    // Upright: re-encoding drops the orientation tag that would have turned it.
    // Fitted into a box, a photo is decoded at the smallest DCT scaling that still
    // covers twice its fitted size, not at full size: the reduced decode's fast
    // transforms and plain colour upsampling are then averaged away by the fit,
    // which looks as the full-size one does and costs a fraction. A picture that
    // needs no reduction is decoded at full size with the careful transforms.
    // The file is read once, in pieces, straight into the decoder.
    const bool reduced = s.Mode == 3 && s.BoxW > 0 && s.BoxH > 0;
    const TPictureStream in(path);
    QSize full;
    QImage pic = NamingTheFile(path, [&] {
        return reduced ? DecodeJpeg(in, TwiceTheBox(s.BoxW), TwiceTheBox(s.BoxH), &full) : DecodeJpeg(in);
    });
    PreparePicture(pic, s, rng, full);
    return JpegOf(pic, s);
}

int32_t RecodeGif(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng) {
    TGifPicture gif = DecodeFile(path, DecodeGif);
    if (gif.Frames >= 2) return -1;  // an animation is sent as it is
    if (gif.Frames == 0) throw std::runtime_error("无法解码图片 " + path + ": GIF holds no image");
    QImage pic = std::move(gif.First);
    PreparePicture(pic, s, rng);
    TGifEncoder encoder;
    SetGifQuantize(encoder);
    WriteNewFile(path, encoder.Encode(pic));
    return 0;
}

int32_t RecodePng(const std::string& path, const TPicEncodeSettings& s, TRandomSource& rng) {
    QImage pic = DecodeFile(path, DecodePng);
    PreparePicture(pic, s, rng);
    ReducePngColors(pic);
    WriteNewFile(path, EncodePng(pic));
    return 0;
}

void PreparePicture(QImage& pic, const TPicEncodeSettings& s, TRandomSource& rng, QSize fullSize) {
    if (s.Mode == 1) return;
    if (pic.width() <= 0 || pic.height() <= 0) throw std::runtime_error("图片没有像素");
    pic = As24Bit(pic);
    rng.Reseed();
    const uint32_t row = rng.Below(static_cast<uint32_t>(pic.height()));
    const uint32_t col = rng.Below(static_cast<uint32_t>(pic.width()));
    uchar* line = pic.scanLine(static_cast<int>(row));
    rng.Reseed();
    // Red, then green, then blue; each wraps at 256.
    for (int c = 0; c < 3; ++c) line[3 * col + c] = static_cast<uchar>(line[3 * col + c] + rng.Below(10));
    if (s.Mode == 3) FitPictureToBox(pic, s, fullSize);
}

void FitPictureToBox(QImage& pic, const TPicEncodeSettings& s, QSize fullSize) {
    // A box with no area would leave nothing of the picture: keep its size.
    if (s.BoxW <= 0 || s.BoxH <= 0) return;
    if (pic.width() <= 0 || pic.height() <= 0) throw std::runtime_error("图片没有像素");
    // The ratio is that of the whole picture, also when pic is a reduced decode of it.
    const QSize whole = fullSize.isValid() && !fullSize.isEmpty() ? fullSize : pic.size();
    const int w = whole.width(), h = whole.height();
    const double r = std::min(static_cast<double>(s.BoxW) / w, static_cast<double>(s.BoxH) / h);
    // The default rounding mode rounds half to even.
    const double nw = std::nearbyint(w * r), nh = std::nearbyint(h * r);
    if (nw == pic.width() && nh == pic.height()) return;
    if (nw < 1 || nh < 1) {
        pic = QImage();
        return;
    }
    // Smooth scaling averages the covered area when shrinking, and interpolates
    // when enlarging.
    QImage scaled = SmoothScaled(pic, static_cast<int>(nw), static_cast<int>(nh));
    if (scaled.isNull())
        throw std::runtime_error("图片太大: " + std::to_string(static_cast<int64_t>(nw)) + " x " +
                                 std::to_string(static_cast<int64_t>(nh)));
    pic = As24Bit(scaled);
}

std::string TGifEncoder::Encode(const QImage& pic) const {
    const QImage rgb = As24Bit(pic);
    std::vector<uint32_t> palette(256, 0);
    if (Reduction == TGifColorReduction::OptimizedWithSystemColors) {
        const std::vector<uint32_t> colors = OctreeColors(rgb, 236);
        std::copy(kSystemColors, kSystemColors + 10, palette.begin());
        std::copy(colors.begin(), colors.end(), palette.begin() + 10);
        std::copy(kSystemColors + 10, kSystemColors + 20, palette.begin() + 246);
    } else {
        const std::vector<uint32_t> colors = OctreeColors(rgb, 256);
        std::copy(colors.begin(), colors.end(), palette.begin());
    }
    return EncodeGif(rgb.width(), rgb.height(), palette, MapToPalette(rgb, palette));
}

void SetGifQuantize(TGifEncoder& encoder) { encoder.Reduction = TGifColorReduction::OptimizedWithSystemColors; }

void ReducePngColors(QImage& pic) {
    if (pic.width() <= 0 || pic.height() <= 0) return;
    const QImage rgb = As24Bit(pic);
    std::vector<uint32_t> palette = OctreeColors(rgb, 256);
    palette.resize(256, 0);
    const std::vector<uint8_t> indices = MapToPalette(rgb, palette);
    QImage out(rgb.width(), rgb.height(), QImage::Format_Indexed8);
    if (out.isNull()) throw std::runtime_error("图片太大");
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i) table[i] = qRgb((palette[i] >> 16) & 0xFF, (palette[i] >> 8) & 0xFF, palette[i] & 0xFF);
    out.setColorTable(table);
    const size_t w = static_cast<size_t>(rgb.width());
    for (int y = 0; y < rgb.height(); ++y) std::copy_n(indices.data() + y * w, w, out.scanLine(y));
    pic = std::move(out);
}

// ---- the maker's side ----

void TMmsMaker::ParsePicEncodeInfo() {
    if (FPicEncodeMode != 3) return;
    FPicBoxW = 0;
    FPicBoxH = 0;
    // "*" and the multiplication sign separate like "X".
    const std::string_view times = "×";
    const std::string trimmed = Trim(FPicEncodeInfo);
    std::string s;
    for (size_t i = 0; i < trimmed.size();) {
        if (trimmed.compare(i, times.size(), times) == 0) {
            s += 'X';
            i += times.size();
        } else {
            s += trimmed[i] == '*' ? 'X' : trimmed[i];
            ++i;
        }
    }
    // Only an upper-case X separates; a lower-case x is part of the text.
    const size_t p = s.find('X');
    if (p == std::string::npos) return;
    FPicBoxW = StrToInt(s.substr(0, p));
    FPicBoxH = StrToInt(s.substr(p + 1));
}

std::string TMmsMaker::RecodedPictureData(std::string& path) {
    // Before anything is copied or decoded: a picture beyond the budget stops the
    // make with its reason.
    const TPicEncodeSettings settings{FPicEncodeMode, FPicBoxW, FPicBoxH, FJpegQuality};
    CheckPictureBudget(path, settings);
    // A JPEG is read once, from the page's own file, and its new bytes go straight
    // into the message: a fresh copy would only be read back and removed.
    const std::string e = LowerAscii(ExtractFileExt(path));
    if (e == ".jpg" || e == ".jpeg") return RecodedJpeg(path, settings, Rng);
    const std::string copy = FreeName(TempDir + ExtractFileName(StemOf(path)), ExtractFileExt(path));
    std::string recoded = copy;
    // The fresh files go again whatever happens: the copy, and a bitmap's JPEG.
    struct TRemover {
        const std::string &a, &b;
        ~TRemover() {
            std::error_code ec;
            std::filesystem::remove(a, ec);
            std::filesystem::remove(b, ec);
        }
    } remover{copy, recoded};
    WriteNewFile(copy, ReadFileBytes(path));
    try {
        RecodePicture(recoded);
    } catch (const std::exception& e) {
        // The fresh copy is gone by the time the user reads this: name the page's file.
        std::string why = e.what();
        for (const std::string* fresh : {static_cast<const std::string*>(&recoded), &copy})
            for (size_t at; (at = why.find(*fresh)) != std::string::npos;) why.replace(at, fresh->size(), path);
        throw std::runtime_error(why);
    }
    std::string data = ReadFileBytes(recoded);
    path = ChangeFileExt(path, ExtractFileExt(recoded));
    return data;
}

void TMmsMaker::RecodePicture(std::string& path) {
    const TPicEncodeSettings s{FPicEncodeMode, FPicBoxW, FPicBoxH, FJpegQuality};
    const std::string e = LowerAscii(ExtractFileExt(path));
    if (e == ".jpg" || e == ".jpeg") {
        RecodeJpeg(path, s, Rng);
    } else if (e == ".gif") {
        RecodeGif(path, s, Rng);
    } else if (e == ".png") {
        RecodePng(path, s, Rng);
    } else if (e == ".bmp") {
        path = BmpToJpeg(path, s, Rng);
        RecodeJpeg(path, s, Rng);
    }
}
