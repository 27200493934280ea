#include "picture_gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "picture_codecs.h"
#include "picture_sink.h"

namespace {

// giflib reads through this from the stream, as much as it asks for.
int GifRead(GifFileType* gif, GifByteType* buf, int len) {
    return len <= 0 ? 0
                    : static_cast<int>(std::fread(buf, 1, static_cast<size_t>(len),
                                                  static_cast<FILE*>(gif->UserData)));
}

int GifWrite(GifFileType* gif, const GifByteType* buf, int len) {
    auto* out = static_cast<std::string*>(gif->UserData);
    try {
        out->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    } catch (...) {
        return 0;
    }
    return len;
}

std::string GifMessage(int code) {
    const char* s = GifErrorString(code);
    return s ? s : "unknown GIF error";
}

}  // namespace

namespace {

struct TGifFile {
    GifFileType* Gif;
    ~TGifFile() {
        int e;
        DGifCloseFile(Gif, &e);
    }
    [[noreturn]] void Fail() const { throw std::runtime_error("GIF: " + GifMessage(Gif->Error)); }
};

GifFileType* OpenGif(const TPictureStream& in) {
    int code = 0;
    GifFileType* gif = DGifOpen(in.Get(), GifRead, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    return gif;
}

// giflib keeps a record of every frame's descriptor, with a copy of its colour
// table, until the file is closed: a file of millions of empty frames, a dozen
// bytes each, would cost several times its size. Nothing here reads them, so
// each is dropped as soon as giflib has made it.
void DropFrameRecords(GifFileType* gif) {
    GifFreeSavedImages(gif);
    gif->ImageCount = 0;
}

// Skips the rest of a frame's data blocks without decoding them.
void SkipFrameData(const TGifFile& f, bool started) {
    GifByteType* block = nullptr;
    if (!started) {
        int codeSize = 0;
        if (DGifGetCode(f.Gif, &codeSize, &block) != GIF_OK) f.Fail();
    } else if (DGifGetCodeNext(f.Gif, &block) != GIF_OK) {
        f.Fail();
    }
    while (block)
        if (DGifGetCodeNext(f.Gif, &block) != GIF_OK) f.Fail();
}

// The first frame's rows that fall on the screen, put into the sink; the rest of
// its data is skipped once the last of them is read.
void DrawFirstFrame(const TGifFile& f, int w, int h, const GraphicsControlBlock& gcb,
                    TPictureSink& sink) {
    GifFileType* gif = f.Gif;
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map) throw std::runtime_error("GIF: no colour table");
    const int rowsOnScreen = d.Left < w && d.Top < h ? std::min(d.Height, h - d.Top) : 0;
    if (rowsOnScreen <= 0 || d.Width <= 0) return SkipFrameData(f, false);
    const int x0 = d.Left, x1 = std::min(w, d.Left + d.Width);
    std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
    std::vector<uchar> rgb(static_cast<size_t>(x1 - x0) * 3);
    // Interlaced frames send rows 0, 8, ..., then 4, 12, ..., 2, 6, ..., 1, 3, ....
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    int seen = 0, read = 0;
    for (int pass = 0; pass < passes && seen < rowsOnScreen; ++pass) {
        const int first = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
        for (int fy = first; fy < d.Height && seen < rowsOnScreen; fy += step) {
            if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) f.Fail();
            ++read;
            if (d.Top + fy >= h) continue;
            ++seen;
            // Runs of drawn pixels; transparent ones, and indices past the table,
            // leave the white ground.
            int run = 0, runX = x0;
            auto flush = [&] {
                if (run > 0) sink.Put(d.Top + fy, runX, 1, rgb.data(), run);
                run = 0;
            };
            for (int x = x0; x < x1; ++x) {
                const int idx = line[static_cast<size_t>(x - x0)];
                if (idx == gcb.TransparentColor || idx >= map->ColorCount) {
                    flush();
                    continue;
                }
                if (run == 0) runX = x;
                const GifColorType& c = map->Colors[idx];
                rgb[3 * run] = c.Red;
                rgb[3 * run + 1] = c.Green;
                rgb[3 * run + 2] = c.Blue;
                ++run;
            }
            flush();
        }
    }
    // giflib reads on to the end of the frame's data with its last row.
    if (read < d.Height) SkipFrameData(f, true);
}

// The picture's size: the screen's, and for a screen of no size, what the first
// frame (its descriptor just read) covers.
QSize GifPictureSize(const GifFileType* gif) {
    if (gif->SWidth > 0 && gif->SHeight > 0) return QSize(gif->SWidth, gif->SHeight);
    const GifImageDesc& d = gif->Image;
    return QSize(d.Left + d.Width, d.Top + d.Height);
}

// Walks the whole file: the first frame drawn, the others only counted. With
// headerOnly, stops at the screen, or at the first frame's descriptor when the
// screen has no size.
TGifPicture ReadGif(const TPictureStream& in, int boxW, int boxH, QSize* screen, bool headerOnly) {
    TGifFile f{OpenGif(in)};
    GifFileType* gif = f.Gif;
    if (headerOnly && gif->SWidth > 0 && gif->SHeight > 0) {
        if (screen) *screen = GifPictureSize(gif);
        return {};
    }
    // Refused by the screen before any frame is read.
    if (SaturatingProduct(gif->SWidth, gif->SHeight) > kMaxPicturePixels)
        throw std::runtime_error("GIF: 图片太大：" + std::to_string(gif->SWidth) + " x " +
                                 std::to_string(gif->SHeight) + " 像素");
    TGifPicture result;
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) f.Fail();
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK) f.Fail();
            // The first frame's control block: its transparent colour.
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && result.Frames == 0 &&
                DGifExtensionToGCB(ext[0], ext + 1, &gcb) != GIF_OK)
                f.Fail();
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) != GIF_OK) f.Fail();
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) != GIF_OK) f.Fail();
        DropFrameRecords(gif);
        if (headerOnly) {
            if (screen) *screen = GifPictureSize(gif);
            return {};
        }
        if (result.Frames++ > 0) {
            SkipFrameData(f, false);
            continue;
        }
        const QSize size = GifPictureSize(gif);
        const int w = size.width(), h = size.height();
        if (w <= 0 || h <= 0) throw std::runtime_error("GIF: picture has no pixels");
        if (SaturatingProduct(w, h) > kMaxPicturePixels)
            throw std::runtime_error("GIF: 图片太大：" + std::to_string(w) + " x " +
                                     std::to_string(h) + " 像素");
        if (screen) *screen = QSize(w, h);
        TPictureSink sink(w, h, TPictureSink::FactorFor(w, h, boxW, boxH));
        DrawFirstFrame(f, w, h, gcb, sink);
        result.First = sink.Take();
    }
    return result;
}

}  // namespace

TGifPicture DecodeGif(const std::string& bytes) {
    return ReadGif(TPictureStream::OfBytes(bytes), 0, 0, nullptr, false);
}

TGifPicture DecodeGifFile(const std::string& path, int boxW, int boxH, QSize* screen) {
    return ReadGif(TPictureStream(path), boxW, boxH, screen, false);
}

TPictureHeader ReadGifHeader(const std::string& path) {
    QSize screen;
    ReadGif(TPictureStream(path), 0, 0, &screen, true);
    return TPictureHeader{screen.width(), screen.height(), false};
}

std::string EncodeGif(int width, int height, const std::vector<uint32_t>& palette,
                      const std::vector<uint8_t>& indices) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        throw std::runtime_error("GIF: cannot write a picture of " + std::to_string(width) + " x " +
                                 std::to_string(height) + " pixels");
    if (palette.empty() || palette.size() > 256 ||
        indices.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        throw std::invalid_argument("GIF: bad palette or pixel count");
    // A colour table holds a power of two entries.
    int tableSize = 2;
    while (tableSize < static_cast<int>(palette.size())) tableSize *= 2;
    std::vector<GifColorType> colors(tableSize, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        colors[i] = GifColorType{static_cast<GifByteType>(palette[i] >> 16),
                                 static_cast<GifByteType>(palette[i] >> 8),
                                 static_cast<GifByteType>(palette[i])};

    std::string out;
    int code = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    ColorMapObject* map = GifMakeMapObject(tableSize, colors.data());
    bool ok = map && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif,
                         const_cast<GifPixelType*>(indices.data() + static_cast<size_t>(y) * width),
                         width) == GIF_OK;
    code = ok ? 0 : (map ? gif->Error : E_GIF_ERR_NOT_ENOUGH_MEM);
    GifFreeMapObject(map);
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) throw std::runtime_error("GIF: " + GifMessage(code));
    return out;
}
