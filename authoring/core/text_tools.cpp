#include "text_tools.h"

#include <cstdio>

#include "shared_procs.h"
#include "string_list.h"
#include "text_codec.h"

void WriteUtf8File(const std::string& path, const std::string& ansiText, bool withMark) {
    if (ansiText.empty()) return;
    std::string bytes = withMark ? std::string("\xEF\xBB\xBF") : std::string();
    bytes += Cp936ToUtf8(ansiText);
    WriteFileBytes(path, bytes);
}

void WriteUnicodeFile(const std::string& path, const std::string& ansiText, bool withMark) {
    if (ansiText.empty()) return;
    std::string bytes = withMark ? std::string("\xFF\xFE") : std::string();
    for (char16_t c : Cp936ToUtf16(ansiText)) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFileBytes(path, bytes);
}

void ConvertTextFile(const std::string& path, TTextEncoding to) {
    const std::string text = LoadTextAsAnsi(path);
    switch (to) {
        case TTextEncoding::Ansi:
            WriteFileBytes(path, JoinLines(SplitLines(text)));
            break;
        case TTextEncoding::Utf8:
            WriteUtf8File(path, text, true);
            break;
        case TTextEncoding::Unicode:
            WriteUnicodeFile(path, text, true);
            break;
    }
}

int SplitTextFile(const std::string& path, int32_t maxLen) {
    if (maxLen < 1) return 0;
    const std::string dir = ExtractFilePath(path);
    const std::string name = ExtractFileName(path);
    const std::string base = name.substr(0, name.size() - ExtractFileExt(name).size());
    // A UTF-8 text (with its mark or by the rule) is split on its characters, without
    // the mark; any other file's bytes are taken as ANSI lines, whatever mark they
    // may carry.
    const std::string bytes = ReadFileBytes(path);
    const TTextForm form = TextFormOf(bytes);
    const bool utf8 = IsUtf8Form(form);
    const std::string lines =
        JoinLines(SplitLines(std::string_view(bytes).substr(utf8 ? TextMark(form).size() : 0)));
    std::u16string w = utf8 ? Utf8ToUtf16(lines) : Cp936ToUtf16(lines);
    const size_t limit = static_cast<size_t>(maxLen);
    int k = 0;
    size_t pos = 0;
    auto save = [&](std::u16string_view chunk) {
        char num[16];
        std::snprintf(num, sizeof(num), "%.4d", k);
        // ANSI lines where they read back the same, else UTF-8: nothing is lost.
        WriteFileBytes(dir + base + "." + num + ".txt",
                       StoredTextBytes(JoinLines(SplitLines(Utf16ToUtf8(chunk)))));
    };
    for (;;) {
        ++k;
        if (w.size() - pos < limit) break;
        save(std::u16string_view(w).substr(pos, limit));
        pos += limit;
    }
    if (pos < w.size()) {
        save(std::u16string_view(w).substr(pos));
        return k;
    }
    return k - 1;
}
