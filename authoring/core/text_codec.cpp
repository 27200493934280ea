#include "text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// One iconv descriptor per direction and thread; opening them is not cheap.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts in; at a sequence that cannot be converted, calls onBad(consumed
    // input bytes) which writes a replacement and tells how many bytes to skip.
    template <typename OnBad>
    std::string Run(const char* in, size_t len, OnBad onBad) {
        std::string out;
        out.reserve(len * 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buf[4096];
        char* src = const_cast<char*>(in);
        size_t left = len;
        while (left > 0) {
            char* dst = buf;
            size_t room = sizeof(buf);
            size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (r == static_cast<size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ or EINVAL (incomplete sequence at the end).
                size_t skip = onBad(out, src, left);
                if (skip > left) skip = left;
                src += skip;
                left -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buf;
        size_t room = sizeof(buf);
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        return out;
    }

private:
    iconv_t cd_;
};

Converter& Conv(int which) {
    // 0: CP936->UTF-16LE, 1: UTF-16LE->CP936
    thread_local Converter c0("UTF-16LE", "CP936");
    thread_local Converter c1("CP936", "UTF-16LE");
    return which == 0 ? c0 : c1;
}

void AppendUnit(std::string& out, char16_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
}

std::u16string FromLeBytes(const std::string& bytes) {
    std::u16string s(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return s;
}

}  // namespace

std::u16string Cp936ToUtf16(std::string_view ansi) {
    std::string le = Conv(0).Run(ansi.data(), ansi.size(), [](std::string& out, char*, size_t) {
        AppendUnit(out, u'?');
        return size_t{1};
    });
    return FromLeBytes(le);
}

std::string Utf16ToCp936(std::u16string_view text) {
    std::string le;
    le.reserve(text.size() * 2);
    for (char16_t u : text) AppendUnit(le, u);
    return Conv(1).Run(le.data(), le.size(), [](std::string& out, char* src, size_t left) {
        out.push_back('?');
        // A whole surrogate pair stands for one character.
        if (left >= 4) {
            unsigned hi = static_cast<unsigned char>(src[0]) | (static_cast<unsigned char>(src[1]) << 8);
            unsigned lo = static_cast<unsigned char>(src[2]) | (static_cast<unsigned char>(src[3]) << 8);
            if (hi >= 0xD800 && hi < 0xDC00 && lo >= 0xDC00 && lo < 0xE000) return size_t{4};
        }
        return size_t{2};
    });
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < n) {
        unsigned c = byte(i);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c < 0xE0 && i + 1 < n && (byte(i + 1) & 0xC0) == 0x80) {
            cp = ((c & 0x1F) << 6) | (byte(i + 1) & 0x3F);
            len = 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && (byte(i + 1) & 0xC0) == 0x80 &&
                   (byte(i + 2) & 0xC0) == 0x80) {
            uint32_t v = ((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                cp = v;
                len = 3;
            }
        } else if (c >= 0xF0 && c < 0xF5 && i + 3 < n && (byte(i + 1) & 0xC0) == 0x80 &&
                   (byte(i + 2) & 0xC0) == 0x80 && (byte(i + 3) & 0xC0) == 0x80) {
            uint32_t v = ((c & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) |
                         ((byte(i + 2) & 0x3F) << 6) | (byte(i + 3) & 0x3F);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                cp = v;
                len = 4;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            out.push_back('?');
            continue;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    const size_t n = s.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    auto cont = [&](size_t k) { return k < n && (byte(k) & 0xC0) == 0x80; };
    size_t i = 0;
    while (i < n) {
        const unsigned c = byte(i);
        if (c < 0x80) {
            ++i;
        } else if (c >= 0xC2 && c < 0xE0 && cont(i + 1)) {
            i += 2;
        } else if (c >= 0xE0 && c < 0xF0 && cont(i + 1) && cont(i + 2)) {
            const unsigned b = byte(i + 1);
            // No overlong form (E0 needs A0..BF) and no surrogate (ED needs 80..9F).
            if ((c == 0xE0 && b < 0xA0) || (c == 0xED && b >= 0xA0)) return false;
            i += 3;
        } else if (c >= 0xF0 && c < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            const unsigned b = byte(i + 1);
            if ((c == 0xF0 && b < 0x90) || (c == 0xF4 && b >= 0x90)) return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

namespace {
bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}
}  // namespace

TTextForm TextFormOf(std::string_view bytes) {
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xFF\xFE")) return TTextForm::Utf16Le;
    if (starts("\xEF\xBB\xBF")) return TTextForm::Utf8Marked;
    if (starts("\xFE\xFF")) return TTextForm::Utf16Be;
    // Pure ASCII reads the same either way and stays ANSI.
    if (!IsAscii(bytes) && IsValidUtf8(bytes)) return TTextForm::Utf8;
    return TTextForm::Ansi;
}

std::string_view TextMark(TTextForm f) {
    switch (f) {
        case TTextForm::Utf8Marked: return "\xEF\xBB\xBF";
        case TTextForm::Utf16Le: return "\xFF\xFE";
        case TTextForm::Utf16Be: return "\xFE\xFF";
        default: return {};
    }
}

std::u16string DecodeUnicodeText(std::string_view bytes, TTextForm form) {
    const std::string_view body = bytes.substr(std::min(bytes.size(), TextMark(form).size()));
    switch (form) {
        case TTextForm::Ansi: return {};
        case TTextForm::Utf8:
        case TTextForm::Utf8Marked: return Utf8ToUtf16(body);
        default: break;
    }
    const bool big = form == TTextForm::Utf16Be;
    std::u16string w(body.size() / 2, u'\0');
    for (size_t i = 0; i < w.size(); ++i) {
        const unsigned a = static_cast<unsigned char>(body[2 * i]);
        const unsigned b = static_cast<unsigned char>(body[2 * i + 1]);
        w[i] = static_cast<char16_t>(big ? (a << 8) | b : a | (b << 8));
    }
    return w;
}

std::string TextAsUtf8(std::string_view bytes) {
    const TTextForm form = TextFormOf(bytes);
    if (IsUtf8Form(form)) return std::string(bytes.substr(TextMark(form).size()));
    return Cp936ToUtf8(bytes);
}

std::string StoredTextBytes(std::string_view utf8) {
    std::string ansi = Utf8ToCp936(utf8);
    if (TextFormOf(ansi) == TTextForm::Ansi && Cp936ToUtf8(ansi) == utf8) return ansi;
    return std::string(utf8);
}

std::string Cp936ToUtf8(std::string_view ansi) {
    if (IsAscii(ansi)) return std::string(ansi);
    return Utf16ToUtf8(Cp936ToUtf16(ansi));
}

std::string Utf8ToCp936(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    return Utf16ToCp936(Utf8ToUtf16(utf8));
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return std::string(s.substr(b, e - b));
}

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

bool TryStrToInt(std::string_view s, int32_t& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return false;
    if (hex) {
        uint32_t v = 0;
        int significant = 0;
        for (; i < s.size(); ++i) {
            char c = s[i];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            if (significant > 0 || d != 0) ++significant;
            if (significant > 8) return false;
            v = (v << 4) | static_cast<uint32_t>(d);
        }
        if (neg) v = 0u - v;
        value = static_cast<int32_t>(v);
        return true;
    }
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(std::string_view s) {
    int32_t v = 0;
    if (!TryStrToInt(s, v)) throw EConvertError("“" + std::string(s) + "”不是有效的整数");
    return v;
}
