#include "text_tools.h"

#include <cstdio>
#include <exception>

#include "shared_procs.h"
#include "string_list.h"
#include "text_codec.h"

void WriteUtf8File(const std::string& path, const std::string& text, bool withMark) {
    if (text.empty()) return;
    ReplaceFileAtomically(path, (withMark ? std::string("\xEF\xBB\xBF") : std::string()) + text);
}

void WriteUnicodeFile(const std::string& path, const std::string& text, bool withMark) {
    if (text.empty()) return;
    ReplaceFileAtomically(path, Utf16FileBytes(Utf8ToUtf16(text), false, withMark));
}

bool ConvertTextFile(const std::string& path, TTextEncoding to) {
    if (to == TTextEncoding::Ansi) {
        const TAnsiLines text = LoadAsAnsiLines(path);
        if (text.KeepAsIs) return false;
        if (text.Differs) ReplaceFileAtomically(path, text.Lines);
        return true;
    }
    // An empty text leaves the file as it was, mark and all.
    const std::string text = TextAsUtf8(ReadFileBytes(path));
    if (to == TTextEncoding::Utf8)
        WriteUtf8File(path, text, true);
    else
        WriteUnicodeFile(path, text, true);
    return true;
}

void ConvertTextFiles(const std::vector<std::string>& files, TTextEncoding to,
                      TQuestions& questions) {
    std::string kept;
    int converted = 0;
    for (const std::string& f : files) {
        try {
            if (ConvertTextFile(f, to))
                ++converted;
            else
                kept += "\r\n" + f;
        } catch (const std::exception& e) {
            questions.Ask("提示",
                          std::string("文件格式转换失败：") + e.what() + "\r\n已转换 " +
                              std::to_string(converted) + " 个文件。",
                          TButtons::Ok, TIcon::Information);
            return;
        }
    }
    questions.Ask("提示",
                  kept.empty() ? std::string("文件格式转换完成！")
                               : "以下文件转换为ANSI文本会丢失或改变字符，保持原样，未转换：" + kept,
                  TButtons::Ok, TIcon::Information);
}

namespace {
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }
}  // namespace

int SplitTextFile(const std::string& path, int32_t maxLen, int* written) {
    if (written) *written = 0;
    if (maxLen < 1) return 0;
    const std::string dir = ExtractFilePath(path);
    const std::string name = ExtractFileName(path);
    const std::string base = name.substr(0, name.size() - ExtractFileExt(name).size());
    // The text by the file's form, as lines each ended by CR LF, in UTF-16 units.
    const std::u16string w =
        Utf8ToUtf16(JoinLines(SplitLines(TextAsUtf8(ReadFileBytes(path)))));
    const size_t limit = static_cast<size_t>(maxLen);
    int k = 0;
    size_t pos = 0;
    auto save = [&](std::u16string_view chunk) {
        // ANSI lines where they read back the same, else UTF-8: nothing is lost.
        WriteFileAtomically(dir + SplitPartName(base, k),
                            StoredTextBytes(JoinLines(SplitLines(Utf16ToUtf8(chunk)))));
        if (written) *written = k;
    };
    for (;;) {
        ++k;
        if (w.size() - pos < limit) break;
        size_t len = limit;
        // The two halves of a character stay together.
        if (pos + len < w.size() && IsHighSurrogate(w[pos + len - 1]) &&
            IsLowSurrogate(w[pos + len]))
            len = len > 1 ? len - 1 : 2;
        save(std::u16string_view(w).substr(pos, len));
        pos += len;
    }
    if (pos < w.size()) {
        save(std::u16string_view(w).substr(pos));
        return k;
    }
    return k - 1;
}

std::string SplitPartName(const std::string& base, int k) {
    char num[16];
    std::snprintf(num, sizeof(num), "%.4d", k);
    return base + "." + num + ".txt";
}

void SplitTextFiles(const std::vector<std::string>& files, int32_t maxLen, TQuestions& questions) {
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& f = files[i];
        int written = 0;
        try {
            SplitTextFile(f, maxLen, &written);
        } catch (const std::exception& e) {
            // The parts written so far are whole and stay: the box says which and where.
            const std::string name = ExtractFileName(f);
            const std::string base = name.substr(0, name.size() - ExtractFileExt(name).size());
            std::string text = "文本分割失败：" + f + "\r\n" + e.what() + "\r\n";
            if (written == 0)
                text += "此文件未写入分割文件。";
            else
                text += "此文件已写入 " + std::to_string(written) + " 个分割文件（" +
                        SplitPartName(base, 1) +
                        (written > 1 ? " 至 " + SplitPartName(base, written) : std::string()) +
                        "），保留在 " + ExtractFilePath(f) + "。";
            if (i > 0) text += "\r\n此前 " + std::to_string(i) + " 个文件已分割完成。";
            if (i + 1 < files.size())
                text += "\r\n其余 " + std::to_string(files.size() - i - 1) + " 个文件未分割。";
            questions.Ask("提示", text, TButtons::Ok, TIcon::Information);
            return;
        }
    }
}
