#include "chooser_rules.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "picture_codecs.h"
#include "shared_procs.h"
#include "string_list.h"
#include "text_codec.h"

namespace {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool ExtIs(const std::string& path, std::initializer_list<const char*> exts) {
    const std::string ext = ExtractFileExt(path);
    for (const char* e : exts)
        if (SameTextAscii(ext, e)) return true;
    return false;
}

// Line breaks of an editor text ("\n", maybe "\r\n" or a lone "\r") as CR LF.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

// ---- sound clips -------------------------------------------------------------

std::string GetSendAudioFile(const std::string& path) {
    if (ExtIs(path, {".mp3", ".wav", ".wma"})) {
        std::string zur = ChangeFileExt(path, ".zur");
        if (FileExists(zur)) return zur;
    }
    return path;
}

std::string GetPlayableAudioFile(const std::string& path) {
    if (!ExtIs(path, {".zur"})) return path;
    std::string result;
    // The last one found wins: ".wav" before ".wma" before ".mp3".
    for (const char* ext : {".mp3", ".wma", ".wav"}) {
        std::string partner = ChangeFileExt(path, ext);
        if (FileExists(partner)) result = partner;
    }
    return result;
}

bool HasLinkedFile(const std::string& path) {
    if (ExtIs(path, {".mid", ".midi"})) return true;
    if (ExtIs(path, {".zur"})) return !GetPlayableAudioFile(path).empty();
    if (ExtIs(path, {".mp3", ".wma", ".wav"})) return FileExists(ChangeFileExt(path, ".zur"));
    return false;
}

std::string PlayTimeCaption(int64_t ms) {
    const int64_t s = std::max<int64_t>(0, ms) / 1000;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.2lld:%.2lld /共%lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60), static_cast<long long>(s));
    return std::string("播放时间 ") + buf + "秒";
}

// ---- text --------------------------------------------------------------------

int32_t CountTextUnits(const std::string& utf8) {
    return static_cast<int32_t>(Cp936ToUtf16(Utf8ToCp936(WithCrLf(utf8))).size());
}

std::string TextLengthCaption(int32_t n, int32_t maxLen) {
    std::string s = std::to_string(n);
    if (n > maxLen) s += " 超限！";
    return s;
}

std::optional<int32_t> ReadingTimeSecs(const std::string& utf8, int32_t charsPer100Secs) {
    const int32_t rate = charsPer100Secs / 100;
    if (rate <= 0) return std::nullopt;
    const std::string stored = JoinLines(SplitLines(Utf8ToCp936(utf8)));
    const auto n = static_cast<int32_t>(Cp936ToUtf16(stored).size());
    return std::max(1, n / rate);
}

TClickedText NormaliseClickedTextFile(const std::string& path) {
    const TAnsiLines text = LoadAsAnsiLines(path);
    TClickedText result;
    result.Utf8Text = text.Utf8Text;
    // Text that ANSI cannot hold, or would garble, stays in the user's file as it is.
    if (text.KeepAsIs) {
        result.KeptAsIs = true;
    } else if (text.Differs) {
        // The user's file: its mode and any link to it stay; whole or not at all.
        ReplaceFileAtomically(path, text.Lines);
        result.Rewritten = true;
    }
    return result;
}

std::string LoadEditorText(const std::string& path) { return LoadTextAsUtf8(path); }

// ---- pictures ----------------------------------------------------------------

TStringList CollectPictureNames(const std::string& folder) {
    TStringList all;
    FindFiles(folder, "*.*", all);
    struct TKeyed {
        std::string key, name;
    };
    std::vector<TKeyed> pics;
    for (auto& name : all)
        if (IsPictureFile(name)) pics.push_back({LowerAscii(Utf8ToCp936(name)), name});
    // Byte order of the ANSI form, so that Chinese names follow the code page's order.
    std::stable_sort(pics.begin(), pics.end(), [](const TKeyed& a, const TKeyed& b) {
        if (a.key != b.key) return a.key < b.key;
        return a.name < b.name;
    });
    TStringList names;
    names.reserve(pics.size());
    for (auto& p : pics) names.push_back(std::move(p.name));
    return names;
}

TFitRect FitRect(int width, int height, int bw, int bh) {
    TFitRect r;
    if (width <= 0 || height <= 0 || bw <= 0 || bh <= 0) return r;
    const double ratio = std::min(static_cast<double>(bw) / width, static_cast<double>(bh) / height);
    if (ratio >= 1) {
        r.Width = width;
        r.Height = height;
    } else {
        // nearbyint rounds half to even in the default rounding mode.
        r.Width = static_cast<int>(std::nearbyint(width * ratio));
        r.Height = static_cast<int>(std::nearbyint(height * ratio));
    }
    r.Left = std::abs(bw - r.Width) / 2;
    r.Top = std::abs(bh - r.Height) / 2;
    return r;
}

int ClampThumbSide(int32_t side) { return std::clamp<int32_t>(side, 16, 1024); }

namespace {

// The picture shrunk (area-averaged) into rectangle r of a new white bw x bh picture.
QImage DrawFitted(const QImage& picture, const TFitRect& r, int bw, int bh) {
    QImage out(bw, bh, QImage::Format_RGB32);
    out.fill(Qt::white);
    if (r.Width > 0 && r.Height > 0 && !picture.isNull()) {
        const QImage scaled = picture.size() == QSize(r.Width, r.Height)
                                  ? picture
                                  : SmoothScaled(picture, r.Width, r.Height);
        QPainter p(&out);
        p.drawImage(r.Left, r.Top, scaled);
    }
    return out;
}

}  // namespace

QImage FitBitmap(const QImage& picture, int bw, int bh) {
    return DrawFitted(picture, FitRect(picture.width(), picture.height(), bw, bh), bw, bh);
}

std::optional<QImage> LoadThumbnail(const std::string& path, int bw, int bh) {
    // Only plain files: a pipe or a device named like a picture would never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    try {
        // The re-encoder's own decoders, read from the file as they need it: what
        // the re-encoder would refuse is not listed. The picture comes out already
        // reduced close to the thumbnail; its place in the box is that of the
        // whole picture. Nothing here is shared, so that several threads may make
        // thumbnails at once.
        QSize full;
        const QImage picture = DecodePictureFile(path, bw, bh, &full);
        return DrawFitted(picture, FitRect(full.width(), full.height(), bw, bh), bw, bh);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---- both --------------------------------------------------------------------

std::string ExistingFolderOf(const std::string& path) {
    const std::string dir = ExtractFilePath(path);
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return {};
    return dir;
}
