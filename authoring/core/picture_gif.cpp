#include "picture_gif.h"

#include <cstring>
#include <stdexcept>

#include <algorithm>

#include "picture_codecs.h"

#include <gif_lib.h>

namespace {

struct TGifReader {
    const std::string* Bytes;
    size_t Pos;
};

int GifRead(GifFileType* gif, GifByteType* buf, int len) {
    auto* r = static_cast<TGifReader*>(gif->UserData);
    const size_t left = r->Bytes->size() - r->Pos;
    const size_t n = std::min(left, static_cast<size_t>(len < 0 ? 0 : len));
    std::memcpy(buf, r->Bytes->data() + r->Pos, n);
    r->Pos += n;
    return static_cast<int>(n);
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

TGifPicture DecodeGif(const std::string& bytes) {
    TGifReader reader{&bytes, 0};
    int code = 0;
    GifFileType* gif = DGifOpen(&reader, GifRead, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    struct Closer {
        GifFileType* g;
        ~Closer() {
            int e;
            DGifCloseFile(g, &e);
        }
    } closer{gif};
    if (static_cast<int64_t>(gif->SWidth) * gif->SHeight > kMaxPicturePixels)
        throw std::runtime_error("GIF: picture too large");
    if (DGifSlurp(gif) != GIF_OK) throw std::runtime_error("GIF: " + GifMessage(gif->Error));

    TGifPicture result;
    result.Frames = gif->ImageCount;
    if (gif->ImageCount < 1) return result;
    const SavedImage& frame = gif->SavedImages[0];
    const GifImageDesc& d = frame.ImageDesc;
    int w = gif->SWidth, h = gif->SHeight;
    // A screen of no size: the first frame gives the picture's size.
    if (w <= 0 || h <= 0) {
        w = d.Left + d.Width;
        h = d.Top + d.Height;
    }
    if (w <= 0 || h <= 0) throw std::runtime_error("GIF: picture has no pixels");
    if (static_cast<int64_t>(w) * h > kMaxPicturePixels) throw std::runtime_error("GIF: picture too large");
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map) throw std::runtime_error("GIF: no colour table");
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, 0, &gcb);

    QImage pic(w, h, QImage::Format_RGB888);
    if (pic.isNull()) throw std::runtime_error("GIF: picture too large");
    pic.fill(Qt::white);
    for (int y = 0; y < d.Height; ++y) {
        const int py = d.Top + y;
        if (py < 0 || py >= h) continue;
        uchar* row = pic.scanLine(py);
        const GifByteType* src = frame.RasterBits + static_cast<size_t>(y) * d.Width;
        for (int x = 0; x < d.Width; ++x) {
            const int px = d.Left + x;
            if (px < 0 || px >= w) continue;
            const int idx = src[x];
            // Transparent pixels, and indices past the table, leave the white ground.
            if (idx == gcb.TransparentColor || idx >= map->ColorCount) continue;
            const GifColorType& c = map->Colors[idx];
            row[3 * px] = c.Red;
            row[3 * px + 1] = c.Green;
            row[3 * px + 2] = c.Blue;
        }
    }
    result.First = std::move(pic);
    return result;
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
                                 static_cast<GifByteType>(palette[i] >> 8), static_cast<GifByteType>(palette[i])};

    std::string out;
    int code = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &code);
    if (!gif) throw std::runtime_error("GIF: " + GifMessage(code));
    ColorMapObject* map = GifMakeMapObject(tableSize, colors.data());
    bool ok = map && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + static_cast<size_t>(y) * width), width) ==
             GIF_OK;
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

