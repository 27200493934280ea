// The fixed folder tree under the program folder, the header template of the
// custom-message folder, and the two clean-ups that remove files (the temporary
// folder, the autosave).
#pragma once

#include <string>

class TQuestions;

// Every folder ends with "/"; all are formed by plain concatenation.
struct TProgramFolders {
    std::string ProgramDir;
    std::string TempDir;
    std::string MaterialDir;
    std::string PictureDir;
    std::string MusicDir;
    std::string TextDir;
    std::string AttachDir;
    std::string OutputDir;
    std::string ConfigDir;
    std::string CustomDir;

    // Forms the tree under programDir (a missing trailing "/" is added).
    static TProgramFolders Form(std::string programDir);

    // Creates every missing folder of the tree, with missing parents. Failures are
    // not reported: whoever writes there later fails in its own way. Gives true
    // when the custom-message folder was missing and has been made now, which is
    // the one moment its header template is written. A configuration folder made
    // now receives a copy of the sample template that stands beside the program
    // (when it does), so that a first message can be made at once; an existing
    // one is left as it is, also when the user has emptied it.
    bool Ensure() const;
};

// The sample SMIL template shipped beside the program: a 240 by 320 layout,
// the image region over the upper 84 %, the text region below.
constexpr const char* kSampleTemplateName = "示例.smil";

constexpr const char* kAutosaveName = "mms.mms";

// Removes the top-level files of tempDir whose names have an extension (as
// TruncateAndRemove). Subfolders are left alone, a symbolic link is removed without
// touching what it points at, and a file that cannot be removed stays.
void ClearTempFolder(const std::string& tempDir);

// Removes the name, so that nothing stands there any more; reports no failure. A
// file whose name cannot be removed is emptied instead, provided it is a regular
// file with no other name and still the file that stood there when looked at: no
// other name of a file, and nothing a link points at, ever loses its text.
void TruncateAndRemove(const std::string& path);

// Moves the file at path to the first free name of the form stem + "_未读取_" + n +
// extension, n from 1 to kMaxKeptAside, without ever replacing what stands under a
// name (also one that appears meanwhile). The new name, or "" when none could be
// taken: the file then stays where it was.
std::string KeepAside(const std::string& path);
constexpr int kMaxKeptAside = 999;

// An autosave that could not be read, kept aside (KeepAside) and the user told the
// name; false when no name could be taken (nothing is said then).
bool KeepUnreadAutosave(const std::string& path, TQuestions& questions);

// Moves from to to unless something stands under to (EEXIST then); a file system
// without a no-replace rename gets a new link and the old name removed. 0 or the
// errno of the failure, with the file under from as it was.
int RenameNoReplace(const std::string& from, const std::string& to);
