#include "zur_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system_error_text.h"

namespace {

// Something other than a plain file stands under the name.
bool TakenByOtherThanAFile(const std::string& Path) {
    struct stat info {};
    return ::lstat(Path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

TFolderLock::TResult TFolderLock::Acquire(const std::string& Folder, TMake Make) {
    if (Held()) return TResult::Acquired;
    FError.clear();
    const std::string path = Folder + ZurLockName;
    // Not blocking: a FIFO under the name would hold the open until a writer
    // came. Not following a link, and closed on exec (see Handle).
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    const int create = Make == TMake::LockFile ? O_CREAT : 0;
    int fd = ::open(path.c_str(), O_RDWR | create | flags, 0644);
    if (fd < 0 && errno == ENOENT && !create) return TResult::NoLockFile;
    if (fd < 0 && errno == EACCES) {
        // The lock file another user made is read-only to this one; the lock
        // itself needs no writing.
        fd = ::open(path.c_str(), O_RDONLY | flags);
        if (fd < 0) errno = EACCES;
    }
    if (fd < 0) {
        const int error = errno;
        if (TakenByOtherThanAFile(path)) return TResult::NotAFile;
        FError = SystemErrorText(error);
        return TResult::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return TResult::NotAFile;
    }
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return TResult::Busy;
        FError = SystemErrorText(error);
        return TResult::Failed;
    }
    FFd = fd;
    return TResult::Acquired;
}

void TFolderLock::Release() {
    if (FFd < 0) return;
    ::close(FFd);  // the lock stays with any process that was handed it
    FFd = -1;
}
