#include "mms_reader_parse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

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

// File names are kept well below the 255 bytes a Linux file name may hold.
constexpr size_t kMaxNameBytes = 200;

}  // namespace

int32_t QueryFileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
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
            const std::string text = TextAt(bytes, len, textStart);
            if (!IsValidUtf8(text)) return {};
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
