#include "ini_profile.h"

#include <unistd.h>

#include <vector>

#include "string_list.h"
#include "text_codec.h"

namespace {

struct TLine {
    size_t Begin;  // offset of the line's text
    size_t Size;   // text without its line break
    size_t End;    // offset after the line break
};

std::vector<TLine> SplitKeepingBreaks(std::string_view file) {
    std::vector<TLine> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < file.size()) {
        char c = file[i];
        if (c == '\r' || c == '\n') {
            size_t size = i - start;
            if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
            ++i;
            lines.push_back({start, size, i});
            start = i;
        } else {
            ++i;
        }
    }
    if (start < file.size()) lines.push_back({start, file.size() - start, file.size()});
    return lines;
}

std::string_view Text(std::string_view file, const TLine& l) { return file.substr(l.Begin, l.Size); }

// The section name of a "[name]" line.
bool SectionName(std::string_view line, std::string& name) {
    std::string t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(std::string_view(t).substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line; comments and other lines have none.
bool KeyValue(std::string_view line, std::string& key, std::string& value) {
    std::string t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(std::string_view(t).substr(0, eq));
    value = Trim(std::string_view(t).substr(eq + 1));
    return true;
}

// The first section of that name: [first body line, end) as line indexes, or false.
bool FindSection(std::string_view file, const std::vector<TLine>& lines, std::string_view section,
                 size_t& header, size_t& end) {
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(Text(file, lines[i]), name) || !SameTextAscii(name, section)) continue;
        header = i;
        end = i + 1;
        while (end < lines.size() && !SectionName(Text(file, lines[end]), name)) ++end;
        return true;
    }
    return false;
}

// Cuts ANSI text at n bytes without leaving half of a double-byte character.
std::string CutAnsi(std::string s, size_t n) {
    if (s.size() <= n) return s;
    size_t i = 0;
    while (i < n) {
        size_t step = static_cast<unsigned char>(s[i]) >= 0x81 ? 2 : 1;
        if (i + step > n) break;
        i += step;
    }
    s.resize(i);
    return s;
}

// Cuts UTF-8 text at n characters.
std::string CutUtf8Chars(std::string s, size_t n) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (count++ == n) {
            s.resize(i);
            break;
        }
    }
    return s;
}

// The file's text as its lines are searched and changed: an ANSI file's bytes as
// they are, or the UTF-8 text of a file in a Unicode form (its mark set aside, so
// that it never hides the first section line).
struct TProfileText {
    TTextForm Form = TTextForm::Ansi;
    std::string Text;
    bool Unicode() const { return Form != TTextForm::Ansi; }
    // Names and values, given in UTF-8, in the file's encoding.
    std::string Own(std::string_view utf8) const {
        return Unicode() ? std::string(utf8) : Utf8ToCp936(utf8);
    }
};

TProfileText DecodeProfile(std::string bytes) {
    TProfileText t;
    t.Form = TextFormOf(bytes);
    if (IsUtf8Form(t.Form)) t.Text = bytes.substr(TextMark(t.Form).size());
    else if (t.Unicode()) t.Text = Utf16ToUtf8(DecodeUnicodeText(bytes, t.Form));
    else t.Text = std::move(bytes);
    return t;
}

// The text back in the form it was read in, mark included.
std::string EncodeProfile(const TProfileText& t) {
    if (!t.Unicode() || IsUtf8Form(t.Form)) return std::string(TextMark(t.Form)) + t.Text;
    std::string out(TextMark(t.Form));
    const bool big = t.Form == TTextForm::Utf16Be;
    for (char16_t c : Utf8ToUtf16(t.Text)) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += big ? hi : lo;
        out += big ? lo : hi;
    }
    return out;
}

}  // namespace

bool TDiskIniAccess::Read(const std::string& path, std::string& bytes) {
    if (::access(path.c_str(), F_OK) != 0) return false;
    bytes = ReadFileBytes(path);
    return true;
}

void TDiskIniAccess::Write(const std::string& path, std::string_view bytes) {
    RewriteFileInPlace(path, bytes);
}

TIniProfile::TIniProfile(std::string path, TIniFileAccess* access)
    : path_(std::move(path)), access_(access ? access : &disk_) {}

bool TIniProfile::FindValue(std::string_view file, std::string_view section, std::string_view key,
                            std::string& value) {
    std::vector<TLine> lines = SplitKeepingBreaks(file);
    size_t header = 0, end = 0;
    if (!FindSection(file, lines, section, header, end)) return false;
    std::string k, v;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyValue(Text(file, lines[i]), k, v) && SameTextAscii(k, key)) {
            value = v;
            return true;
        }
    }
    return false;
}

std::string TIniProfile::SetValue(std::string_view file, std::string_view section,
                                  std::string_view key, std::string_view value) {
    const std::string entry = std::string(key) + "=" + std::string(value);
    std::vector<TLine> lines = SplitKeepingBreaks(file);
    size_t header = 0, end = 0;
    std::string out;
    if (!FindSection(file, lines, section, header, end)) {
        out = std::string(file);
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
        out += "[" + std::string(section) + "]\r\n" + entry + "\r\n";
        return out;
    }
    std::string k, v;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyValue(Text(file, lines[i]), k, v) && SameTextAscii(k, key)) {
            // The key keeps the spelling it has in the file.
            out = std::string(file.substr(0, lines[i].Begin));
            out += k + "=" + std::string(value);
            out += file.substr(lines[i].Begin + lines[i].Size);
            return out;
        }
    }
    // A new key goes after the section's last non-blank line.
    size_t last = header;
    for (size_t i = header + 1; i < end; ++i)
        if (!Trim(Text(file, lines[i])).empty()) last = i;
    const TLine& l = lines[last];
    out = std::string(file.substr(0, l.End));
    if (l.End == l.Begin + l.Size) out += "\r\n";  // the last line of the file had no break
    out += entry + "\r\n";
    out += file.substr(l.End);
    return out;
}

std::string TIniProfile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    std::string bytes, value;
    try {
        if (!access_->Read(path_, bytes)) return std::string(def);
    } catch (const std::exception&) {
        return std::string(def);
    }
    const TProfileText t = DecodeProfile(std::move(bytes));
    if (!FindValue(t.Text, t.Own(section), t.Own(key), value)) return std::string(def);
    if (t.Unicode()) return CutUtf8Chars(std::move(value), kMaxValueLength);
    return Cp936ToUtf8(CutAnsi(std::move(value), kMaxValueLength));
}

void TIniProfile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    // A line break inside a value would make lines of its own in the file.
    std::string flat(value);
    for (char& c : flat)
        if (c == '\r' || c == '\n') c = ' ';
    try {
        // A file that exists but cannot be read is never replaced by one key.
        std::string bytes;
        if (!access_->Read(path_, bytes)) bytes.clear();
        // The file keeps its encoding: a Unicode one its form and its mark, a new or
        // ANSI one ANSI, as long as ANSI holds the value and the file still reads
        // back as ANSI; past that, it goes over to UTF-8 so that nothing is lost.
        TProfileText t = DecodeProfile(std::move(bytes));
        if (!t.Unicode()) {
            std::string ansi = SetValue(t.Text, t.Own(section), t.Own(key), t.Own(flat));
            if (Cp936ToUtf8(t.Own(flat)) == flat && TextFormOf(ansi) == TTextForm::Ansi) {
                access_->Write(path_, ansi);
                return;
            }
            t.Form = TTextForm::Utf8;
            t.Text = Cp936ToUtf8(t.Text);
        }
        t.Text = SetValue(t.Text, t.Own(section), t.Own(key), t.Own(flat));
        access_->Write(path_, EncodeProfile(t));
    } catch (const std::exception& e) {
        throw EIniWriteError(e.what());
    }
}
