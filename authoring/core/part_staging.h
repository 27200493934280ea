// The parts of a message being opened, on their way into the temporary folder.
// They are written under names of their own that no other file has, so that the
// files of the message on the pages are never touched while the new one may still
// fail; only once it is whole do they take their part names.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

class TPartStaging {
public:
    // tempDir ends with "/".
    explicit TPartStaging(std::string tempDir);
    // Removes every staged file that was not committed.
    ~TPartStaging();
    TPartStaging(const TPartStaging&) = delete;
    TPartStaging& operator=(const TPartStaging&) = delete;

    // Writes a part (name: its file name in the temporary folder, distinct within
    // the message) under a staging name. False when it cannot be written whole:
    // nothing of it is left then, and Failure() tells why.
    bool Add(const std::string& name, std::string_view data);
    bool Failed() const { return !failure_.empty(); }
    const std::string& Failure() const { return failure_; }

    // Gives every staged part its name in the temporary folder, replacing a file
    // that stands there (a link is replaced, not followed). A part whose name is
    // taken by something that is not a file (a folder) gets the name with "_1",
    // "_2", ... before its extension, or else keeps its staging name, which the
    // folder's clean-up removes like any file. Gives the file of each name.
    std::map<std::string, std::string> Commit();

    // Replaces a working file with new bytes by way of a fresh file beside it, so
    // that a failed write leaves the old bytes as they were. Throws
    // std::runtime_error when the new bytes cannot be written whole.
    static void ReplaceWorkingFile(const std::string& path, std::string_view bytes);

private:
    struct TStaged {
        std::string Name, File;
    };
    std::string tempDir_;
    std::vector<TStaged> staged_;
    std::string failure_;
};
