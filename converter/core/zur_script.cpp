#include "zur_script.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "system_error_text.h"

std::string ShellDoubleQuoted(std::string_view Text) {
    std::string result = "\"";
    for (char c : Text) {
        if (c == '\\' || c == '"' || c == '$' || c == '`') result += '\\';
        result += c;
    }
    result += '"';
    return result;
}

std::string ShellWord(std::string_view Path) {
    bool plain = !Path.empty();
    for (char c : Path) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || std::strchr("/._-+,:@%", c) != nullptr;
        if (!safe || c == 0) plain = false;
    }
    if (plain) return std::string(Path);
    std::string result = "'";
    for (char c : Path) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    result += '\'';
    return result;
}

namespace {

std::string ConverterPart(std::string_view AppDir, std::string_view Command) {
    std::string line = ShellDoubleQuoted(std::string(AppDir) + ZurConverterName);
    line += ' ';
    line += Command;
    line += ' ';
    return line;
}

}  // namespace

std::string ZurEncodeLine(std::string_view AppDir, std::string_view TempWav,
                          std::string_view Target, std::string_view ModeName) {
    std::string line = ConverterPart(AppDir, "wav2zur");
    line += ShellDoubleQuoted(TempWav);
    line += "  ";
    line += ShellDoubleQuoted(Target);
    line += ' ';
    line += ModeName;
    return line;
}

std::string ZurDecodeLine(std::string_view AppDir, std::string_view Source,
                          std::string_view Target) {
    std::string line = ConverterPart(AppDir, "zur2wav");
    line += ShellDoubleQuoted(Source);
    line += "  ";
    line += ShellDoubleQuoted(Target);
    return line;
}

void SaveScriptFile(const std::vector<std::string>& Lines, const std::string& FileName) {
    std::string text;
    for (const std::string& line : Lines) text += line + "\n";
    std::FILE* file = std::fopen(FileName.c_str(), "wb");
    // The message is the reason alone: the window names the folder.
    if (!file) throw std::runtime_error(SystemErrorText(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        throw std::runtime_error(SystemErrorText(errno));
    if (::chmod(FileName.c_str(), 0755) != 0)
        throw std::runtime_error(SystemErrorText(errno));
}
