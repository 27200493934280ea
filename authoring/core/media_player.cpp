#include "media_player.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAudioOutput>
#include <QCoreApplication>
#include <QMediaPlayer>
#include <QUrl>
#include <cerrno>
#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "regular_file.h"
#include "string_list.h"

namespace {

std::string AvErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

std::string CannotOpen(const std::string& file, const std::string& why) {
    return "无法打开媒体文件“" + file + "”：" + why + "。";
}

// The clip is read through the descriptor that was checked to be a regular file
// (OpenRegularFile), so that a pipe put under the name after the check cannot hold
// the open; the name still guides the probing.
int FdOf(void* opaque) { return static_cast<int>(reinterpret_cast<intptr_t>(opaque)); }

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
    for (;;) {
        const ssize_t n = ::read(FdOf(opaque), buffer, static_cast<size_t>(size));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return AVERROR_EOF;
        if (errno != EINTR) return AVERROR(errno);
    }
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
    const int fd = FdOf(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

// The container and the file it reads, closed together.
struct TClipInput {
    AVFormatContext* ctx = nullptr;
    AVIOContext* io = nullptr;
    int fd = -1;
    ~TClipInput() {
        avformat_close_input(&ctx);
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

int64_t ProbeClipLengthMs(const std::string& file) {
    if (file.empty()) throw EMediaError("没有指定媒体文件。");
    // A pipe or a device would hold the open, or be read without end. The input is
    // closed on every way out.
    TClipInput in;
    in.fd = OpenRegularFile(file, O_RDONLY);
    if (in.fd < 0) throw EMediaError(CannotOpen(file, FileErrorText(errno)));
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer)
        in.io = avio_alloc_context(buffer, kBufferSize, 0,
                                   reinterpret_cast<void*>(static_cast<intptr_t>(in.fd)),
                                   ReadPacket, nullptr, Seek);
    if (!in.io) av_free(buffer);
    in.ctx = in.io ? avformat_alloc_context() : nullptr;
    if (!in.ctx) throw EMediaError(CannotOpen(file, AvErrorText(AVERROR(ENOMEM))));
    in.ctx->pb = in.io;
    int rc = avformat_open_input(&in.ctx, file.c_str(), nullptr, nullptr);
    if (rc < 0) throw EMediaError(CannotOpen(file, AvErrorText(rc)));
    AVFormatContext* ctx = in.ctx;
    rc = avformat_find_stream_info(ctx, nullptr);
    if (rc < 0) throw EMediaError(CannotOpen(file, AvErrorText(rc)));
    int audio = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0) throw EMediaError(CannotOpen(file, "没有音频数据"));
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration >= 0)
        return av_rescale(ctx->duration, 1000, AV_TIME_BASE);
    const AVStream* st = ctx->streams[audio];
    if (st->duration != AV_NOPTS_VALUE && st->duration >= 0)
        return av_rescale_q(st->duration, st->time_base, AVRational{1, 1000});
    return 0;
}

struct TQtMediaPlayer::TImpl {
    bool open = false;
    std::string file;
    int64_t lengthMs = 0;
    // Made on the first play only, so that opening and timing work without a
    // running application (and without an audio device).
    std::unique_ptr<QMediaPlayer> player;
    std::unique_ptr<QAudioOutput> output;
};

TQtMediaPlayer::TQtMediaPlayer() : impl_(std::make_unique<TImpl>()) {}

TQtMediaPlayer::~TQtMediaPlayer() { Close(); }

void TQtMediaPlayer::Open(const std::string& file) {
    Close();
    int64_t len = ProbeClipLengthMs(file);
    impl_->file = file;
    impl_->lengthMs = len;
    impl_->open = true;
}

int64_t TQtMediaPlayer::LengthMs() {
    if (!impl_->open) throw EMediaError("没有打开的媒体文件。");
    return impl_->lengthMs;
}

void TQtMediaPlayer::Play() {
    if (!impl_->open) throw EMediaError("没有打开的媒体文件。");
    if (!QCoreApplication::instance()) throw EMediaError("无法播放：程序没有运行消息循环。");
    if (!impl_->player) {
        impl_->player = std::make_unique<QMediaPlayer>();
        impl_->output = std::make_unique<QAudioOutput>();
        impl_->player->setAudioOutput(impl_->output.get());
    }
    impl_->player->setSource(QUrl::fromLocalFile(QString::fromStdString(impl_->file)));
    impl_->player->play();
}

void TQtMediaPlayer::Stop() {
    if (!impl_->open) throw EMediaError("没有打开的媒体文件。");
    if (impl_->player) impl_->player->stop();
}

void TQtMediaPlayer::Close() {
    if (!impl_->open) return;
    if (impl_->player) {
        impl_->player->stop();
        impl_->player->setSource(QUrl());
    }
    impl_->open = false;
    impl_->file.clear();
    impl_->lengthMs = 0;
}

bool TQtMediaPlayer::IsOpen() const { return impl_->open; }
