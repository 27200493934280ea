#include "picture_codecs.h"

#include <stdexcept>

#include "text_codec.h"

QImage DecodePicture(const std::string& bytes, const std::string& ext, int boxW, int boxH, QSize* fullSize) {
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
