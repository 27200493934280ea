#include "zur_paths.h"

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
    if (ext == ".wav") return TZurSourceKind::Wave;
    if (ext == ".mp3") return TZurSourceKind::Mp3;
    if (ext == ".wma") return TZurSourceKind::Wma;
    return TZurSourceKind::None;
}

namespace {

bool IsSoundExt(std::string_view Ext) {
    return SameTextAscii(Ext, ".mp3") || SameTextAscii(Ext, ".wav") || SameTextAscii(Ext, ".wma");
}

}  // namespace

TZurProposal ProposeForChosenSource(std::string_view FileName) {
    const std::string source = LowerAscii(FileName);
    const bool sound = IsSoundExt(ExtractFileExt(source));
    return {source, ChangeFileExt(source, sound ? ".zur" : ".wav")};
}

std::optional<TZurProposal> ProposeForDroppedFiles(const std::vector<std::string>& FileNames) {
    for (const std::string& name : FileNames) {
        const std::string ext = ExtractFileExt(name);
        if (IsSoundExt(ext)) return TZurProposal{name, ChangeFileExt(name, ".zur")};
        if (SameTextAscii(ext, ".zur")) return TZurProposal{name, ChangeFileExt(name, ".wav")};
    }
    return std::nullopt;
}
