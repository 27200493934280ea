#include "working_copy.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

void CopyTextMaterial(const std::string& source, const std::string& copy) {
    std::string bytes = ReadFileBytes(source);
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    WriteNewFile(copy, JoinLines(SplitLines(bytes)));
}

void CopyMaterial(const std::string& source, const std::string& copy) {
    CreateNewFile(copy, ReadFileBytes(source));
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
            CopyTextMaterial(source, copy);
        else
            CopyMaterial(source, copy);
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
