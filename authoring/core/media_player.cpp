#include "media_player.h"

#include <sys/stat.h>

#include <QAudioOutput>
#include <QCoreApplication>
#include <QMediaPlayer>
#include <QUrl>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace {

std::string AvErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

std::string CannotOpen(const std::string& file, const std::string& why) {
    return "无法打开媒体文件“" + file + "”：" + why + "。";
}

}  // namespace

int64_t ProbeClipLengthMs(const std::string& file) {
    if (file.empty()) throw EMediaError("没有指定媒体文件。");
    // A pipe or a device would hold the open, or be read without end.
    struct stat info;
    if (::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw EMediaError(CannotOpen(file, "不是普通文件"));
    AVFormatContext* ctx = nullptr;
    int rc = avformat_open_input(&ctx, file.c_str(), nullptr, nullptr);
    if (rc < 0) throw EMediaError(CannotOpen(file, AvErrorText(rc)));
    // The context is closed on every way out.
    struct TCloser {
        AVFormatContext*& c;
        ~TCloser() { avformat_close_input(&c); }
    } closer{ctx};
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
