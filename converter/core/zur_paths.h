// The text and file-name rules of the converter window: trimming, extensions,
// the decoder chosen by a source's extension, the target proposed for a chosen
// or dropped source, and whether a run wrote its target. Paths keep their case
// throughout: file names here are case-sensitive, so a lower-cased path would
// name a file that is not there.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Removes the characters with codes 0 to 32 at both ends.
std::string TrimText(std::string_view Text);
// Lower-cases the ASCII letters A to Z; every other byte stays.
std::string LowerAscii(std::string_view Text);
// Compares without regard to the case of ASCII letters.
bool SameTextAscii(std::string_view A, std::string_view B);
// The tail of a name from its last "." on, provided no "/" stands after it;
// empty when there is none.
std::string ExtractFileExt(std::string_view FileName);
// The name with its extension replaced by Ext (added when it has none).
std::string ChangeFileExt(std::string_view FileName, std::string_view Ext);

// The decoders of the chain, by the source's extension.
enum class TZurSourceKind { None, Wave, Mp3, Wma };
// Compared without regard to the case of ASCII letters.
TZurSourceKind SourceKindOf(std::string_view FileName);
// Whether the extension is ".zur", without regard to the case of ASCII letters.
bool IsZurFile(std::string_view FileName);

// A source and the target proposed for it.
struct TZurProposal {
    std::string Source;
    std::string Target;
};
// For a file chosen in the open dialog: the name, and the same name with ".zur"
// for a ".mp3", ".wav" or ".wma" and ".wav" for anything else.
TZurProposal ProposeForChosenSource(std::string_view FileName);
// For files dropped on the window, in the order of the drop: the first of a
// known kind (".mp3", ".wav", ".wma" -> ".zur"; ".zur" -> ".wav", compared
// without regard to case) wins; its name keeps its case. None when no file is
// of a known kind.
std::optional<TZurProposal> ProposeForDroppedFiles(const std::vector<std::string>& FileNames);

// What a file was before a run, so that a target the run wrote can be told from
// one that was there already.
struct TFileStamp {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};
};
TFileStamp FileStampOf(const std::string& FileName);
// True when FileName exists now and was made, replaced or changed since Before.
bool FileWrittenSince(const TFileStamp& Before, const std::string& FileName);
