#include "text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
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

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

namespace {

// How plausible a text is, in bits (about -log2 of its chance among the texts this
// program meets): every character costs what its class of characters is worth, and
// a run of letters pays for its script. Both readings of the bytes, UTF-8 and the
// code page, are weighed by this one measure, so a byte string is read the way
// that gives the likelier text.
enum class TScript : uint8_t {
    None,  // blanks, digits, punctuation and symbols: they join no word
    Mark,  // a combining mark: part of the letter before it
    Latin,
    Greek,
    Cyrillic,
    Armenian,
    Hebrew,
    Arabic,
    Han,
    Kana,
    Hangul,
    Other,
};

struct TCharCost {
    int bits;
    TScript script;
};

// Character classes. The costs are rough shares of everyday text: the 3,755 common
// hanzi of the code page's first level carry nearly all Chinese text; its second
// level of 3,008 and the rest of the ideographs are ever rarer, except that the
// frequent characters of traditional text are common among them; an accented letter
// is a few percent of a European word's letters; a sign such as © or ° is common
// among digits and ASCII words; private-use and control codes are next to never
// written.
constexpr int kAsciiBits = 6;
constexpr int kCommonHanBits = 12;
constexpr int kRareHanBits = 19;
constexpr int kTraditionalHanBits = 16;
constexpr int kOtherHanBits = 22;
constexpr int kCjkPunctBits = 9;
constexpr int kFullwidthBits = 11;
constexpr int kLetterBits = 5;  // a letter of an alphabet, within its own script
constexpr int kPrivateBits = 26;
constexpr int kControlBits = 28;
// A combining mark after a letter (decomposed text), anywhere else, and at the start
// of a text, where it has nothing to combine with.
constexpr int kMarkAfterLetterBits = 14;
constexpr int kLooseMarkBits = 20;
constexpr int kMarkAtStartBits = 26;
// A Latin-1 sign, and a common one (© ¥ ± ½ ° ...) between ASCII characters or the
// ends of the text ("© 2026", "¥100", "25°"): there it is likelier than the hanzi
// its bytes make in the code page.
constexpr int kLatinSignBits = 13;
constexpr int kSignAmongAsciiBits = 10;

// The common signs of U+00A0 to U+00BF, one bit each (¢ £ ¥ § © ª ® ° ± ² ³ µ ¶ · ¹ º ¼
// ½ ¾), and × ÷.
constexpr uint32_t kCommonSigns = 1u << 0x02 | 1u << 0x03 | 1u << 0x05 | 1u << 0x07 | 1u << 0x09 |
                                  1u << 0x0A | 1u << 0x0E | 1u << 0x10 | 1u << 0x11 | 1u << 0x12 |
                                  1u << 0x13 | 1u << 0x15 | 1u << 0x16 | 1u << 0x17 | 1u << 0x19 |
                                  1u << 0x1A | 1u << 0x1C | 1u << 0x1D | 1u << 0x1E;
bool IsCommonSign(char32_t cp) {
    return (cp >= 0xA0 && cp < 0xC0 && (kCommonSigns >> (cp - 0xA0) & 1)) || cp == 0xD7 ||
           cp == 0xF7;
}

// Whether a common sign stands where it is written, between the ASCII characters
// before and after it (0 for an end of the text). A currency sign comes before
// its amount, and a middle dot between two things: "3楼" and "12路" are GBK, not
// "3¥" and "12·".
bool SignAmongAscii(char32_t cp, unsigned before, unsigned after) {
    if (cp == 0xA5 || cp == 0xA3) return before < '0' || before > '9';
    if (cp == 0xB7) return before != 0 && after != 0;
    return true;
}

// Bits for starting a run of letters of a script: how rare texts in it are here.
// Chinese costs nothing (this program's texts are Chinese); Latin only where a run
// holds no ASCII letter at all (a word made only of accented letters).
int RunStartBits(TScript s) {
    switch (s) {
        case TScript::Latin: return 12;
        case TScript::Han: return 0;
        case TScript::Kana: return 14;
        case TScript::Hangul: return 16;
        case TScript::Cyrillic: return 18;
        case TScript::Greek: return 20;
        default: return 22;
    }
}

// Bits for letters of two scripts written together, with no blank between them.
int JoinBits(TScript a, TScript b) {
    auto is = [&](TScript x, TScript y) { return (a == x && b == y) || (a == y && b == x); };
    if (is(TScript::Han, TScript::Latin)) return 2;  // "Linux系统"
    if (is(TScript::Han, TScript::Kana)) return 0;   // Japanese
    return 10;
}

// Adds up the cost of a text, one character at a time.
class TPlausibility {
public:
    void Add(TCharCost c, bool asciiLetter = false) {
        const bool first = !started_;
        started_ = true;
        if (c.script == TScript::Mark) {
            bits_ += first                   ? kMarkAtStartBits
                     : run_ != TScript::None ? kMarkAfterLetterBits
                                             : kLooseMarkBits;
            return;
        }
        bits_ += c.bits;
        if (c.script != run_) {
            const TScript before = run_;
            EndRun();
            if (c.script == TScript::None) return;
            if (before != TScript::None) bits_ += JoinBits(before, c.script);
            run_ = c.script;
            if (run_ != TScript::Latin) bits_ += RunStartBits(run_);
        }
        asciiInRun_ = asciiInRun_ || asciiLetter;
    }
    void AddAscii(unsigned char c) {
        const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        Add({kAsciiBits, letter ? TScript::Latin : TScript::None}, letter);
    }
    long long Bits() {
        EndRun();
        return bits_;
    }

private:
    void EndRun() {
        if (run_ == TScript::Latin && !asciiInRun_) bits_ += RunStartBits(TScript::Latin);
        run_ = TScript::None;
        asciiInRun_ = false;
    }

    long long bits_ = 0;
    TScript run_ = TScript::None;
    bool asciiInRun_ = false;
    bool started_ = false;
};

// The frequent hanzi of two code pages by code point (from U+4E00): GB2312's first
// level (rows B0-D7) and second (rows D8-F7) for simplified text, and Big5's first
// level (rows A4-C6, to C67E) for traditional text, where GB2312 lacks the character.
enum THanLevel : uint8_t { kHanOther, kHanGbFirst, kHanGbSecond, kHanBig5First };
constexpr char32_t kHanFirst = 0x4E00, kHanEnd = 0xA000;

// The characters of a code page's rows, lead bytes first to last and trail bytes
// in the given ranges, decoded by iconv; a pair it cannot decode is left out.
std::u16string CodePageRows(const char* codePage, int firstLead, int lastLead,
                            std::initializer_list<std::pair<int, int>> trails, int lastPair) {
    std::string rows;
    for (int lead = firstLead; lead <= lastLead; ++lead) {
        for (const auto& [from, to] : trails) {
            for (int trail = from; trail <= to && (lead << 8 | trail) <= lastPair; ++trail) {
                rows += static_cast<char>(lead);
                rows += static_cast<char>(trail);
            }
        }
    }
    Converter c("UTF-16LE", codePage);
    return FromLeBytes(
        c.Run(rows.data(), rows.size(), [](std::string&, char*, size_t) { return size_t{2}; }));
}

const std::vector<uint8_t>& HanLevels() {
    static const std::vector<uint8_t> levels = [] {
        std::vector<uint8_t> t(kHanEnd - kHanFirst, kHanOther);
        auto mark = [&](const std::u16string& chars, uint8_t level) {
            for (char16_t u : chars)
                if (u >= kHanFirst && u < kHanEnd && t[u - kHanFirst] == kHanOther)
                    t[u - kHanFirst] = level;
        };
        mark(CodePageRows("CP936", 0xB0, 0xD7, {{0xA1, 0xFE}}, 0xD7F9), kHanGbFirst);
        mark(CodePageRows("CP936", 0xD8, 0xF7, {{0xA1, 0xFE}}, 0xF7FE), kHanGbSecond);
        // Without a Big5 converter, traditional characters weigh as rare ones.
        for (const char* big5 : {"BIG5", "CP950"}) {
            try {
                mark(CodePageRows(big5, 0xA4, 0xC6, {{0x40, 0x7E}, {0xA1, 0xFE}}, 0xC67E),
                     kHanBig5First);
                break;
            } catch (const std::runtime_error&) {
            }
        }
        return t;
    }();
    return levels;
}

TCharCost HanCost(char32_t cp) {
    switch (HanLevels()[cp - kHanFirst]) {
        case kHanGbFirst:
            return {kCommonHanBits, TScript::Han};
        case kHanGbSecond:
            return {kRareHanBits, TScript::Han};
        case kHanBig5First:
            return {kTraditionalHanBits, TScript::Han};
        default: return {kOtherHanBits, TScript::Han};
    }
}

// A character above ASCII by its code point.
TCharCost UnicodeCost(char32_t cp) {
    using S = TScript;
    if (cp >= kHanFirst && cp < kHanEnd) return HanCost(cp);
    if (cp < 0xA0) return {kControlBits, S::None};  // C1 controls
    if (cp < 0xC0) return {kLatinSignBits, S::None};  // Latin-1 signs: « ° © ¿ ...
    if (cp == 0xD7 || cp == 0xF7) return {kLatinSignBits, S::None};
    if (cp < 0xE0) return {9, S::Latin};   // À to ß
    if (cp < 0x100) return {7, S::Latin};  // à to ÿ
    if (cp < 0x180) return {10, S::Latin};  // Latin Extended-A: ő ł š ...
    if (cp >= 0x218 && cp < 0x21C) return {10, S::Latin};  // ș ț
    if (cp < 0x250) return {16, S::Latin};                 // Latin Extended-B
    if (cp < 0x2B0) return {18, S::Latin};                 // IPA
    if (cp < 0x300) return {18, S::None};                  // spacing modifiers
    if (cp < 0x370) return {0, S::Mark};
    if (cp < 0x400) {
        const bool letter = cp == 0x386 || (cp >= 0x388 && cp <= 0x3CE);
        return {letter ? kLetterBits : 18, S::Greek};
    }
    if (cp < 0x460) return {kLetterBits, S::Cyrillic};
    if (cp < 0x530) return {cp < 0x500 ? 15 : 18, S::Cyrillic};
    if (cp < 0x590) return {cp >= 0x531 && cp <= 0x587 ? kLetterBits + 1 : 18, S::Armenian};
    if (cp < 0x600) {
        if (cp >= 0x5D0 && cp <= 0x5EA) return {kLetterBits, S::Hebrew};
        if (cp >= 0x591 && cp <= 0x5C7) return {0, S::Mark};  // points and accents
        return {cp >= 0x5F0 && cp <= 0x5F4 ? 16 : kControlBits, S::Hebrew};
    }
    if (cp < 0x700) {
        if (cp >= 0x621 && cp <= 0x64A) return {kLetterBits, S::Arabic};
        if (cp >= 0x64B && cp <= 0x65F) return {0, S::Mark};
        return {14, S::Arabic};
    }
    if (cp < 0x900) return {18, S::Other};   // Syriac, Thaana, N'Ko, ...
    if (cp < 0xF00) return {6, S::Other};    // Indic scripts, Thai, Lao
    if (cp < 0x1E00) return {16, S::Other};  // Tibetan to Mongolian
    if (cp < 0x1F00) return {12, S::Latin};  // Latin Extended Additional (Vietnamese)
    if (cp < 0x2000) return {16, S::Greek};  // polytonic Greek
    if (cp < 0x2070) {
        const bool common = (cp >= 0x2010 && cp <= 0x2027) || (cp >= 0x2030 && cp <= 0x203A);
        return {common ? 10 : 16, S::None};  // dashes, quotes, ellipsis, bullet
    }
    if (cp < 0x20A0) return {16, S::None};
    if (cp < 0x20D0) return {12, S::None};  // currency: € ...
    if (cp < 0x2100) return {0, S::Mark};
    if (cp < 0x2460) return {15, S::None};  // letterlike, number forms, arrows, maths
    if (cp < 0x2500) return {13, S::None};  // ① ...
    if (cp < 0x2580) return {15, S::None};  // box drawing
    if (cp < 0x2600) return {13, S::None};  // ■ □ ▲ ○ ●
    if (cp < 0x27C0) return {14, S::None};  // ★ ☆ and dingbats
    if (cp < 0x3000) return {18, S::None};
    if (cp < 0x3040) return {kCjkPunctBits, S::None};  // 、 。 「 」 ...
    if (cp < 0x3100) return {kLetterBits + 1, S::Kana};
    if (cp < 0x3200) return {16, S::Other};  // bopomofo, compatibility jamo
    if (cp < 0x3400) return {15, S::None};   // enclosed and squared CJK
    if (cp < 0x4DC0) return {kOtherHanBits + 2, S::Han};  // extension A
    if (cp < 0x4E00) return {20, S::None};
    if (cp < 0xAC00) return {20, S::Other};  // Yi and others
    if (cp < 0xD7A4) return {9, S::Hangul};
    if (cp < 0xE000) return {22, S::Hangul};
    if (cp < 0xF900) return {kPrivateBits, S::None};
    if (cp < 0xFB00) return {kOtherHanBits, S::Han};  // compatibility ideographs
    if (cp < 0xFE00) return {18, S::Other};          // presentation forms
    if (cp < 0xFE10) return {0, S::Mark};             // variation selectors
    if (cp < 0xFE70) return {16, S::None};  // vertical, compatibility and small forms
    if (cp < 0xFF00) return {18, S::Other};
    if (cp >= 0xFF01 && cp <= 0xFF5E) return {kFullwidthBits, S::None};
    if (cp < 0xFFF0) return {16, S::None};  // halfwidth forms
    if (cp < 0x10000) return {24, S::None};
    if (cp >= 0x1F000 && cp < 0x1FB00) return {13, S::None};  // emoji
    if (cp >= 0x20000 && cp < 0x40000) return {kOtherHanBits + 2, S::Han};
    return {kControlBits, S::None};
}

// A double-byte character of the code page by its lead and trail bytes, in the
// classes of UnicodeCost for the characters it stands for: the rows name them.
TCharCost Cp936PairCost(unsigned lead, unsigned trail) {
    using S = TScript;
    const TCharCost unassigned{kControlBits, S::None};
    if (trail < 0xA1) {
        // GBK's additions below the GB2312 half of a row: hanzi, a few symbols in
        // rows A8 and A9, and room for private use in rows A1 to A7.
        if (lead >= 0xA1 && lead <= 0xA7) return {kPrivateBits, S::None};
        if (lead == 0xA8 || lead == 0xA9) return {16, S::None};
        return {kOtherHanBits, S::Han};
    }
    if (lead >= 0xB0 && lead <= 0xF7) {
        if (lead == 0xD7 && trail > 0xF9) return unassigned;  // the first level ends at D7F9
        return {lead <= 0xD7 ? kCommonHanBits : kRareHanBits, S::Han};
    }
    if (lead < 0xA1) return {kOtherHanBits, S::Han};
    if (lead >= 0xAA) return {kPrivateBits, S::None};
    auto in = [&](unsigned a, unsigned b) { return trail >= a && trail <= b; };
    switch (lead) {
        case 0xA1: return {10, S::None};  // CJK punctuation and common signs
        case 0xA2:                       // numbers: ⅰ ⒈ ⑴ ① ㈠ Ⅰ
            if (in(0xA1, 0xAA) || in(0xB1, 0xE2) || in(0xE5, 0xEE) || in(0xF1, 0xFC))
                return {13, S::None};
            return unassigned;
        case 0xA3: return {kFullwidthBits, S::None};
        case 0xA4: return in(0xA1, 0xF3) ? TCharCost{kLetterBits + 1, S::Kana} : unassigned;
        case 0xA5: return in(0xA1, 0xF6) ? TCharCost{kLetterBits + 1, S::Kana} : unassigned;
        case 0xA6:
            if (in(0xA1, 0xB8) || in(0xC1, 0xD8)) return {kLetterBits, S::Greek};
            return in(0xE0, 0xF5) ? TCharCost{16, S::None} : unassigned;
        case 0xA7:
            if (in(0xA1, 0xC1) || in(0xD1, 0xF1)) return {kLetterBits, S::Cyrillic};
            return unassigned;
        case 0xA8:
            if (in(0xA1, 0xC0)) return {10, S::Latin};  // pinyin: ā á ǎ à ...
            return in(0xC5, 0xE9) ? TCharCost{16, S::Other} : unassigned;  // bopomofo
        default: return in(0xA4, 0xEF) ? TCharCost{15, S::None} : unassigned;  // box drawing
    }
}

// The cost of the bytes read as UTF-8 (known to be valid UTF-8).
long long Utf8Bits(std::string_view s) {
    TPlausibility p;
    const size_t n = s.size();
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    for (size_t i = 0; i < n;) {
        const unsigned c = byte(i);
        if (c < 0x80) {
            p.AddAscii(static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        const size_t start = i;
        char32_t cp;
        if (c < 0xE0) {
            cp = ((c & 0x1F) << 6) | (byte(i + 1) & 0x3F);
            i += 2;
        } else if (c < 0xF0) {
            cp = ((c & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
            i += 3;
        } else {
            cp = ((c & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) |
                 (byte(i + 3) & 0x3F);
            i += 4;
        }
        if (cp < 0x100 && IsCommonSign(cp)) [[unlikely]] {
            const unsigned before = start == 0 ? 0 : byte(start - 1);
            const unsigned after = i == n ? 0 : byte(i);
            if (before < 0x80 && after < 0x80 && SignAmongAscii(cp, before, after)) {
                p.Add({kSignAmongAsciiBits, TScript::None});
                continue;
            }
        }
        p.Add(UnicodeCost(cp));
    }
    return p.Bits();
}

// The cost of the bytes read in the code page, or -1 where they are not valid there
// (a lead byte without its trail byte).
long long Cp936Bits(std::string_view s) {
    TPlausibility p;
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            p.AddAscii(static_cast<unsigned char>(c));
            ++i;
        } else if (c == 0x80) {
            p.Add({12, TScript::None});  // the euro sign
            ++i;
        } else if (c == 0xFF || i + 1 == n) {
            return -1;
        } else {
            const unsigned t = static_cast<unsigned char>(s[i + 1]);
            if (t < 0x40 || t == 0x7F || t == 0xFF) return -1;
            p.Add(Cp936PairCost(c, t));
            i += 2;
        }
    }
    return p.Bits();
}
}  // namespace

TTextForm TextFormOf(std::string_view bytes) {
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xFF\xFE")) return TTextForm::Utf16Le;
    if (starts("\xEF\xBB\xBF")) return TTextForm::Utf8Marked;
    if (starts("\xFE\xFF")) return TTextForm::Utf16Be;
    // Pure ASCII reads the same either way and stays ANSI; bytes that are not
    // UTF-8 can only be ANSI.
    if (IsAscii(bytes) || !IsValidUtf8(bytes)) return TTextForm::Ansi;
    // Bytes that are both: the likelier text wins; an even weighing stays ANSI.
    const long long ansi = Cp936Bits(bytes);
    if (ansi < 0 || Utf8Bits(bytes) < ansi) return TTextForm::Utf8;
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

TTextForm UnmarkedUtf16Form(std::string_view bytes) {
    const size_t units = bytes.size() / 2;
    if (units == 0 || bytes.size() % 2 != 0) return TTextForm::Ansi;
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    // ANSI text holds no zero byte; UTF-16 with a quarter of its units Latin does,
    // nearly all on one side.
    const size_t most = std::max(evenZeros, oddZeros), least = std::min(evenZeros, oddZeros);
    if (most * 4 < units || least * 8 > most) return TTextForm::Ansi;
    return oddZeros > evenZeros ? TTextForm::Utf16Le : TTextForm::Utf16Be;
}

std::string TextAsUtf8(std::string_view bytes, TTextForm* formOut) {
    const TTextForm form = TextFormOf(bytes);
    if (formOut) *formOut = form;
    if (IsUtf8Form(form)) return std::string(bytes.substr(TextMark(form).size()));
    if (form != TTextForm::Ansi) return Utf16ToUtf8(DecodeUnicodeText(bytes, form));
    return Cp936ToUtf8(bytes);
}

namespace {
// The CP936 form of UTF-8 text, converted a stretch at a time, so that no UTF-16
// copy of a long text is made; false when a character does not come back the same
// from it.
bool Utf8ToCp936Exactly(std::string_view utf8, std::string& ansi) {
    constexpr size_t kStretch = 1 << 16;
    ansi.clear();
    // Never more bytes than the UTF-8 form; what is not written is not touched.
    ansi.reserve(utf8.size());
    size_t at = 0;
    while (at < utf8.size()) {
        size_t end = std::min(utf8.size(), at + kStretch);
        // Stretches end between characters: the conversions are then the same.
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
        const std::string_view piece = utf8.substr(at, end - at);
        const std::string converted = Utf8ToCp936(piece);
        if (Cp936ToUtf8(converted) != piece) return false;
        ansi += converted;
        at = end;
    }
    return true;
}
}  // namespace

std::string StoredTextBytes(std::string_view utf8) {
    {
        std::string ansi;
        if (Utf8ToCp936Exactly(utf8, ansi) && TextFormOf(ansi) == TTextForm::Ansi) return ansi;
    }
    // UTF-8 that would be taken for ANSI without its mark keeps the mark.
    const std::string_view mark = Utf8NeedsMark(utf8) ? TextMark(TTextForm::Utf8Marked) : "";
    std::string out;
    out.reserve(mark.size() + utf8.size());
    out += mark;
    out += utf8;
    return out;
}

bool Utf8NeedsMark(std::string_view utf8) { return !IsAscii(utf8) && TextFormOf(utf8) != TTextForm::Utf8; }

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
