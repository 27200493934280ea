// Decodes a 3-minute 44.1 kHz stereo MP3 (made here with FFmpeg's encoder) into
// "tmpaudio.wav" (8000 Hz, mono, 16 bits) through the converter's chain, and the
// same file with the ffmpeg command line (-ar 8000 -ac 1); prints both times and
// their ratio. Each side runs three times; the best time counts.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio_file_in.h"
#include "audio_fixtures.h"
#include "audio_swr_stage.h"
#include "wave_out.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr int kRounds = 3;

double ChainMilliseconds(const std::string& Source, const std::string& Target, std::string& Error) {
    TMp3In decoder;
    TResampler resampler;
    TAudioConverter converter;
    TWaveOut writer;
    decoder.SetFileName(Source);
    resampler.SetOutSampleRate(8000);
    resampler.SetInput(&decoder);
    converter.SetOutChannels(1);
    converter.SetOutBitsPerSample(16);
    converter.SetInput(&resampler);
    writer.SetInput(&converter);
    writer.SetFileName(Target);
    bool done = false;
    writer.SetOnDone([&](TWaveOut*) { done = true; });
    QElapsedTimer clock;
    clock.start();
    if (!decoder.Valid()) {
        Error = "the MP3 decoder does not take " + Source;
        return 0;
    }
    writer.Run();
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double ms = clock.nsecsElapsed() / 1e6;
    Error = writer.ExceptionMessage();
    return ms;
}

double FfmpegMilliseconds(const QString& Ffmpeg, const std::string& Source,
                          const std::string& Target, std::string& Error) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(Ffmpeg, {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i",
                           QString::fromStdString(Source), "-ar", "8000", "-ac", "1",
                           QString::fromStdString(Target)});
    process.waitForFinished(-1);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Error = "ffmpeg failed: " + process.readAllStandardError().toStdString();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (ffmpeg.isEmpty()) {
        std::fprintf(stderr, "zur_decode_bench: the ffmpeg command is not installed\n");
        return 1;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const std::string source = dir.path().toStdString() + "/source.mp3";
    const std::string chainOut = dir.path().toStdString() + "/tmpaudio.wav";
    const std::string ffmpegOut = dir.path().toStdString() + "/ffmpeg.wav";

    std::printf("making a 3-minute 44.1 kHz stereo MP3...\n");
    std::fflush(stdout);
    MakeToneClip(source, "mp3", "libmp3lame", 44100, 2, 180.0);

    double chainBest = 1e300, ffmpegBest = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        std::string error;
        chainBest = std::min(chainBest, ChainMilliseconds(source, chainOut, error));
        if (!error.empty()) {
            std::fprintf(stderr, "zur_decode_bench: the chain failed: %s\n", error.c_str());
            return 1;
        }
        ffmpegBest = std::min(ffmpegBest, FfmpegMilliseconds(ffmpeg, source, ffmpegOut, error));
        if (!error.empty()) {
            std::fprintf(stderr, "zur_decode_bench: %s\n", error.c_str());
            return 1;
        }
    }
    const TWaveInfo chainWave = ReadWave(chainOut);
    const TWaveInfo ffmpegWave = ReadWave(ffmpegOut);
    std::printf("chain  (MP3 -> 8000 Hz mono 16-bit tmpaudio.wav): %8.1f ms, %zu samples\n",
                chainBest, chainWave.Samples.size());
    std::printf("ffmpeg (-ar 8000 -ac 1):                          %8.1f ms, %zu samples\n",
                ffmpegBest, ffmpegWave.Samples.size());
    int difference = 0;
    const size_t common = std::min(chainWave.Samples.size(), ffmpegWave.Samples.size());
    for (size_t i = 0; i < common; ++i)
        difference = std::max(difference, std::abs(chainWave.Samples[i] - ffmpegWave.Samples[i]));
    std::printf("largest difference between the two outputs: %d (of 32767)\n", difference);
    std::printf("ratio chain/ffmpeg: %.2f (target: at most 1.20)\n", chainBest / ffmpegBest);
    return 0;
}
