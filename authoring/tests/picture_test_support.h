// Helpers of the picture tests: a random source that raises pixel (0, 0) by 9,
// the parts of a written message, and pictures as an independent decoder
// (ImageMagick's convert) sees them.
#pragma once

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mms_reader_parse.h"
#include "services.h"

// Every draw of 0..9 gives 9, every other draw 0: PreparePicture then raises
// pixel (0, 0) by 9 in each colour, through the maker's own draws as well.
class NineRandom : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t n) override { return n == 10 ? 9 : 0; }
};

// The entries of a written message as (part name, data), the SMIL entry first.
inline std::vector<std::pair<std::string, std::string>> MessageParts(const std::string& mms) {
    std::vector<std::pair<std::string, std::string>> parts;
    const auto* b = reinterpret_cast<const uint8_t*>(mms.data());
    const auto len = static_cast<int32_t>(mms.size());
    int32_t pos = 0, smilPos = 0;
    const int32_t count = FindEntryCount(b, len, pos, smilPos);
    for (int32_t i = 0; i < count && pos < len; ++i) {
        uint32_t headersLen = 0, dataLen = 0;
        if (!TryReadUintvar(b, len, pos, headersLen) || !TryReadUintvar(b, len, pos, dataLen)) break;
        if (pos + int64_t(headersLen) + dataLen > len) break;
        parts.emplace_back(ReadPartName(b, len, pos, headersLen), mms.substr(pos + headersLen, dataLen));
        pos += static_cast<int32_t>(headersLen + dataLen);
    }
    return parts;
}

// The path of a tool of the system's own, or empty when it is not installed.
inline std::string SystemTool(const char* name) {
    const std::string path = std::string("/usr/bin/") + name;
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? path : std::string();
}

// What ImageMagick's convert makes of a picture file: "convert file args ppm:-"
// read back as a 24-bit picture; empty when the tool fails.
inline std::optional<QImage> MagickView(const std::string& file, const std::string& args = "") {
    const std::string convert = SystemTool("convert");
    if (convert.empty()) return std::nullopt;
    const std::string cmd = convert + " '" + file + "' " + args + " -depth 8 ppm:- 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (pclose(p) != 0) return std::nullopt;
    // P6, width, height, maxval, one blank, then the samples.
    size_t at = 0;
    auto field = [&]() {
        while (at < out.size() && std::isspace(static_cast<unsigned char>(out[at]))) ++at;
        size_t from = at;
        while (at < out.size() && !std::isspace(static_cast<unsigned char>(out[at]))) ++at;
        return out.substr(from, at - from);
    };
    if (field() != "P6") return std::nullopt;
    const int w = std::stoi(field()), h = std::stoi(field());
    if (field() != "255") return std::nullopt;
    ++at;
    if (out.size() - at < size_t(w) * h * 3) return std::nullopt;
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) std::memcpy(img.scanLine(y), out.data() + at + size_t(y) * w * 3, size_t(w) * 3);
    return img;
}

// The largest difference of one colour channel between two pictures of one size
// (a large number when the sizes differ), outside the pixel at (skipX, skipY).
inline int MaxDiff(const QImage& a, const QImage& b, int skipX = -1, int skipY = -1) {
    if (a.size() != b.size()) return 1 << 20;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (x == skipX && y == skipY) continue;
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}
