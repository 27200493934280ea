#include "smil_body.h"

#include <unordered_map>

#include "mms_reader_parse.h"
#include "text_codec.h"

namespace {

constexpr size_t kNone = std::string_view::npos;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// An attribute's value with its character references read: "&amp;", "&lt;",
// "&gt;", "&quot;", "&apos;" and "&#N;" / "&#xN;". A reference the document does
// not close, or one of no known character, stays as written.
std::string AttributeText(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        // References are short: looking no further keeps the reading linear.
        const size_t semi = v[i] == '&' ? v.substr(0, i + 12).find(';', i + 1) : kNone;
        if (semi == kNone) {
            out += v[i];
            continue;
        }
        const std::string_view ref = v.substr(i + 1, semi - i - 1);
        static const struct {
            std::string_view name;
            char c;
        } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        uint32_t cp = 0;
        for (const auto& n : named)
            if (ref == n.name) cp = static_cast<unsigned char>(n.c);
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            for (const char c : digits) {
                const int d = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
                if (d < 0 || cp > 0x10FFFF) {
                    cp = 0;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
            }
            if (digits.empty() || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0;
        }
        if (cp == 0) {
            out += v[i];
            continue;
        }
        std::u16string unit;
        if (cp >= 0x10000) {
            unit = {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                    static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        } else {
            unit = {static_cast<char16_t>(cp)};
        }
        out += Utf16ToUtf8(unit);
        i = semi;
    }
    return out;
}

// One tag of the document, with the two attributes the pages need.
struct TTag {
    std::string Name;  // lower-cased
    bool End = false;
    bool SelfClosed = false;
    bool HasSrc = false, HasDur = false;
    std::string Src, Dur;
};

// Reads the tags one after the other. Every byte is looked at a bounded number of
// times: a search that finds no end takes the rest of the document with it.
class TTagReader {
public:
    explicit TTagReader(std::string_view s) : s_(s) {}

    // The next tag; false at the end of the document.
    bool Next(TTag& tag) {
        for (;;) {
            const size_t lt = s_.find('<', i_);
            if (lt == kNone) {
                i_ = s_.size();
                return false;
            }
            i_ = lt + 1;
            // Comments, character data, declarations and processing instructions
            // give nothing.
            if (SkipPast("!--", "-->") || SkipPast("![CDATA[", "]]>")) continue;
            if (i_ < s_.size() && (s_[i_] == '!' || s_[i_] == '?')) {
                SkipTo(">");
                continue;
            }
            tag = TTag{};
            if (i_ < s_.size() && s_[i_] == '/') {
                tag.End = true;
                ++i_;
            }
            while (i_ < s_.size() && !IsBlank(s_[i_]) && s_[i_] != '>' && s_[i_] != '/' &&
                   s_[i_] != '<')
                tag.Name += LowerChar(s_[i_++]);
            // A "<" that starts no name is text.
            if (tag.Name.empty()) continue;
            ReadAttributes(tag);
            return true;
        }
    }

private:
    std::string_view s_;
    size_t i_ = 0;

    // At open (right after the "<"): moves past close, or to the end without one.
    bool SkipPast(std::string_view open, std::string_view close) {
        if (s_.compare(i_, open.size(), open) != 0) return false;
        i_ += open.size();
        SkipTo(close);
        return true;
    }
    void SkipTo(std::string_view close) {
        const size_t e = s_.find(close, i_);
        i_ = e == kNone ? s_.size() : e + close.size();
    }

    void ReadAttributes(TTag& tag) {
        for (;;) {
            while (i_ < s_.size() && IsBlank(s_[i_])) ++i_;
            if (i_ >= s_.size()) return;
            const char c = s_[i_];
            if (c == '>') {
                ++i_;
                return;
            }
            // A tag left without its ">": the next one starts here.
            if (c == '<') return;
            if (c == '/') {
                ++i_;
                if (i_ < s_.size() && s_[i_] == '>') {
                    tag.SelfClosed = true;
                    ++i_;
                    return;
                }
                continue;
            }
            std::string name;
            while (i_ < s_.size() && !IsBlank(s_[i_]) && s_[i_] != '=' && s_[i_] != '>' &&
                   s_[i_] != '/' && s_[i_] != '<')
                name += LowerChar(s_[i_++]);
            while (i_ < s_.size() && IsBlank(s_[i_])) ++i_;
            if (i_ >= s_.size() || s_[i_] != '=') continue;
            ++i_;
            while (i_ < s_.size() && IsBlank(s_[i_])) ++i_;
            std::string_view value;
            if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\'')) {
                // An unclosed quote runs to the end of the document.
                const size_t e = s_.find(s_[i_], i_ + 1);
                const size_t end = e == kNone ? s_.size() : e;
                value = s_.substr(i_ + 1, end - i_ - 1);
                i_ = e == kNone ? end : end + 1;
            } else {
                const size_t start = i_;
                while (i_ < s_.size() && !IsBlank(s_[i_]) && s_[i_] != '>' && s_[i_] != '<' &&
                       !(s_[i_] == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '>'))
                    ++i_;
                value = s_.substr(start, i_ - start);
            }
            if (name == "src" && !tag.HasSrc) {
                tag.HasSrc = true;
                tag.Src = AttributeText(value);
            } else if (name == "dur" && !tag.HasDur) {
                tag.HasDur = true;
                tag.Dur = AttributeText(value);
            }
        }
    }
};

// The elements open at a point of the document, innermost last. A close tag
// closes its element and every element opened inside it; a close tag of no open
// element is ignored. The count per name finds that out at once, so that the
// stack is searched only where it is then cut.
class TOpenElements {
public:
    size_t Size() const { return names_.size(); }
    void Push(const std::string& name) {
        names_.push_back(name);
        ++count_[name];
    }
    void CutTo(size_t size) {
        while (names_.size() > size) {
            --count_[names_.back()];
            names_.pop_back();
        }
    }
    // The depth the element of this close tag stood at, or kNone when none is open.
    size_t DepthOf(const std::string& name) const {
        const auto it = count_.find(name);
        if (it == count_.end() || it->second == 0) return kNone;
        size_t k = names_.size();
        while (names_[k - 1] != name) --k;
        return k - 1;
    }

private:
    std::vector<std::string> names_;
    std::unordered_map<std::string, size_t> count_;
};

}  // namespace

std::vector<TSmilPage> SmilPages(std::string_view smil) {
    std::vector<TSmilPage> pages;
    TOpenElements open;
    // The depth of the element that makes the page being read, and of "head".
    size_t pageDepth = kNone, headDepth = kNone;
    bool mediaPage = false;
    auto cutTo = [&](size_t depth) {
        open.CutTo(depth);
        if (pageDepth != kNone && pageDepth >= depth) pageDepth = kNone;
        if (headDepth != kNone && headDepth >= depth) headDepth = kNone;
    };
    TTagReader reader(smil);
    TTag tag;
    while (reader.Next(tag)) {
        if (tag.End) {
            const size_t depth = open.DepthOf(tag.Name);
            if (depth != kNone) cutTo(depth);
            continue;
        }
        if (headDepth == kNone && tag.Name == "head" && !tag.SelfClosed) headDepth = open.Size();
        // A media element left open ends where the next page's element starts.
        if (pageDepth != kNone && mediaPage &&
            (tag.HasSrc || tag.Name == "par" || tag.Name == "seq"))
            cutTo(pageDepth);
        if (headDepth != kNone) {
            // Nothing in the head is a page.
        } else if (pageDepth != kNone) {
            TSmilPage& page = pages.back();
            if (tag.HasSrc) page.Sources.push_back(tag.Src);
            if (tag.HasDur && !page.HasDur) {
                page.HasDur = true;
                page.Dur = tag.Dur;
            }
        } else if (tag.Name == "par" || tag.HasSrc) {
            TSmilPage page;
            page.HasDur = tag.HasDur;
            page.Dur = tag.Dur;
            if (tag.HasSrc) page.Sources.push_back(tag.Src);
            pages.push_back(std::move(page));
            if (!tag.SelfClosed) {
                pageDepth = open.Size();
                mediaPage = tag.Name != "par";
            }
        }
        if (!tag.SelfClosed) open.Push(tag.Name);
    }
    return pages;
}

bool SmilDuration(std::string_view dur, int32_t& value) {
    std::string v(dur);
    for (const char* what : {"\"", " ", "ms", "s"}) v = RemoveTextIgnoreCase(v, what);
    return TryStrToInt(v, value);
}
