#include "working_copy.h"

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
    WriteFileBytes(copy, JoinLines(SplitLines(bytes)));
}

bool CopyMaterial(const std::string& source, const std::string& copy) {
    std::error_code ec;
    return fs::copy_file(source, copy, fs::copy_options::none, ec) && !ec;
}
