#include "working_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "in_place_write.h"
#include "regular_file.h"
#include "shared_procs.h"
#include "string_list.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace {
bool Taken(const std::string& path, const std::function<bool(const std::string&)>& alsoTaken) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) return true;
    return alsoTaken && alsoTaken(path);
}
}  // namespace

std::string NewWorkingCopyName(const std::string& tempDir, const std::string& source,
                               TRandomSource& rng,
                               const std::function<bool(const std::string&)>& alsoTaken,
                               bool lowerCaseExt) {
    const std::string ext =
        lowerCaseExt ? LowerAscii(ExtractFileExt(source)) : ExtractFileExt(source);
    constexpr int kDraws = 200;
    for (int width = 4;; ++width) {
        for (int i = 0; i < kDraws; ++i) {
            std::string path = tempDir + RandomDigits(width, rng) + ext;
            if (!Taken(path, alsoTaken)) return path;
        }
        // Nearly full: look for the free names one by one before widening.
        if (width <= 6) {
            long long limit = 1;
            for (int k = 0; k < width; ++k) limit *= 10;
            char buf[32];
            for (long long n = 0; n < limit; ++n) {
                std::snprintf(buf, sizeof(buf), "%0*lld", width, n);
                std::string path = tempDir + buf + ext;
                if (!Taken(path, alsoTaken)) return path;
            }
        }
    }
}

namespace {

std::string ReadMaterialOnce(const std::string& source, const TCopyHook& whileOpen) {
    const int fd = OpenRegularFile(source, O_RDONLY);
    if (fd < 0) throw std::runtime_error("无法打开文件 " + source + ": " + FileErrorText(errno));
    std::string data;
    struct stat before, after;
    bool ok = ::fstat(fd, &before) == 0;
    if (ok && whileOpen) whileOpen(source);
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    ok = ok && ::fstat(fd, &after) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok) throw std::runtime_error("无法读取文件 " + source + ": " + FileErrorText(err));
    const auto size = static_cast<off_t>(data.size());
    if (size != before.st_size || size != after.st_size)
        throw std::runtime_error("文件在复制时大小改变（应为 " + std::to_string(before.st_size) +
                                 " 字节，读到 " + std::to_string(data.size()) + " 字节）：" +
                                 source);
    return data;
}

}  // namespace

std::string ReadMaterialBytes(const std::string& source, const TCopyHook& whileOpen) {
    std::string data = ReadMaterialOnce(source, whileOpen);
    // A text the tools were rewriting into itself when they were killed gets its
    // old text back, as any reading of it does (ReadFileBytes).
    if (HoldsRewriteRecord(data)) {
        RecoverUnfinishedRewrite(source);
        data = ReadMaterialOnce(source, whileOpen);
    }
    return data;
}

void CopyTextMaterial(const std::string& source, const std::string& copy,
                      const TCopyHook& whileOpen) {
    std::string bytes = ReadMaterialBytes(source, whileOpen);
    // Only a UTF-16 mark matters here: any other text is copied as bytes.
    const bool le = bytes.starts_with("\xFF\xFE"), be = bytes.starts_with("\xFE\xFF");
    if (!le && !be) {
        size_t nul = bytes.find('\0');
        if (nul != std::string::npos) bytes.resize(nul);
        WriteNewFile(copy, JoinLines(SplitLines(bytes)));
        return;
    }
    // Lines of UTF-16 characters, written back in the same byte order after the mark.
    WriteNewFile(
        copy, Utf16FileBytes(Utf8ToUtf16(JoinLines(SplitLines(TextFileAsUtf8(bytes)))), be, true));
}

void CopyMaterial(const std::string& source, const std::string& copy, const TCopyHook& whileOpen) {
    CreateNewFile(copy, ReadMaterialBytes(source, whileOpen));
}

TMaterialIntake::TMaterialIntake(std::string tempDir, TRandomSource& rng, TQuestions& questions,
                                 const TPageList& pages)
    : tempDir_(std::move(tempDir)), rng_(rng), questions_(questions), pages_(pages) {}

TMediaKind TMaterialIntake::KindOf(const std::string& path) {
    if (IsTextFile(path)) return mkText;
    if (IsPictureFile(path)) return mkPicture;
    if (IsAudioFile(path)) return mkAudio;
    return mkAttach;
}

bool TMaterialIntake::InUse(const std::string& path) const {
    for (const auto& p : pages_.Items)
        for (const TMediaSlot& s : p->FSlots)
            if (s.File == path) return true;
    return false;
}

std::string TMaterialIntake::NewName(const std::string& source, bool lowerCaseExt) const {
    return NewWorkingCopyName(
        tempDir_, source, rng_, [this](const std::string& p) { return InUse(p); }, lowerCaseExt);
}

void TMaterialIntake::TellFailure(const std::string& source, const std::string& reason) {
    questions_.Ask("提示", "素材未能加入：" + source + "\r\n" + reason, TButtons::Ok,
                   TIcon::Information);
}

bool TMaterialIntake::Admits(const std::string& source) {
    struct stat st;
    if (::stat(source.c_str(), &st) != 0) {
        TellFailure(source, FileErrorText(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        TellFailure(source, "这是一个文件夹，不是素材文件");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        // A device or a pipe would be read without end.
        TellFailure(source, "这不是普通文件");
        return false;
    }
    return true;
}

std::string TMaterialIntake::Take(const std::string& source, TMediaKind kind, bool lowerCaseExt) {
    if (!Admits(source)) return {};
    const std::string copy = NewName(source, lowerCaseExt);
    try {
        if (kind == mkText)
            CopyTextMaterial(source, copy, FWhileCopying);
        else
            CopyMaterial(source, copy, FWhileCopying);
    } catch (const std::exception& e) {
        TellFailure(source, e.what());
        return {};
    }
    return copy;
}

std::string TMaterialIntake::TakeText(std::string_view text) {
    const std::string copy = NewName("text.txt");
    try {
        // ANSI lines where they read back the same, else UTF-8: nothing is lost.
        WriteNewFile(copy, StoredTextBytes(JoinLines(SplitLines(text))));
    } catch (const std::exception& e) {
        TellFailure("文字", e.what());
        return {};
    }
    return copy;
}
