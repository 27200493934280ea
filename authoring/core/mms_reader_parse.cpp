#include "mms_reader_parse.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

#include "regular_file.h"
#include "shared_procs.h"
#include "text_codec.h"

namespace {

// A byte of the loaded data; everything past it reads as 00.
inline uint8_t At(const uint8_t* bytes, int32_t len, int64_t i) {
    return i >= 0 && i < len ? bytes[i] : 0;
}

// The text from start up to its 00 or the end of the loaded bytes.
std::string TextAt(const uint8_t* bytes, int32_t len, int64_t start) {
    if (start < 0 || start >= len) return {};
    const char* p = reinterpret_cast<const char*>(bytes) + start;
    size_t n = strnlen(p, static_cast<size_t>(len - start));
    return std::string(p, n);
}

// The value-length at pos when the value is one: the start of what it counts in
// pos, the end in valueEnd. False for a short integer or a text.
bool ValueLength(const uint8_t* bytes, int32_t end, int32_t& pos, int32_t& valueEnd) {
    if (pos >= end || bytes[pos] > 0x1F) return false;
    int32_t p = pos + 1;
    uint32_t l = bytes[pos];
    if (bytes[pos] == 0x1F && !TryReadUintvar(bytes, end, p, l)) return false;
    if (l > static_cast<uint32_t>(end - p)) return false;
    pos = p;
    valueEnd = p + static_cast<int32_t>(l);
    return true;
}

// Moves pos past one header value: a short integer, a text up to its 00 (a quoted
// text included), or a value-length and the bytes it counts. False when the value
// runs past end.
bool SkipValue(const uint8_t* bytes, int32_t end, int32_t& pos) {
    if (pos >= end) return false;
    const uint8_t b = bytes[pos];
    if (b >= 0x80) {
        ++pos;
        return true;
    }
    if (b <= 0x1F) {
        int32_t valueEnd = 0;
        if (!ValueLength(bytes, end, pos, valueEnd)) return false;
        pos = valueEnd;
        return true;
    }
    const void* nul = std::memchr(bytes + pos, 0, static_cast<size_t>(end - pos));
    if (!nul) return false;
    pos = static_cast<int32_t>(static_cast<const uint8_t*>(nul) - bytes) + 1;
    return true;
}

// Moves pos past one field and its value. code: the field's well-known number
// (80 and up), or 0 for a field named by a text of its own; at: where its value
// starts. False at end or when the field runs past it.
bool NextField(const uint8_t* bytes, int32_t end, int32_t& pos, uint8_t& code, int32_t& at) {
    if (pos >= end) return false;
    code = bytes[pos] >= 0x80 ? bytes[pos] : 0;
    if (code)
        ++pos;
    else if (!SkipValue(bytes, end, pos))
        return false;
    at = pos;
    return SkipValue(bytes, end, pos);
}

// Whether the value at pos is a text (not a number nor a value-length).
bool IsTextAt(const uint8_t* bytes, int32_t pos) { return bytes[pos] >= 0x20 && bytes[pos] < 0x80; }

// A text value at pos up to its 00 (or end), its quote byte (7F, or the '"' of a
// quoted string) dropped.
std::string TextValue(const uint8_t* bytes, int32_t end, int32_t pos) {
    if (pos < end && (bytes[pos] == 0x7F || bytes[pos] == '"')) ++pos;
    return TextAt(bytes, end, pos);
}

// An Integer-value: a short integer, or a length of 1..30 and that many bytes.
bool IntegerValue(const uint8_t* bytes, int32_t end, int32_t& pos, uint32_t& value) {
    if (pos >= end) return false;
    const uint8_t b = bytes[pos];
    if (b >= 0x80) {
        value = b & 0x7Fu;
        ++pos;
        return true;
    }
    if (b == 0 || b > 30 || b > end - pos - 1) return false;
    value = 0;
    for (int32_t i = 1; i <= b; ++i) value = value * 256u + bytes[pos + i];
    pos += 1 + b;
    return true;
}

// Character set numbers.
constexpr uint32_t kUsAscii = 3, kLatin1 = 4, kUtf8 = 106, kGbk = 113, kGb18030 = 114, kUcs2 = 1000,
                   kUtf16Be = 1013, kUtf16Le = 1014, kUtf16 = 1015, kGb2312 = 2025, kBig5 = 2026;

bool IsUtf16Set(uint32_t charset) {
    return charset == kUcs2 || charset == kUtf16Be || charset == kUtf16Le || charset == kUtf16;
}

// Latin-1 bytes as UTF-8; 80..9F, control codes no text means, are taken as the
// letters and marks Windows puts there, as mail and web readers do.
std::string Latin1ToUtf8(std::string_view s) {
    static const char16_t k1252[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::u16string w;
    w.reserve(s.size());
    for (unsigned char c : s) w.push_back(c >= 0x80 && c < 0xA0 ? k1252[c - 0x80] : c);
    return Utf16ToUtf8(w);
}

// The bytes in the given iconv character set as UTF-8; false when they are not
// text of that set.
bool ConvertStrict(const char* from, std::string_view in, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    bool ok = true;
    char buf[4096];
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof(buf);
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

// UTF-16 bytes: by their mark, else big- or little-endian by where the zero bytes
// of Latin and CJK text stand (big-endian when it cannot be told, as the standard
// says for an unmarked text).
std::string Utf16AsUtf8(std::string_view bytes, uint32_t charset) {
    TTextForm form = TextFormOf(bytes);
    if (form == TTextForm::Utf16Le || form == TTextForm::Utf16Be)
        return Utf16ToUtf8(DecodeUnicodeText(bytes, form));
    form = TTextForm::Utf16Be;
    if (charset == kUtf16Le) {
        form = TTextForm::Utf16Le;
    } else if (charset != kUtf16Be) {
        size_t evenZeros = 0, oddZeros = 0;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            evenZeros += bytes[i] == 0;
            oddZeros += bytes[i + 1] == 0;
        }
        if (oddZeros > evenZeros) form = TTextForm::Utf16Le;
    }
    // DecodeUnicodeText drops a mark's width from the front: give it one.
    const std::string withMark = std::string(TextMark(form)) + std::string(bytes);
    return Utf16ToUtf8(DecodeUnicodeText(withMark, form));
}

// An Encoded-string-value (the subject): a text, or a value-length, a character
// set and a text. Kept to what the program's ANSI text can hold, like the writer.
std::string EncodedStringValue(const uint8_t* bytes, int32_t end, int32_t pos) {
    uint32_t charset = kUtf8;  // what a text without a character set is read as
    int32_t valueEnd = end;
    if (ValueLength(bytes, end, pos, valueEnd) &&
        !IntegerValue(bytes, valueEnd, pos, charset)) {
        return {};
    }
    std::string text;
    if (IsUtf16Set(charset)) {
        // Zero bytes belong to the text; the value ends with a terminating 00 00.
        // A quote byte leaves whole UTF-16 units before the terminator; a text
        // whose first unit is U+7Fxx starts with that byte too.
        int32_t bodyEnd = valueEnd;
        if (bodyEnd - pos >= 2 && bytes[bodyEnd - 1] == 0 && bytes[bodyEnd - 2] == 0) bodyEnd -= 2;
        else if (bodyEnd - pos >= 1 && bytes[bodyEnd - 1] == 0) bodyEnd -= 1;
        if (pos < bodyEnd && bytes[pos] == 0x7F && (bodyEnd - pos) % 2 == 1) ++pos;
        text.assign(reinterpret_cast<const char*>(bytes) + pos,
                    static_cast<size_t>(std::max(0, valueEnd - pos)));
        while (!text.empty() && text.back() == '\0' && text.size() % 2 != 0) text.pop_back();
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, std::string(2, '\0')) == 0)
            text.resize(text.size() - 2);
    } else {
        text = TextValue(bytes, valueEnd, pos);
    }
    bool ansiKept = false;
    return Cp936ToUtf8(Utf8ToCp936(PartTextAsUtf8(text, charset, ansiKept)));
}

// File names are kept well below the 255 bytes a Linux file name may hold.
constexpr size_t kMaxNameBytes = 200;

}  // namespace

int32_t QueryFileSize(const std::string& path) {
    FILE* f = OpenRegularStream(path);
    if (!f) return -1;
    long size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        size = std::ftell(f);
        if (size < 0) size = 0;
    }
    std::fclose(f);
    if (size > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(size);
}

bool TryReadUintvar(const uint8_t* bytes, int32_t len, int32_t& pos, uint32_t& value) {
    value = 0;
    for (int32_t i = pos < 0 ? len : pos; i < len; ++i) {
        value = value * 128u + (bytes[i] & 0x7Fu);
        if (bytes[i] < 0x80) {
            pos = i + 1;
            return true;
        }
    }
    return false;
}

uint32_t ReadUintvar(const uint8_t* bytes, int32_t len, int32_t& pos) {
    uint32_t value = 0;
    TryReadUintvar(bytes, len, pos, value);
    return value;
}

std::string ReadPartName(const uint8_t* bytes, int32_t len, int32_t pos, uint32_t length) {
    std::string name;
    if (pos < 0) return name;
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(pos) + length, len);
    bool mark = false;
    for (int64_t i = pos; i < end; ++i) {
        const uint8_t b = bytes[i];
        if (!mark) {
            mark = b == 0x85 || b == 0x8E;
            continue;
        }
        if (b == 0x00) break;
        name += static_cast<char>(b);
    }
    return name;
}

std::string ReadSubject(const uint8_t* bytes, int32_t len, int32_t n) {
    if (n > len) n = len;
    for (int32_t i = 0; i < n; ++i) {
        if (bytes[i] != 0x96) continue;
        bool found = false;
        int64_t textStart = 0;
        // Short form: 96, a, EA, 7F, text, 00 with a counting from EA to the 00.
        const uint8_t a = At(bytes, len, i + 1);
        if (a < 31 && static_cast<int64_t>(i) + a + 1 < n && At(bytes, len, i + a + 1) == 0) {
            found = true;
            textStart = static_cast<int64_t>(i) + 4;
        } else {
            // Quoted form: 96, 1F, L, EA, 7F, text, 00 with L counting from EA.
            int32_t p = i + 2;
            uint32_t l = 0;
            if (p < len && TryReadUintvar(bytes, len, p, l)) {
                const int64_t k = p - (static_cast<int64_t>(i) + 2);
                const int64_t last = static_cast<int64_t>(i) + 2 + k + l - 1;
                if (last < n && At(bytes, len, last) == 0) {
                    found = true;
                    textStart = static_cast<int64_t>(i) + 2 + k + 2;
                }
            }
        }
        if (found) {
            // Text that is not UTF-8 does not convert: the search ends without a
            // subject. Otherwise it is kept to what the program's ANSI text can
            // hold, like the writer.
            std::string text;
            if (!WholeUtf8Characters(TextAt(bytes, len, textStart), text)) return {};
            return Cp936ToUtf8(Utf8ToCp936(text));
        }
    }
    return {};
}

int32_t FindEntryCount(const uint8_t* bytes, int32_t len, int32_t& pos, int32_t& smilPos) {
    int32_t m = 0;
    // The Content-Type's "smil" is followed by the Start parameter (8A, text, 00)
    // and then the count; the first 00 after that 8A ends the Start text, which
    // also finds a count of 128 or more, whose first byte has its high bit set.
    bool startFollows = false;
    smilPos = 0;
    for (int32_t i = 0; i < len; ++i) {
        if (bytes[i] == 's' && At(bytes, len, i + 1) == 'm' && At(bytes, len, i + 2) == 'i' &&
            At(bytes, len, i + 3) == 'l' && At(bytes, len, i + 4) == 0) {
            m = i;
            startFollows = At(bytes, len, static_cast<int64_t>(i) + 5) == 0x8A;
            continue;
        }
        if (bytes[i] == 0 && m > 0) {
            const bool endOfStart = startFollows && i > m + 5;
            if (At(bytes, len, static_cast<int64_t>(i) + 1) < 0x80 || endOfStart) {
                smilPos = m;
                int32_t p = i + 1;
                uint32_t count = 0;
                // A count cut off by the end of the file counts as none.
                if (!TryReadUintvar(bytes, len, p, count)) count = 0;
                pos = p;
                return static_cast<int32_t>(count);
            }
        }
    }
    smilPos = m;
    return 0;
}

bool ReadMessageHead(const uint8_t* bytes, int32_t len, TMessageHead& head) {
    // A message starts with its type: 8C and a short integer.
    if (len < 2 || bytes[0] != 0x8C || bytes[1] < 0x80) return false;
    head = TMessageHead{};
    int32_t pos = 0, at = 0;
    uint8_t field = 0;
    while (NextField(bytes, len, pos, field, at)) {
        // Content-Type, the last field: the body follows its value.
        if (field == 0x84) {
            head.TypePos = at;
            head.BodyPos = pos;
            return true;
        }
        if (field == 0x96 && head.Subject.empty()) head.Subject = EncodedStringValue(bytes, pos, at);
    }
    return false;
}

TPartHeaders ReadPartHeaders(const uint8_t* bytes, int32_t len, int32_t pos, uint32_t length) {
    TPartHeaders h;
    if (pos < 0 || pos >= len) return h;
    const int32_t end = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(pos) + length, len));
    // The content type: a short integer, a text, or a value-length with the media
    // type and its parameters.
    int32_t valueEnd = end;
    const bool general = ValueLength(bytes, end, pos, valueEnd);
    if (pos < end && bytes[pos] >= 0x80) h.ContentTypeCode = bytes[pos] & 0x7F;
    if (pos < end && IsTextAt(bytes, pos)) h.ContentType = LowerAscii(TextValue(bytes, end, pos));
    if (!SkipValue(bytes, end, pos)) return h;
    int32_t at = 0;
    uint8_t field = 0;
    if (general) {
        for (int32_t start = pos; NextField(bytes, valueEnd, pos, field, at); start = pos) {
            // Name (85, 97) or file name (86, 98).
            if ((field == 0x85 || field == 0x97 || field == 0x86 || field == 0x98) && h.Name.empty() &&
                IsTextAt(bytes, at))
                h.Name = TextValue(bytes, pos, at);
            // Charset (81), or a parameter named "charset" by its text; its value a
            // number or the set's name.
            if (field == 0x81 ||
                (field == 0 && SameTextAscii(TextAt(bytes, at, start), "charset"))) {
                int32_t p = at;
                uint32_t number = 0;
                if (IsTextAt(bytes, at))
                    h.Charset = CharsetNumber(TextValue(bytes, pos, at));
                else if (IntegerValue(bytes, pos, p, number))
                    h.Charset = number;
            }
        }
        pos = valueEnd;
    }
    for (int32_t start = pos; NextField(bytes, end, pos, field, at); start = pos) {
        if (!IsTextAt(bytes, at)) continue;
        if (field == 0x8E && h.Location.empty()) h.Location = TextValue(bytes, pos, at);
        if (field == 0xC0 && h.ContentId.empty()) h.ContentId = WithoutAngles(TextValue(bytes, pos, at));
        // WSP has no number for it: a header of its own name.
        if (field == 0 && SameTextAscii(TextAt(bytes, at, start), "content-transfer-encoding"))
            h.TransferEncoding = LowerAscii(Trim(TextValue(bytes, pos, at)));
    }
    return h;
}

bool IsMultipartType(const TPartHeaders& h) {
    if (!h.ContentType.empty())
        return h.ContentType.starts_with("multipart/") ||
               h.ContentType.starts_with("application/vnd.wap.multipart.");
    // multipart/* and its kinds (0C to 10), application/vnd.wap.multipart.* and its
    // kinds (22 to 27, 33); numbers past the assigned ones (4C and up) are unknown.
    const int c = h.ContentTypeCode;
    return c < 0 || (c >= 0x0C && c <= 0x10) || (c >= 0x22 && c <= 0x27) || c == 0x33 || c >= 0x4C;
}

std::string ExtensionOfType(const TPartHeaders& h) {
    static const struct {
        int code;  // the well-known number, -1 for none
        const char* type;
        const char* ext;
    } types[] = {
        {0x03, "text/plain", ".txt"},       {0x1E, "image/jpeg", ".jpg"},
        {-1, "image/jpg", ".jpg"},          {0x1D, "image/gif", ".gif"},
        {0x20, "image/png", ".png"},        {-1, "image/bmp", ".bmp"},
        {-1, "audio/mpeg", ".mp3"},         {-1, "audio/mp3", ".mp3"},
        {-1, "audio/wav", ".wav"},          {-1, "audio/x-wav", ".wav"},
        {-1, "audio/midi", ".mid"},         {-1, "audio/mid", ".mid"},
        {-1, "application/smil", ".smil"},  {0x07, "text/x-vcard", ".vcf"},
        {0x06, "text/x-vcalendar", ".vcs"}, {-1, "audio/amr", ".amr"},
        {-1, "video/3gpp", ".3gp"},         {-1, "video/mp4", ".mp4"},
    };
    for (const auto& t : types)
        if ((t.code >= 0 && h.ContentTypeCode == t.code) || h.ContentType == t.type) return t.ext;
    return {};
}

std::string WithoutAngles(std::string_view s) {
    if (s.size() >= 2 && s.front() == '<' && s.back() == '>') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

std::string CleanPartName(std::string_view name) {
    std::string s(name);
    const size_t slash = s.find_last_of("/\\");
    if (slash != std::string::npos) s.erase(0, slash + 1);
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("<>:\"|?*", c) != nullptr) c = '_';
    }
    if (s.empty() || s == "." || s == "..") return "_";
    if (s.size() > kMaxNameBytes) {
        std::string ext = ExtractFileExt(s);
        if (ext.size() > 16) ext.clear();
        size_t keep = kMaxNameBytes - ext.size();
        // Cut at the start of a UTF-8 character.
        while (keep > 0 && (static_cast<unsigned char>(s[keep]) & 0xC0) == 0x80) --keep;
        s = s.substr(0, keep) + ext;
    }
    return s;
}

std::string RemoveTextIgnoreCase(std::string_view s, std::string_view what) {
    if (what.empty()) return std::string(s);
    const std::string ls = LowerAscii(s);
    const std::string lw = LowerAscii(what);
    std::string out;
    size_t from = 0;
    for (;;) {
        size_t p = ls.find(lw, from);
        if (p == std::string::npos) break;
        out.append(s.substr(from, p - from));
        from = p + lw.size();
    }
    out.append(s.substr(from));
    return out;
}

uint32_t CharsetNumber(std::string_view name) {
    static const struct {
        const char* name;
        uint32_t number;
    } sets[] = {
        {"us-ascii", kUsAscii},  {"ascii", kUsAscii},
        {"iso-8859-1", kLatin1}, {"latin1", kLatin1},
        {"iso_8859-1", kLatin1}, {"utf-8", kUtf8},
        {"utf8", kUtf8},         {"gbk", kGbk},
        {"cp936", kGbk},         {"gb18030", kGb18030},
        {"gb2312", kGb2312},     {"big5", kBig5},
        {"utf-16", kUtf16},      {"utf-16be", kUtf16Be},
        {"utf-16le", kUtf16Le},  {"iso-10646-ucs-2", kUcs2},
    };
    const std::string lower = LowerAscii(Trim(name));
    for (const auto& s : sets)
        if (lower == s.name) return s.number;
    return 0;
}

std::string PartTextAsUtf8(std::string_view bytes, uint32_t charset, bool& ansiKept) {
    ansiKept = false;
    std::string out;
    // Bytes that lost a mark here are no longer what the file holds.
    bool marked = false;
    switch (charset) {
        case kUtf8:
            marked = bytes.substr(0, 3) == "\xEF\xBB\xBF";
            if (marked) bytes.remove_prefix(3);
            if (WholeUtf8Characters(bytes, out)) return out;
            break;
        case kUsAscii:
            if (IsAscii(bytes)) return std::string(bytes);
            // 8-bit bytes under a Latin label: UTF-8 where the text rule says so,
            // else the Latin-1 the label is nearest to, never a double-byte set.
            if (!IsUtf8Form(TextFormOf(bytes))) return Latin1ToUtf8(bytes);
            break;
        case kLatin1:
            return Latin1ToUtf8(bytes);
        case kGbk:
        case kGb18030:
        case kGb2312:
            // GB18030 holds GBK, which holds GB2312.
            if (ConvertStrict("GB18030", bytes, out)) return out;
            break;
        case kBig5:
            if (ConvertStrict("BIG5-HKSCS", bytes, out) || ConvertStrict("BIG5", bytes, out))
                return out;
            break;
        default:
            if (IsUtf16Set(charset)) return Utf16AsUtf8(bytes, charset);
            break;
    }
    // No declared set, or bytes the declared set does not hold: the text rule.
    TTextForm form;
    std::string text = TextAsUtf8(bytes, &form);
    ansiKept = form == TTextForm::Ansi && !IsAscii(bytes) && !marked;
    return text;
}

bool WholeUtf8Characters(std::string_view bytes, std::string& text) {
    if (IsValidUtf8(bytes)) {
        text.assign(bytes);
        return true;
    }
    // The continuation bytes at the end and the lead byte before them.
    const size_t n = bytes.size();
    size_t k = 0;
    while (k < 3 && k < n && (static_cast<unsigned char>(bytes[n - 1 - k]) & 0xC0) == 0x80) ++k;
    if (k == n) return false;
    const auto lead = static_cast<unsigned char>(bytes[n - 1 - k]);
    const size_t need = lead >= 0xC2 && lead <= 0xDF   ? 1
                        : lead >= 0xE0 && lead <= 0xEF ? 2
                        : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                       : 0;
    if (k >= need) return false;
    const std::string_view whole = bytes.substr(0, n - 1 - k);
    if (!IsValidUtf8(whole) || (k == 0 && IsAscii(whole))) return false;
    text.assign(whole);
    return true;
}

std::string PartFileName(const std::string& name, const std::string& contentId,
                         const TPartHeaders& h) {
    const std::string ext = ExtensionOfType(h);
    if (name.empty() && contentId.empty()) {
        const std::string lower = LowerAscii(ext);
        const char* stem =
            lower == ".txt"                                                            ? "text"
            : lower == ".jpg" || lower == ".gif" || lower == ".png" || lower == ".bmp" ? "image"
            : lower == ".mp3" || lower == ".wav" || lower == ".mid"                    ? "audio"
                                                                                       : "part";
        return stem + ext;
    }
    std::string file = CleanPartName(!name.empty() ? name : contentId);
    if (ExtractFileExt(file).empty()) file += ext;
    return file;
}

namespace {

bool DecodeBase64(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    size_t digits = 0, pad = 0;
    for (const char c : in) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            ++pad;
            continue;
        }
        int v = -1;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        // Another character, or digits after the padding: not base64.
        if (v < 0 || pad > 0) return false;
        ++digits;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
            acc &= (1u << bits) - 1;
        }
    }
    // A last group of one digit holds no whole byte.
    return digits % 4 != 1 && pad <= 2;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool DecodeQuotedPrintable(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    // Blanks written as they are before a line break are the transport's padding;
    // those from "=20" are the text's.
    size_t kept = 0;
    auto dropPadding = [&] {
        while (out.size() > kept && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    };
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=') {
            // A soft line break: "=", maybe blanks, then the line's end.
            size_t j = i + 1;
            while (j < in.size() && (in[j] == ' ' || in[j] == '\t')) ++j;
            if (j >= in.size() || in[j] == '\r' || in[j] == '\n') {
                if (j + 1 < in.size() && in[j] == '\r' && in[j + 1] == '\n') ++j;
                i = j;
                continue;
            }
            const int hi = i + 1 < in.size() ? HexDigit(in[i + 1]) : -1;
            const int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            kept = out.size();
            i += 2;
            continue;
        }
        if (c == '\r' || c == '\n') {
            dropPadding();
            out += c;
            kept = out.size();
            continue;
        }
        out += c;
    }
    dropPadding();
    return true;
}

}  // namespace

bool DecodeTransferEncoding(std::string_view encoding, std::string_view data, std::string& out) {
    if (encoding == "base64") return DecodeBase64(data, out);
    if (encoding == "quoted-printable") return DecodeQuotedPrintable(data, out);
    return false;
}

namespace {

// The user's words for the status values of the reports.
std::string StatusName(uint8_t field, uint8_t value) {
    struct Name {
        uint8_t field, value;
        const char* text;
    };
    static const Name names[] = {
        // X-Mms-Retrieve-Status
        {0x99, 0xC0, "暂时未能取回"},
        {0x99, 0xC1, "暂时找不到这条彩信"},
        {0x99, 0xC2, "网络暂时有问题"},
        {0x99, 0xE0, "取回失败"},
        {0x99, 0xE1, "服务被拒绝"},
        {0x99, 0xE2, "服务器上没有这条彩信"},
        {0x99, 0xE3, "彩信的内容不受支持"},
        // X-Mms-Status
        {0x95, 0x80, "已过期"},
        {0x95, 0x81, "已送达"},
        {0x95, 0x82, "被拒收"},
        {0x95, 0x83, "推迟接收"},
        {0x95, 0x84, "无法识别"},
        {0x95, 0x85, "不确定"},
        {0x95, 0x86, "已转发"},
        {0x95, 0x87, "无法送达"},
        // X-Mms-Read-Status
        {0x9B, 0x80, "已阅读"},
        {0x9B, 0x81, "未阅读即被删除"},
        // X-Mms-Response-Status
        {0x92, 0x80, "成功"},
    };
    for (const Name& n : names)
        if (n.field == field && n.value == value) return n.text;
    char code[16];
    std::snprintf(code, sizeof(code), "%02X", value);
    // Values the table has not: by their class, as the standard reads them.
    if (field == 0x99)
        return std::string(value >= 0xC0 && value < 0xE0 ? "暂时未能取回" : "取回失败") +
               "（代码 " + code + "）";
    if (field == 0x92) return std::string("失败（代码 ") + code + "）";
    return std::string("代码 ") + code;
}

}  // namespace

std::string NoMessageText(const uint8_t* bytes, int32_t len) {
    if (len < 2 || bytes[0] != 0x8C || bytes[1] < 0x80) return {};
    const uint8_t type = bytes[1];
    // The header's fields up to the Content-Type, after which a body follows.
    std::map<uint8_t, uint8_t> codes;
    std::map<uint8_t, std::string> texts;
    bool hasBody = false;
    int32_t pos = 0, at = 0;
    uint8_t field = 0;
    while (NextField(bytes, len, pos, field, at)) {
        if (field == 0x84) {
            hasBody = true;
            break;
        }
        if (!field || codes.count(field) || texts.count(field)) continue;
        if (bytes[at] >= 0x80)
            codes[field] = bytes[at];
        else if (field == 0x96 || field == 0x9A || field == 0x93)
            texts[field] = EncodedStringValue(bytes, pos, at);
        else if (IsTextAt(bytes, at))
            texts[field] = TextValue(bytes, pos, at);
    }
    auto line = [&](const char* label, uint8_t f) -> std::string {
        if (codes.count(f)) return std::string("\r\n") + label + StatusName(f, codes[f]);
        return {};
    };
    auto textLine = [&](const char* label, uint8_t f) -> std::string {
        if (texts.count(f) && !Trim(texts[f]).empty())
            return std::string("\r\n") + label + texts[f];
        return {};
    };
    switch (type) {
        case 0x80:  // m-send-req: the message itself
            return {};
        case 0x81:
            return "此文件是彩信的发送确认，其中没有彩信内容。" + line("发送结果：", 0x92) +
                   textLine("说明：", 0x93);
        case 0x82:
            return "此文件是彩信通知：彩信本身还在服务器上，文件中没有彩信内容。" +
                   textLine("主题：", 0x96) + textLine("取回地址：", 0x83);
        case 0x83:
            return "此文件是对彩信通知的应答，其中没有彩信内容。";
        case 0x84:
            // A retrieved message, unless its retrieve failed.
            if (!codes.count(0x99) || codes[0x99] == 0x80) return {};
            return "此文件是一次失败的彩信取回，其中没有彩信内容。" + line("状态：", 0x99) +
                   textLine("服务器的说明：", 0x9A);
        case 0x85:
            return "此文件是彩信的接收确认，其中没有彩信内容。";
        case 0x86:
            return "此文件是彩信的送达报告，其中没有彩信内容。" + line("送达状态：", 0x95);
        case 0x87:
        case 0x88:
            return "此文件是彩信的阅读报告，其中没有彩信内容。" + line("阅读状态：", 0x9B);
        default:
            // Other exchanges with the service: a message only where a body follows.
            if (hasBody) return {};
            char code[8];
            std::snprintf(code, sizeof(code), "%02X", type);
            return std::string("此文件是与彩信服务之间的往来信息（类型 ") + code +
                   "），其中没有彩信内容。";
    }
}

std::string PartTextAsUtf8(std::string&& bytes, uint32_t charset, bool& ansiKept) {
    if (charset == kUtf8 && !bytes.starts_with("\xEF\xBB\xBF") && IsValidUtf8(bytes)) {
        ansiKept = false;
        return std::move(bytes);
    }
    return PartTextAsUtf8(std::string_view(bytes), charset, ansiKept);
}
