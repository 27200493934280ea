#include "ini_profile.h"

#include <unistd.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "in_place_write.h"
#include "shared_procs.h"
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
// that it never hides the first section line). A UTF-16 file without a mark is
// told by its zero bytes, read as UTF-16 and written back without a mark.
struct TProfileText {
    TTextForm Form = TTextForm::Ansi;
    bool Marked = true;
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
    if (t.Form == TTextForm::Ansi && bytes.find('\0') != std::string::npos) {
        t.Form = UnmarkedUtf16Form(bytes);
        t.Marked = !t.Unicode();
        if (!t.Marked) bytes.insert(0, TextMark(t.Form));
    }
    if (IsUtf8Form(t.Form)) t.Text = bytes.substr(TextMark(t.Form).size());
    else if (t.Unicode()) t.Text = Utf16ToUtf8(DecodeUnicodeText(bytes, t.Form));
    else t.Text = std::move(bytes);
    return t;
}

// The text back in the form it was read in, mark included.
std::string EncodeProfile(const TProfileText& t) {
    if (!t.Unicode() || IsUtf8Form(t.Form)) return std::string(TextMark(t.Form)) + t.Text;
    return Utf16FileBytes(Utf8ToUtf16(t.Text), t.Form == TTextForm::Utf16Be, t.Marked);
}

}  // namespace

std::shared_ptr<void> TIniFileAccess::Hold(const std::string&, bool) { return {}; }

bool TDiskIniAccess::Read(const std::string& path, std::string& bytes) {
    if (::access(path.c_str(), F_OK) != 0) return false;
    bytes = ReadFileBytes(path);
    return true;
}

void TDiskIniAccess::Write(const std::string& path, std::string_view bytes) {
    RewriteFileInPlace(path, bytes);
}

std::shared_ptr<void> TDiskIniAccess::Hold(const std::string& path, bool forWrite) {
    auto lock = std::make_shared<TFolderLock>(path);
    if (forWrite && lock->Busy())
        throw std::runtime_error("无法写入文件 " + path + ": 另一个程序正在写入它");
    return lock;
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
    return SetValues(file, section, {{std::string(key), std::string(value)}});
}

std::string TIniProfile::SetValues(std::string_view file, std::string_view section,
                                   const TIniEntries& entries) {
    std::vector<TLine> lines = SplitKeepingBreaks(file);
    size_t header = 0, end = 0;
    std::string out;
    if (!FindSection(file, lines, section, header, end)) {
        out = std::string(file);
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
        out += "[" + std::string(section) + "]\r\n";
        for (const auto& [key, value] : entries) out += key + "=" + value + "\r\n";
        return out;
    }
    // The first line of each key asked for, with the key's spelling in the file.
    std::unordered_map<std::string, size_t> wanted;
    for (const auto& e : entries) wanted.emplace(LowerAscii(e.first), SIZE_MAX);
    std::unordered_map<size_t, std::string> spelling, replaced;
    size_t last = header;  // the section's last non-blank line: new keys go after it
    std::string k, v;
    for (size_t i = header + 1; i < end; ++i) {
        const std::string_view line = Text(file, lines[i]);
        if (KeyValue(line, k, v)) {
            auto it = wanted.find(LowerAscii(k));
            if (it != wanted.end() && it->second == SIZE_MAX) {
                it->second = i;
                spelling[i] = k;
            }
        }
        if (!Trim(line).empty()) last = i;
    }
    std::string appended;
    for (const auto& [key, value] : entries) {
        const size_t at = wanted[LowerAscii(key)];
        if (at == SIZE_MAX)
            appended += key + "=" + value + "\r\n";
        else
            replaced[at] = spelling[at] + "=" + value;  // the key keeps its spelling
    }
    out.reserve(file.size() + appended.size() + 64 * entries.size());
    size_t pos = 0;  // the bytes of the file before pos are in out
    auto copyTo = [&](size_t offset) {
        out.append(file.substr(pos, offset - pos));
        pos = offset;
    };
    for (size_t i = header; i < end; ++i) {
        auto r = replaced.find(i);
        if (r != replaced.end()) {
            copyTo(lines[i].Begin);
            out += r->second;
            pos = lines[i].Begin + lines[i].Size;
        }
        if (i == last && !appended.empty()) {
            copyTo(lines[i].End);
            if (lines[i].End == lines[i].Begin + lines[i].Size) out += "\r\n";  // no break at the end
            out += appended;
        }
    }
    copyTo(file.size());
    return out;
}

std::string TIniSection::Read(std::string_view key, std::string_view def) const {
    auto it = values_.find(LowerAscii(unicode_ ? std::string(key) : Utf8ToCp936(key)));
    if (it == values_.end()) return std::string(def);
    if (unicode_) return CutUtf8Chars(it->second, TIniProfile::kMaxValueLength);
    return Cp936ToUtf8(CutAnsi(it->second, TIniProfile::kMaxValueLength));
}

TIniSection TIniProfile::ReadSection(std::string_view section) const {
    TIniSection result;
    std::string bytes;
    try {
        const auto hold = access_->Hold(path_, false);
        if (!access_->Read(path_, bytes)) return result;
    } catch (const std::exception&) {
        return result;
    }
    const TProfileText t = DecodeProfile(std::move(bytes));
    result.unicode_ = t.Unicode();
    const std::string_view file = t.Text;
    std::vector<TLine> lines = SplitKeepingBreaks(file);
    size_t header = 0, end = 0;
    if (!FindSection(file, lines, t.Own(section), header, end)) return result;
    std::string k, v;
    for (size_t i = header + 1; i < end; ++i)
        if (KeyValue(Text(file, lines[i]), k, v)) result.values_.emplace(LowerAscii(k), std::move(v));
    return result;
}

std::string TIniProfile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    return ReadSection(section).Read(key, def);
}

void TIniProfile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    WriteStrings(section, {{std::string(key), std::string(value)}});
}

void TIniProfile::WriteStrings(std::string_view section, const TIniEntries& entries) {
    // A line break inside a value would make lines of its own in the file.
    TIniEntries flat = entries;
    for (auto& e : flat)
        for (char& c : e.second)
            if (c == '\r' || c == '\n') c = ' ';
    try {
        // Another program's keys written meanwhile are kept: nobody writes between
        // this reading and the write made from it.
        const auto hold = access_->Hold(path_, true);
        // A file that exists but cannot be read is never replaced by these keys alone.
        std::string bytes;
        if (!access_->Read(path_, bytes)) bytes.clear();
        // The file keeps its encoding: a Unicode one its form and its mark, a new or
        // ANSI one ANSI, as long as ANSI holds every value and the file still reads
        // back as ANSI; past that, it goes over to UTF-8 so that nothing is lost.
        TProfileText t = DecodeProfile(std::move(bytes));
        if (!t.Unicode()) {
            TIniEntries own;
            bool holds = true;
            for (const auto& [key, value] : flat) {
                own.emplace_back(t.Own(key), t.Own(value));
                holds = holds && Cp936ToUtf8(own.back().second) == value;
            }
            std::string ansi = SetValues(t.Text, t.Own(section), own);
            if (holds && TextFormOf(ansi) == TTextForm::Ansi) {
                access_->Write(path_, ansi);
                return;
            }
            t.Form = TTextForm::Utf8;
            t.Text = Cp936ToUtf8(t.Text);
        }
        t.Text = SetValues(t.Text, section, flat);
        // Bare UTF-8 that the next start would take for ANSI carries the mark.
        if (t.Form == TTextForm::Utf8 && Utf8NeedsMark(t.Text)) t.Form = TTextForm::Utf8Marked;
        access_->Write(path_, EncodeProfile(t));
    } catch (const std::exception& e) {
        throw EIniWriteError(e.what());
    }
}
