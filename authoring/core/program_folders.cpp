#include "program_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "regular_file.h"
#include "services.h"
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
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return;
    // Unlinking takes the name alone: a file's other names, and whatever a link
    // points at, keep their text.
    if (::unlink(path.c_str()) == 0 || errno == ENOENT || !S_ISREG(st.st_mode) || st.st_nlink != 1)
        return;
    // A name that cannot be taken away (a folder that may not be written) is at
    // least emptied, so that it holds no work any more; but only the very file
    // checked, with no other name, and never through a link put there since.
    struct stat now;
    const int fd = OpenRegularFile(path, O_WRONLY | O_NOFOLLOW, &now);
    if (fd < 0) return;
    const bool same = now.st_dev == st.st_dev && now.st_ino == st.st_ino && now.st_nlink == 1;
    [[maybe_unused]] const int emptied = same ? ::ftruncate(fd, 0) : 0;
    ::close(fd);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // A link fails on a taken name as the rename would; the file has both names
    // for a moment, never neither.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return err;
    }
    return 0;
}

std::string KeepAside(const std::string& path) {
    const std::string ext = ExtractFileExt(path);
    const std::string stem = path.substr(0, path.size() - ext.size());
    for (int n = 1; n <= kMaxKeptAside; ++n) {
        const std::string kept = stem + "_未读取_" + std::to_string(n) + ext;
        const int err = RenameNoReplace(path, kept);
        if (err == 0) return kept;
        if (err != EEXIST) break;
    }
    return {};
}

bool KeepUnreadAutosave(const std::string& path, TQuestions& questions) {
    const std::string kept = KeepAside(path);
    if (kept.empty()) return false;
    questions.Ask("提示", "未能读取上次自动保存的彩信，已将它保留为：\r\n" + kept, TButtons::Ok,
                  TIcon::Information);
    return true;
}

void ClearTempFolder(const std::string& tempDir) {
    TStringList names;
    FindFiles(tempDir, "*.*", names);
    std::string dir = tempDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (const auto& name : names) TruncateAndRemove(dir + name);
}
