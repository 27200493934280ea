#include "zur_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

TFolderLock::TResult TFolderLock::Acquire(const std::string& Folder, TMake Make) {
    if (Held()) return TResult::Acquired;
    FError.clear();
    const std::string path = Folder + ZurLockName;
    // Close-on-exec: the outside program must not hold the lock after zur ends.
    const int create = Make == TMake::LockFile ? O_CREAT : 0;
    int fd = ::open(path.c_str(), O_RDWR | create | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == ENOENT && !create) return TResult::NoLockFile;
    if (fd < 0 && errno == EACCES) {
        // The lock file another user made is read-only to this one; the lock
        // itself needs no writing.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) errno = EACCES;
    }
    if (fd < 0) {
        FError = std::strerror(errno);
        return TResult::Failed;
    }
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return TResult::Busy;
        FError = std::strerror(error);
        return TResult::Failed;
    }
    FFd = fd;
    return TResult::Acquired;
}

void TFolderLock::Release() {
    if (FFd < 0) return;
    ::close(FFd);  // closing the only descriptor drops the lock
    FFd = -1;
}
