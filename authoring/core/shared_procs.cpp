#include "shared_procs.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "text_codec.h"

std::string ExtractFileExt(std::string_view name) {
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return {};
    if (name.find('/', dot) != std::string_view::npos) return {};
    return std::string(name.substr(dot));
}

std::string ExtractFileName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    std::string old = ExtractFileExt(path);
    return std::string(path.substr(0, path.size() - old.size())) + std::string(ext);
}

namespace {
bool ExtIn(std::string_view name, std::initializer_list<const char*> exts) {
    std::string e = LowerAscii(ExtractFileExt(name));
    for (const char* x : exts)
        if (e == x) return true;
    return false;
}
}  // namespace

bool IsTextFile(std::string_view name) { return ExtIn(name, {".txt"}); }
bool IsAudioFile(std::string_view name) {
    return ExtIn(name, {".mid", ".midi", ".mp3", ".wav", ".zur"});
}
bool IsPictureFile(std::string_view name) {
    return ExtIn(name, {".jpg", ".jpeg", ".gif", ".png", ".bmp"});
}

bool IsPhoneNumber(std::string_view s) {
    for (char c : s)
        if (c != '+' && (c < '0' || c > '9')) return false;
    return true;
}

void FindFiles(const std::string& folder, const std::string& mask, TStringList& list,
               int32_t maxCount, bool recurse) {
    // An empty folder text means the current folder, as a relative search would.
    std::string dir = folder.empty() ? std::string("./") : folder;
    if (dir.back() != '/') dir += '/';
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    // "*.*" matches every name, and names match without regard to case, as the
    // directory search it stands for does.
    const std::string pattern = mask == "*.*" ? std::string("*") : mask;
    TStringList subdirs;
    bool stopped = false;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
        if (maxCount != 0 && static_cast<int64_t>(list.size()) >= maxCount) {
            stopped = true;
            break;
        }
        if (name == "." || name == "..") continue;
        if (!ExtractFileExt(name).empty()) list.push_back(name);
        if (recurse) {
            struct stat st;
            if (stat((dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) subdirs.push_back(name);
        }
    }
    closedir(d);
    if (stopped) return;
    for (const auto& sub : subdirs) FindFiles(dir + sub, mask, list, maxCount, recurse);
}

namespace {
std::string RandomFrom(int32_t n, std::string_view alphabet, TRandomSource& rng) {
    std::string s;
    rng.Reseed();
    if (n == 0) n = static_cast<int32_t>(rng.Below(6)) + 6;
    for (int32_t i = 0; i < n; ++i) s += alphabet[rng.Below(static_cast<uint32_t>(alphabet.size()))];
    return s;
}
}  // namespace

std::string RandomString(int32_t n, TRandomSource& rng) {
    return RandomFrom(n, "abcdefghijklmnopqrstuvwxyz0123456789", rng);
}

std::string RandomDigits(int32_t n, TRandomSource& rng) { return RandomFrom(n, "0123456789", rng); }

void SwapWideCharBytes(char16_t& c) { c = static_cast<char16_t>((c >> 8) | ((c & 0xFF) << 8)); }

std::string LoadTextAsAnsi(const std::string& path) {
    std::string data = ReadFileBytes(path);
    const TTextForm form = TextFormOf(data);
    if (form == TTextForm::Ansi) return data;
    return Utf16ToCp936(DecodeUnicodeText(data, form));
}

std::string TextFileAsUtf8(std::string_view bytes) {
    std::string text = TextAsUtf8(bytes);
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

std::string LoadTextAsUtf8(const std::string& path) { return TextFileAsUtf8(ReadFileBytes(path)); }

std::string Utf16FileBytes(std::u16string_view text, bool bigEndian, bool withMark) {
    std::string out;
    if (withMark) out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    out.reserve(out.size() + 2 * text.size());
    for (char16_t c : text) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

TAnsiLines LoadAsAnsiLines(const std::string& path) {
    const std::string raw = ReadFileBytes(path);
    const TTextForm form = TextFormOf(raw);
    TAnsiLines r;
    if (form == TTextForm::Ansi) {
        r.Lines = JoinLines(SplitLines(raw));
    } else {
        const std::u16string wide = DecodeUnicodeText(raw, form);
        const std::string ansi = Utf16ToCp936(wide);
        r.Lines = JoinLines(SplitLines(ansi));
        if (Cp936ToUtf16(ansi) != wide || TextFormOf(r.Lines) != TTextForm::Ansi) {
            r.KeepAsIs = true;
            r.Utf8Text = Utf16ToUtf8(wide);
        }
    }
    r.Differs = r.Lines != raw;
    if (!r.KeepAsIs) r.Utf8Text = Cp936ToUtf8(r.Lines);
    return r;
}
