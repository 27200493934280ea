#include "part_staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "shared_procs.h"
#include "string_list.h"

namespace {

// A new file in dir under a name no file has: ".in", the process id, a running
// number, and ext (so that a file left under it is still taken by its kind).
// Created exclusively, so it is never a link nor anyone else's file. Gives its
// path; throws with the reason when it cannot be written whole (nothing is left).
std::string WriteUniqueFile(const std::string& dir, const std::string& ext,
                            std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    std::string path;
    struct stat st;
    do {
        char stem[48];
        std::snprintf(stem, sizeof(stem), ".in%x-%u", static_cast<unsigned>(::getpid()),
                      counter.fetch_add(1));
        path = dir + stem + ext;
        // A name left by an earlier run of the same process id is passed over.
    } while (::lstat(path.c_str(), &st) == 0);
    CreateNewFile(path, bytes);
    return path;
}

// Renames from over to, removing what stands there first: a rename that replaces
// a file makes the file system write the new one out at once (as for a replace
// that must survive a crash), which a working file need not, and which costs more
// than the unpacking. False, with errno set, when the name cannot be taken.
bool MoveOver(const std::string& from, const std::string& to) {
    if (::unlink(to.c_str()) != 0 && errno != ENOENT) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

TPartStaging::TPartStaging(std::string tempDir) : tempDir_(std::move(tempDir)) {}

TPartStaging::~TPartStaging() {
    for (const TStaged& s : staged_) ::unlink(s.File.c_str());
}

bool TPartStaging::Add(const std::string& name, std::string_view data) {
    try {
        staged_.push_back({name, WriteUniqueFile(tempDir_, ExtractFileExt(name), data)});
    } catch (const std::exception& e) {
        failure_ = e.what();
        return false;
    }
    return true;
}

std::map<std::string, std::string> TPartStaging::Commit() {
    std::set<std::string> pending;
    for (const TStaged& s : staged_) pending.insert(s.File);
    std::map<std::string, std::string> files;
    for (const TStaged& s : staged_) {
        pending.erase(s.File);
        std::string file = s.File;
        const std::string target = tempDir_ + s.Name;
        // A name of the staging form never takes another part's staged file.
        if (!pending.count(target) && MoveOver(s.File, target)) {
            file = target;
        } else {
            const std::string ext = ExtractFileExt(s.Name);
            const std::string stem = target.substr(0, target.size() - ext.size());
            for (int i = 1; i < 100; ++i) {
                const std::string other = stem + "_" + std::to_string(i) + ext;
                if (pending.count(other)) continue;
                if (::renameat2(AT_FDCWD, s.File.c_str(), AT_FDCWD, other.c_str(),
                                RENAME_NOREPLACE) == 0) {
                    file = other;
                    break;
                }
                if (errno != EEXIST) break;
            }
        }
        files[s.Name] = file;
    }
    staged_.clear();
    return files;
}

void TPartStaging::ReplaceWorkingFile(const std::string& path, std::string_view bytes) {
    const std::string fresh = WriteUniqueFile(FolderOf(path), ExtractFileExt(path), bytes);
    if (!MoveOver(fresh, path)) {
        const int err = errno;
        ::unlink(fresh.c_str());
        throw std::runtime_error("无法写入文件 " + path + ": " + FileErrorText(err));
    }
}
