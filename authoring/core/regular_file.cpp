#include "regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int OpenRegularFile(const std::string& path, int flags, struct stat* st) {
    // Without O_NONBLOCK, opening a pipe waits for its other end, which may never come.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat own;
    struct stat& s = st ? *st : own;
    int err = 0;
    if (::fstat(fd, &s) != 0)
        err = errno;
    else if (S_ISDIR(s.st_mode))
        err = EISDIR;
    else if (!S_ISREG(s.st_mode))
        err = kNotRegularFile;
    else if (const int fl = ::fcntl(fd, F_GETFL);
             fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0)
        err = errno;
    if (err == 0) return fd;
    ::close(fd);
    errno = err;
    return -1;
}

FILE* OpenRegularStream(const std::string& path) {
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        const int err = errno;
        ::close(fd);
        errno = err;
    }
    return f;
}
