#include "own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int CreateOwnFile(const std::string& Path, unsigned Mode) {
    // A file, a link or a pipe under the name is taken away; a device (or a
    // folder) is not, and is opened as it is below.
    struct stat info {};
    if (::lstat(Path.c_str(), &info) == 0 &&
        (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode) || S_ISFIFO(info.st_mode) ||
         S_ISSOCK(info.st_mode)) &&
        ::unlink(Path.c_str()) != 0 && errno != ENOENT)
        return -1;
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(Path.c_str(), flags | O_CREAT | O_EXCL, static_cast<mode_t>(Mode));
    const bool made = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(Path.c_str(), flags);
    if (fd < 0) return -1;
    struct stat opened {};
    int error = 0;
    if (::fstat(fd, &opened) != 0)
        error = errno;
    else if (S_ISDIR(opened.st_mode))
        error = EISDIR;
    else if (S_ISREG(opened.st_mode) ? !made : !S_ISCHR(opened.st_mode))
        // A file put under the name since it was taken away is not ours to write.
        error = S_ISREG(opened.st_mode) ? EEXIST : EINVAL;
    else if (const int fl = ::fcntl(fd, F_GETFL);
             fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0)
        error = errno;
    if (error == 0) return fd;
    ::close(fd);
    errno = error;
    return -1;
}
