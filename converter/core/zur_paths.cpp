#include "zur_paths.h"

#include <sys/stat.h>

std::string TrimText(std::string_view Text) {
    size_t begin = 0, end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= 32) --end;
    return std::string(Text.substr(begin, end - begin));
}

std::string LowerAscii(std::string_view Text) {
    std::string result(Text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
    return A.size() == B.size() && LowerAscii(A) == LowerAscii(B);
}

std::string ExtractFileExt(std::string_view FileName) {
    const size_t dot = FileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    if (FileName.find('/', dot) != std::string_view::npos) return {};
    return std::string(FileName.substr(dot));
}

std::string ChangeFileExt(std::string_view FileName, std::string_view Ext) {
    const std::string current = ExtractFileExt(FileName);
    std::string result(FileName.substr(0, FileName.size() - current.size()));
    result += Ext;
    return result;
}

TZurSourceKind SourceKindOf(std::string_view FileName) {
    const std::string ext = ExtractFileExt(FileName);
    if (SameTextAscii(ext, ".wav")) return TZurSourceKind::Wave;
    if (SameTextAscii(ext, ".mp3")) return TZurSourceKind::Mp3;
    if (SameTextAscii(ext, ".wma")) return TZurSourceKind::Wma;
    return TZurSourceKind::None;
}

bool IsZurFile(std::string_view FileName) {
    return SameTextAscii(ExtractFileExt(FileName), ".zur");
}

namespace {

bool IsSoundExt(std::string_view Ext) {
    return SameTextAscii(Ext, ".mp3") || SameTextAscii(Ext, ".wav") || SameTextAscii(Ext, ".wma");
}

}  // namespace

TZurProposal ProposeForChosenSource(std::string_view FileName) {
    const bool sound = IsSoundExt(ExtractFileExt(FileName));
    return {std::string(FileName), ChangeFileExt(FileName, sound ? ".zur" : ".wav")};
}

std::optional<TZurProposal> ProposeForDroppedFiles(const std::vector<std::string>& FileNames) {
    for (const std::string& name : FileNames) {
        const std::string ext = ExtractFileExt(name);
        if (IsSoundExt(ext)) return TZurProposal{name, ChangeFileExt(name, ".zur")};
        if (SameTextAscii(ext, ".zur")) return TZurProposal{name, ChangeFileExt(name, ".wav")};
    }
    return std::nullopt;
}

TFileStamp FileStampOf(const std::string& FileName) {
    struct stat info {};
    if (::stat(FileName.c_str(), &info) != 0) return {};
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool FileWrittenSince(const TFileStamp& Before, const std::string& FileName) {
    const TFileStamp now = FileStampOf(FileName);
    if (!now.Exists) return false;
    if (!Before.Exists) return true;
    auto same = [](const timespec& A, const timespec& B) {
        return A.tv_sec == B.tv_sec && A.tv_nsec == B.tv_nsec;
    };
    return now.Device != Before.Device || now.Inode != Before.Inode || now.Size != Before.Size ||
           !same(now.Modified, Before.Modified) || !same(now.Changed, Before.Changed);
}
