#include "string_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "text_codec.h"

TStringList SplitLines(std::string_view text) {
    TStringList lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string JoinLines(const TStringList& lines) {
    std::string out;
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string ReadFileBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("无法打开文件 " + path + ": " + std::strerror(errno));
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) throw std::runtime_error("无法读取文件 " + path);
    return data;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("无法创建文件 " + path + ": " + std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw std::runtime_error("无法写入文件 " + path);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    std::string tmp = path + ".writing";
    try {
        WriteFileBytes(tmp, bytes);
    } catch (...) {
        std::remove(tmp.c_str());
        throw;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::remove(tmp.c_str());
        throw std::runtime_error("无法创建文件 " + path + ": " + ec.message());
    }
}

TStringList LoadStringList(const std::string& path) {
    return SplitLines(Cp936ToUtf8(ReadFileBytes(path)));
}

void SaveStringList(const std::string& path, const TStringList& lines) {
    WriteFileBytes(path, Utf8ToCp936(JoinLines(lines)));
}
