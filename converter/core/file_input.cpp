#include "file_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "audio_source.h"
#include "system_error_text.h"

namespace {

constexpr int kBufferSize = 1 << 16;

int FdOf(void* Opaque) { return static_cast<int>(reinterpret_cast<intptr_t>(Opaque)); }

int ReadPacket(void* Opaque, uint8_t* Buffer, int Size) {
    for (;;) {
        const ssize_t n = ::read(FdOf(Opaque), Buffer, static_cast<size_t>(Size));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return AVERROR_EOF;
        if (errno != EINTR) return AVERROR(errno);
    }
}

int64_t Seek(void* Opaque, int64_t Offset, int Whence) {
    const int fd = FdOf(Opaque);
    if (Whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(Offset), Whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

void FreeIo(AVIOContext*& Io) {
    if (!Io) return;
    const int fd = FdOf(Io->opaque);
    av_freep(&Io->buffer);
    avio_context_free(&Io);
    ::close(fd);
}

}  // namespace

std::string OpenFileInput(AVFormatContext*& Context, const std::string& FileName) {
    Context = nullptr;
    // Without O_NONBLOCK, opening a pipe waits for its other end.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SystemErrorText(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        return S_ISREG(info.st_mode) ? SystemErrorText(error) : "not a plain file";
    }
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    AVIOContext* io = buffer
                          ? avio_alloc_context(buffer, kBufferSize, 0,
                                               reinterpret_cast<void*>(static_cast<intptr_t>(fd)),
                                               ReadPacket, nullptr, Seek)
                          : nullptr;
    Context = io ? avformat_alloc_context() : nullptr;
    if (!Context) {
        if (io)
            FreeIo(io);
        else {
            av_free(buffer);
            ::close(fd);
        }
        return AvErrorText(AVERROR(ENOMEM));
    }
    Context->pb = io;
    // On failure the container is freed, the file is ours to close.
    const int rc = avformat_open_input(&Context, FileName.c_str(), nullptr, nullptr);
    if (rc < 0) {
        FreeIo(io);
        return AvErrorText(rc);
    }
    return {};
}

void CloseFileInput(AVFormatContext*& Context) {
    if (!Context) return;
    AVIOContext* io = Context->pb;
    avformat_close_input(&Context);
    FreeIo(io);
}
