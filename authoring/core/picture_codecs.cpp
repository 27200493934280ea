#include "picture_codecs.h"

#include <stdexcept>

#include "shared_procs.h"
#include "text_codec.h"

QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW, int boxH,
                     QSize* fullSize) {
    const std::string e = LowerAscii(ext);
    if (e == ".jpg" || e == ".jpeg") return DecodeJpeg(bytes, boxW, boxH, fullSize);
    QImage pic;
    if (e == ".png") {
        pic = DecodePng(bytes);
    } else if (e == ".bmp") {
        pic = DecodeBmp(bytes);
    } else if (e == ".gif") {
        TGifPicture gif = DecodeGif(bytes);
        if (gif.Frames == 0) throw std::runtime_error("GIF: holds no image");
        pic = std::move(gif.First);
    } else {
        throw std::runtime_error("not a picture file: " + ext);
    }
    if (fullSize) *fullSize = pic.size();
    return pic;
}

QImage DecodePictureFile(const std::string& path, int boxW, int boxH, QSize* fullSize) {
    const std::string e = LowerAscii(ExtractFileExt(path));
    if (e == ".jpg" || e == ".jpeg") return DecodeJpegFile(path, boxW, boxH, fullSize);
    if (e == ".png") return DecodePngFile(path, boxW, boxH, fullSize);
    if (e == ".bmp") return DecodeBmpFile(path, boxW, boxH, fullSize);
    if (e == ".gif") {
        TGifPicture gif = DecodeGifFile(path, boxW, boxH, fullSize);
        if (gif.Frames == 0) throw std::runtime_error("GIF: holds no image");
        return std::move(gif.First);
    }
    throw std::runtime_error("not a picture file: " + path);
}

TPictureHeader ReadPictureHeader(const std::string& path) {
    const std::string e = LowerAscii(ExtractFileExt(path));
    if (e == ".jpg" || e == ".jpeg") return ReadJpegHeader(path);
    if (e == ".png") return ReadPngHeader(path);
    if (e == ".bmp") return ReadBmpHeader(path);
    if (e == ".gif") return ReadGifHeader(path);
    throw std::runtime_error("not a picture file: " + path);
}

QImage SmoothScaled(const QImage& picture, int w, int h) {
    const bool wide = picture.format() == QImage::Format_RGB32 ||
                      picture.format() == QImage::Format_ARGB32 ||
                      picture.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage src = wide ? picture : picture.convertToFormat(QImage::Format_RGB32);
    if (src.isNull()) return QImage();
    return src.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
