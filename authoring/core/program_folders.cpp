#include "program_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "shared_procs.h"
#include "string_list.h"

namespace fs = std::filesystem;

TProgramFolders TProgramFolders::Form(std::string programDir) {
    if (programDir.empty() || programDir.back() != '/') programDir += '/';
    TProgramFolders f;
    f.ProgramDir = programDir;
    f.TempDir = programDir + "临时目录/";
    f.MaterialDir = programDir + "彩信素材/";
    f.PictureDir = f.MaterialDir + "图片/";
    f.MusicDir = f.MaterialDir + "音乐/";
    f.TextDir = f.MaterialDir + "文本/";
    f.AttachDir = f.MaterialDir + "附件/";
    f.OutputDir = programDir + "彩信目录/";
    f.ConfigDir = programDir + "配置目录/";
    f.CustomDir = programDir + "自定义彩信/";
    return f;
}

namespace {
bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    if (!IsFolder(path)) fs::create_directories(path, ec);
}
}  // namespace

bool TProgramFolders::Ensure() const {
    std::error_code ec;
    const bool configIsNew = !fs::exists(ConfigDir, ec);
    for (const std::string* dir : {&TempDir, &MaterialDir, &PictureDir, &MusicDir, &TextDir,
                                   &AttachDir, &OutputDir, &ConfigDir})
        MakeFolder(*dir);
    if (configIsNew && IsFolder(ConfigDir)) {
        // No sample beside the program leaves the folder empty, as before.
        const std::string sample = ProgramDir + kSampleTemplateName;
        if (fs::is_regular_file(sample, ec))
            fs::copy_file(sample, ConfigDir + kSampleTemplateName, fs::copy_options::none, ec);
    }
    if (fs::exists(CustomDir, ec)) return false;
    MakeFolder(CustomDir);
    return IsFolder(CustomDir);
}

void TruncateAndRemove(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    // Only a plain file is emptied: through a link the truncation would reach a
    // file outside the folder.
    if (S_ISREG(st.st_mode)) {
        if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
    }
    if (!S_ISDIR(st.st_mode)) ::unlink(path.c_str());
}

void ClearTempFolder(const std::string& tempDir) {
    TStringList names;
    FindFiles(tempDir, "*.*", names);
    std::string dir = tempDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (const auto& name : names) TruncateAndRemove(dir + name);
}
