// Decodes a 3-minute 44.1 kHz stereo MP3 (made here with FFmpeg's encoder) into an
// 8000 Hz mono 16-bit WAV file, through the converter's chain and through the
// ffmpeg command, both as processes started the same way: the chain runs in this
// program started anew with "--chain SOURCE TARGET", so each side pays its own
// start-up, its decoding and its writing. The rounds interleave the two sides
// (in turns of order); the program prints for each side the median wall time of
// a run with its spread (lowest and highest), the median processor time, and the
// ratio of the medians (target: the chain at most 1.20 times ffmpeg).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio_file_in.h"
#include "audio_fixtures.h"
#include "audio_swr_stage.h"
#include "wave_out.h"

extern "C" {
#include <libavutil/log.h>
}

extern char** environ;

namespace {

constexpr int kRounds = 11;

// The converter's chain from Source into Target, as the window runs it; gives the
// exit code of the "--chain" run.
int RunChain(const std::string& Source, const std::string& Target) {
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
    if (!decoder.Valid()) {
        std::fprintf(stderr, "the MP3 decoder does not take %s\n", Source.c_str());
        return 1;
    }
    writer.Run();
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!writer.ExceptionMessage().empty()) {
        std::fprintf(stderr, "the chain failed: %s\n", writer.ExceptionMessage().c_str());
        return 1;
    }
    return 0;
}

struct TRun {
    double WallMs = 0;
    double CpuMs = 0;  // user and system time of the process
    bool Ok = false;
};

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TRun RunProcess(std::vector<std::string> Args) {
    std::vector<char*> argv;
    for (std::string& arg : Args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    TRun run;
    const double start = Now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.WallMs = Now() - start;
    run.CpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct TFigures {
    double Median, Low, High;
};

TFigures FiguresOf(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return {Values[Values.size() / 2], Values.front(), Values.back()};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    if (argc == 4 && std::strcmp(argv[1], "--chain") == 0) return RunChain(argv[2], argv[3]);

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
    const std::string self = QCoreApplication::applicationFilePath().toStdString();

    std::printf("making a 3-minute 44.1 kHz stereo MP3...\n");
    std::fflush(stdout);
    MakeToneClip(source, "mp3", "libmp3lame", 44100, 2, 180.0);

    // The same work on both sides: MP3 in, a plain 8000 Hz mono 16-bit PCM WAV
    // file out, one decoding thread.
    const std::vector<std::string> chainArgs = {self, "--chain", source, chainOut};
    const std::vector<std::string> ffmpegArgs = {ffmpeg.toStdString(),
                                                 "-nostdin",
                                                 "-hide_banner",
                                                 "-loglevel",
                                                 "error",
                                                 "-y",
                                                 "-threads",
                                                 "1",
                                                 "-i",
                                                 source,
                                                 "-ar",
                                                 "8000",
                                                 "-ac",
                                                 "1",
                                                 "-c:a",
                                                 "pcm_s16le",
                                                 "-map_metadata",
                                                 "-1",
                                                 "-fflags",
                                                 "+bitexact",
                                                 "-f",
                                                 "wav",
                                                 ffmpegOut};
    std::vector<double> chainWall, chainCpu, ffmpegWall, ffmpegCpu;
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool chainNow = (turn == 0) == (round % 2 == 0);
            const TRun run = RunProcess(chainNow ? chainArgs : ffmpegArgs);
            if (!run.Ok) {
                std::fprintf(stderr, "zur_decode_bench: the %s run failed\n",
                             chainNow ? "chain" : "ffmpeg");
                return 1;
            }
            (chainNow ? chainWall : ffmpegWall).push_back(run.WallMs);
            (chainNow ? chainCpu : ffmpegCpu).push_back(run.CpuMs);
        }
    }
    const TWaveInfo chainWave = ReadWave(chainOut);
    const TWaveInfo ffmpegWave = ReadWave(ffmpegOut);
    if (!chainWave.Ok || !ffmpegWave.Ok || chainWave.SampleRate != 8000 ||
        ffmpegWave.SampleRate != 8000 || chainWave.Channels != 1 || ffmpegWave.Channels != 1 ||
        chainWave.BitsPerSample != 16 || ffmpegWave.BitsPerSample != 16) {
        std::fprintf(stderr, "zur_decode_bench: the outputs are not both 8000 Hz mono 16-bit\n");
        return 1;
    }
    const TFigures cw = FiguresOf(chainWall), cc = FiguresOf(chainCpu);
    const TFigures fw = FiguresOf(ffmpegWall), fc = FiguresOf(ffmpegCpu);
    std::printf("%d interleaved rounds, each side a process from start to exit\n", kRounds);
    std::printf(
        "chain  (zur_decode_bench --chain): wall %7.1f ms (%7.1f - %7.1f), cpu %7.1f ms, "
        "%zu samples\n",
        cw.Median, cw.Low, cw.High, cc.Median, chainWave.Samples.size());
    std::printf(
        "ffmpeg (-ar 8000 -ac 1 pcm_s16le): wall %7.1f ms (%7.1f - %7.1f), cpu %7.1f ms, "
        "%zu samples\n",
        fw.Median, fw.Low, fw.High, fc.Median, ffmpegWave.Samples.size());
    int difference = 0;
    const size_t common = std::min(chainWave.Samples.size(), ffmpegWave.Samples.size());
    for (size_t i = 0; i < common; ++i)
        difference = std::max(difference, std::abs(chainWave.Samples[i] - ffmpegWave.Samples[i]));
    std::printf("largest difference between the two outputs: %d (of 32767)\n", difference);
    std::printf(
        "ratio chain/ffmpeg of the median wall times: %.2f, of the processor times: %.2f "
        "(target: at most 1.20)\n",
        cw.Median / fw.Median, cc.Median / fc.Median);
    return 0;
}
