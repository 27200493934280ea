// The fixed folder tree under the program folder, the header template of the
// custom-message folder, and the two clean-ups that empty files before removing
// them (the temporary folder, the autosave).
#pragma once

#include <string>

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

// Empties and removes the top-level files of tempDir whose names have an
// extension. Subfolders are left alone, a symbolic link is removed without
// touching what it points at, and a file that cannot be removed stays.
void ClearTempFolder(const std::string& tempDir);

// Truncates the file to zero bytes and removes it; both steps are tried whatever
// the first gives, and neither reports a failure.
void TruncateAndRemove(const std::string& path);
