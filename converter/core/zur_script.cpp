#include "zur_script.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "own_file.h"
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
    // Made anew: a link under the name is neither written through nor made
    // executable, a pipe does not hold the window.
    int fd = CreateOwnFile(FileName, 0755);
    // A device left under the name is no batch file, and keeps its mode.
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        fd = -1;
        errno = EINVAL;
    }
    // The message is the reason alone: the window names the folder.
    if (fd < 0) throw std::runtime_error(SystemErrorText(errno));
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(SystemErrorText(error));
    }
    bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    int error = errno;
    if (written && ::fchmod(fd, 0755) != 0) {
        written = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) throw std::runtime_error(SystemErrorText(error));
}
