#include "string_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "in_place_write.h"
#include "regular_file.h"
#include "text_codec.h"

TStringList SplitLines(std::string_view text) {
    TStringList lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string JoinLines(const TStringList& lines) {
    std::string out;
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string CrLfLines(std::string text) {
    const size_t n = text.size();
    size_t breaks = 0;
    bool asItIs = n == 0 || (n >= 2 && text[n - 2] == '\r' && text[n - 1] == '\n');
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') {
            ++i;
            ++breaks;
        } else if (text[i] == '\r' || text[i] == '\n') {
            asItIs = false;
            ++breaks;
        }
    }
    if (asItIs) return text;
    std::string out;
    out.reserve(n + breaks + 2);
    size_t i = 0;
    while (i < n) {
        const char c = text[i++];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        if (c == '\r' && i < n && text[i] == '\n') ++i;
        out += "\r\n";
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out;
}

namespace {

std::string ReadWholeFile(const std::string& path) {
    FILE* f = OpenRegularStream(path);
    if (!f) throw std::runtime_error("无法打开文件 " + path + ": " + FileErrorText(errno));
    std::string data;
    // Room for the whole file at once: growing by doubling would hold it twice.
    struct stat st;
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) throw std::runtime_error("无法读取文件 " + path);
    return data;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
    std::string data = ReadWholeFile(path);
    // A user's file rewritten into itself (RewriteFileInPlace, ReplaceFileAtomically)
    // by a program that was killed meanwhile: its old text comes back whole first.
    if (HoldsRewriteRecord(data)) {
        RecoverUnfinishedRewrite(path);
        data = ReadWholeFile(path);
    }
    return data;
}

void RecoverUnfinishedRewrite(const std::string& path) {
    if (!RecoverFileWrite(path))
        throw std::runtime_error("无法读取文件 " + path + ": 上次写入未完成，无法恢复");
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("无法创建文件 " + path + ": " + FileErrorText(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw std::runtime_error("无法写入文件 " + path + ": " + FileErrorText(errno));
}

namespace {

// Writes all bytes to an open descriptor from its current offset; false (errno set)
// on any failure.
bool WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Writes all bytes and closes the descriptor; false on any failure, with the
// errno of the first one.
bool WriteAndClose(int fd, std::string_view bytes) {
    bool ok = WriteAll(fd, bytes);
    const int err = errno;
    if (::close(fd) != 0 && ok) return false;
    errno = err;
    return ok;
}

// WriteAndClose for a temporary that is to be renamed over a file: its bytes are
// on the disk before the rename, so that a crash after it never leaves the name
// with an empty or partly written file.
bool WriteSyncAndClose(int fd, std::string_view bytes) {
    if (!WriteAll(fd, bytes) || (::fdatasync(fd) != 0 && errno != EINVAL)) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    return WriteAndClose(fd, {});
}

// How every writer's temporary begins: ".w", this host's name (letters, digits,
// "." and "_" kept, anything else "_") and "-". Only the host tells whose it is: a
// writer in another pid namespace or on another host that shares the folder has
// a process id that means nothing here.
const std::string& TemporaryPrefix() {
    static const std::string prefix = [] {
        char host[256] = {};
        if (::gethostname(host, sizeof(host) - 1) != 0) host[0] = 0;
        std::string t = ".w";
        for (const char* c = host; *c && t.size() < 2 + 64; ++c)
            t += std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '_' ? *c : '_';
        return t + (host[0] ? "-" : "_-");
    }();
    return prefix;
}

// The name of a writer's temporary: the prefix, the writer's process id and a
// three-digit attempt in hexadecimal, ".tmp".
std::string TemporaryName(unsigned attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), "%x%03x.tmp", static_cast<unsigned>(::getpid()), attempt);
    return TemporaryPrefix() + suffix;
}

// Creates a short temporary name of our own beside path, exclusively, so that it
// can never be a link; the descriptor, or -1 with errno set.
int CreateTemporaryBeside(const std::string& path, std::string& tmp) {
    const std::string dir = std::filesystem::path(path).parent_path().string();
    const std::string prefix = dir.empty() ? std::string() : dir + "/";
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 1000; ++attempt) {
        tmp = prefix + TemporaryName(attempt);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

std::string ErrnoText() { return FileErrorText(errno); }

}  // namespace

std::string FileErrorText(int err) {
    switch (err) {
    case EACCES:
    case EPERM: return "没有权限";
    case ENOSPC:
    case EDQUOT: return "磁盘空间不足";
    case ENOENT: return "文件或文件夹不存在";
    case ENOTDIR: return "路径中有一项不是文件夹";
    case EISDIR: return "该名称是一个文件夹";
    case EROFS: return "文件系统只读";
    case ENAMETOOLONG: return "文件名太长";
    case EEXIST: return "文件已存在";
    case ELOOP: return "该名称是一个链接";
    case EIO: return "读写错误";
    case EMFILE:
    case ENFILE: return "打开的文件太多";
    case EFBIG: return "文件太大";
    case kNotRegularFile: return "不是普通文件";
    default: return std::strerror(err);
    }
}

namespace {

[[noreturn]] void ThrowWriteError(const std::string& path, int err) {
    throw std::runtime_error("无法写入文件 " + path + ": " + FileErrorText(err));
}

// Follows links to the file that finally stands under the name (which need not
// exist yet).
std::string LinkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
        fs::path to = fs::read_symlink(p, ec);
        if (ec) ThrowWriteError(path, ec.value());
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    ThrowWriteError(path, ELOOP);
}

// Gives the new file (fd) what the file it takes the place of has (st, at path):
// its mode, owner and group, and its extended attributes (access lists among
// them). With all, false (errno set) as soon as one of them cannot be kept; else
// each is kept where the system allows it and the rest is let go.
bool TakeAttributes(int fd, const std::string& path, const struct stat& st, bool all) {
    mode_t mode = st.st_mode & 07777;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        if (all) return false;
        // Ours is as near as an ordinary user comes; a group we are not in is let
        // go, and what that group might do goes with it rather than to our group.
        if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) mode &= ~static_cast<mode_t>(S_IRWXG);
    }
    if (::fchmod(fd, mode) != 0) return false;
    const ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
    if (size <= 0) return size == 0 || !all || errno == ENOTSUP;
    std::string names(static_cast<size_t>(size), '\0');
    const ssize_t got = ::llistxattr(path.c_str(), names.data(), names.size());
    if (got < 0) return !all;
    names.resize(static_cast<size_t>(got));
    for (size_t at = 0; at < names.size();) {
        const char* name = names.c_str() + at;
        at += std::strlen(name) + 1;
        std::string value(256, '\0');
        ssize_t n = ::lgetxattr(path.c_str(), name, value.data(), value.size());
        if (n < 0 && errno == ERANGE) {
            n = ::lgetxattr(path.c_str(), name, nullptr, 0);
            if (n >= 0) {
                value.resize(static_cast<size_t>(n));
                n = ::lgetxattr(path.c_str(), name, value.data(), value.size());
            }
        }
        if ((n < 0 || ::fsetxattr(fd, name, value.data(), static_cast<size_t>(n), 0) != 0) && all)
            return false;
    }
    return true;
}

// Marks a replace that would lose what the file is (its owner, group or attributes).
constexpr int kAttributesLost = -1;

// A temporary beside the file with the file's mode, owner, group and attributes,
// renamed over it. 0 when it stands; kAttributesLost when the temporary could not
// be given all of them (a file of another user, or of a group we are not in);
// else the errno of the failure. Either way nothing is left behind and the file
// is as it was.
int ReplaceKeepingAttributes(const std::string& path, const struct stat& st,
                             std::string_view bytes) {
    std::string tmp;
    const int fd = CreateTemporaryBeside(path, tmp);
    if (fd < 0) return errno;
    int err = 0;
    if (!TakeAttributes(fd, path, st, true)) {
        err = kAttributesLost;
        ::close(fd);
    } else if (!WriteSyncAndClose(fd, bytes)) {
        err = errno;
    } else if (::rename(tmp.c_str(), path.c_str()) != 0) {
        err = errno;
    } else {
        return 0;
    }
    ::unlink(tmp.c_str());
    return err;
}

// The file that stands under the name, after its links: its stat, or false when
// nothing stands there. Anything but a writable regular file is refused.
bool WritableTarget(const std::string& path, std::string& target, struct stat& st) {
    target = LinkTarget(path);
    if (::stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) ThrowWriteError(path, errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) ThrowWriteError(path, EISDIR);
    if (!S_ISREG(st.st_mode)) ThrowWriteError(path, EINVAL);
    // A file that may not be written keeps its text, though its folder would let a
    // new file take its place.
    if (::access(target.c_str(), W_OK) != 0) ThrowWriteError(path, errno);
    return true;
}

// Writes the bytes into the file itself, the one that was checked (st), so that a
// kill leaves what the next reading turns into the old text or the new
// (WriteIntoFile); a full disk refuses the write before anything changes.
void WriteInPlace(const std::string& path, const struct stat& st, std::string_view bytes) {
    struct stat now;
    const int fd = OpenRegularFile(path, O_RDWR | O_NOFOLLOW, &now);
    if (fd < 0) ThrowWriteError(path, errno);
    // Another file put under the name since the check is not written through.
    int err =
        now.st_dev == st.st_dev && now.st_ino == st.st_ino ? WriteIntoFile(fd, bytes) : EAGAIN;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) ThrowWriteError(path, err);
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    std::string tmp;
    const int fd = CreateTemporaryBeside(path, tmp);
    if (fd < 0) throw std::runtime_error("无法创建文件 " + path + ": " + ErrnoText());
    // Only a file being replaced needs its successor on the disk first; a new name
    // (each message of a batch) has nothing to lose, and a sync per file would
    // cost a batch more than its making.
    struct stat st;
    const bool replaces = ::lstat(path.c_str(), &st) == 0;
    // A file made again (a message, a list, the autosave) stays what its user made
    // of it: a private one stays private. Whatever cannot be kept is let go.
    if (replaces && S_ISREG(st.st_mode)) TakeAttributes(fd, path, st, false);
    if (!(replaces ? WriteSyncAndClose(fd, bytes) : WriteAndClose(fd, bytes))) {
        const std::string why = ErrnoText();
        ::unlink(tmp.c_str());
        throw std::runtime_error("无法写入文件 " + path + ": " + why);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = ErrnoText();
        ::unlink(tmp.c_str());
        throw std::runtime_error("无法创建文件 " + path + ": " + why);
    }
}

namespace {

// Rewrites a file the user keeps, as a whole through a temporary that takes its
// place with everything the file is; into the file itself where a new file would
// lose something: its other names (hard links), its owner or group, its
// attributes, or, with inPlaceWithoutTemporary, where no temporary can be made or
// filled.
void RewriteUserFile(const std::string& path, std::string_view bytes, bool inPlaceWithoutTemporary) {
    std::string target;
    struct stat st;
    if (!WritableTarget(path, target, st)) {
        WriteFileAtomically(target, bytes);
        return;
    }
    if (st.st_nlink == 1) {
        const int err = ReplaceKeepingAttributes(target, st, bytes);
        if (err == 0) return;
        const bool noTemporary = err == EACCES || err == EPERM || err == ENOSPC || err == EDQUOT;
        if (err != kAttributesLost && !(inPlaceWithoutTemporary && noTemporary))
            ThrowWriteError(path, err);
    }
    WriteInPlace(target, st, bytes);
}

}  // namespace

void RewriteFileInPlace(const std::string& path, std::string_view bytes) {
    RewriteUserFile(path, bytes, true);
}

void ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    RewriteUserFile(path, bytes, false);
}

void RemoveStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    std::vector<std::string> dirs{fs::path(path).parent_path().string()};
    try {
        const std::string target = fs::path(LinkTarget(path)).parent_path().string();
        if (target != dirs[0]) dirs.push_back(target);
    } catch (const std::exception&) {
    }
    for (const std::string& dir : dirs) {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d) continue;
        const std::string& own = TemporaryPrefix();
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            // Only our own form (TemporaryName), made on this host.
            if (name.size() < own.size() + 4 + 4 || name.compare(0, own.size(), own) != 0 ||
                name.compare(name.size() - 4, 4, ".tmp") != 0)
                continue;
            const std::string hex = name.substr(own.size(), name.size() - own.size() - 4);
            if (hex.find_first_not_of("0123456789abcdef") != std::string::npos || hex.size() > 3 + 8)
                continue;
            const long pid = std::strtol(hex.substr(0, hex.size() - 3).c_str(), nullptr, 16);
            // A writer that still runs (this one included) may be about to rename it.
            if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
                continue;
            const std::string full = (dir.empty() ? std::string() : dir + "/") + name;
            struct stat st;
            if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
                continue;
            // A writer of this host in another pid namespace (a sandbox) is alive
            // for all the process id says; a save takes seconds, not minutes.
            if (std::time(nullptr) - st.st_mtime < kStaleTemporaryAge) continue;
            ::unlink(full.c_str());
        }
        ::closedir(d);
    }
}

void WriteNewFile(const std::string& path, std::string_view bytes) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        // A folder (or anything else that cannot be unlinked) keeps the name.
        throw std::runtime_error("无法创建文件 " + path + ": " + ErrnoText());
    }
    CreateNewFile(path, bytes);
}

void CreateNewFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("无法创建文件 " + path + ": " + ErrnoText());
    if (!WriteAndClose(fd, bytes)) {
        const std::string why = ErrnoText();
        ::unlink(path.c_str());
        throw std::runtime_error("无法写入文件 " + path + ": " + why);
    }
}

TStringList LoadStringList(const std::string& path) {
    return SplitLines(TextAsUtf8(ReadFileBytes(path)));
}

void SaveStringList(const std::string& path, const TStringList& lines) {
    // A template the user keeps: replaced whole, staying what it is; into itself
    // where its folder may not be written, as a plain write would go.
    RewriteFileInPlace(path, StoredTextBytes(JoinLines(lines)));
}
