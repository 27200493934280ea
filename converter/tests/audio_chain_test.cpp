// The decoding chain (decoder -> resampler -> converter -> WAV writer) on clips
// that the tests make with FFmpeg's encoders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio_file_in.h"
#include "audio_fixtures.h"
#include "audio_swr_stage.h"
#include "test_support.h"
#include "wave_out.h"
#include "zur_script.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace {

// An input that gives blocks of silence (8000 Hz, mono, 16 bits) until End; a
// block is one sample, so that the writer does not reach the size bound of a
// WAVE file in the time a test waits.
class TEndlessSilence : public TAudioSource {
public:
    ~TEndlessSilence() override { av_frame_free(&FFrame); }
    void Init() override {
        FFrame = av_frame_alloc();
        FFrame->format = AV_SAMPLE_FMT_S16;
        FFrame->sample_rate = 8000;
        FFrame->nb_samples = 1;
        av_channel_layout_default(&FFrame->ch_layout, 1);
        if (av_frame_get_buffer(FFrame, 0) < 0) throw EAudioError("no memory");
        av_samples_set_silence(FFrame->data, 0, 1, 1, AV_SAMPLE_FMT_S16);
    }
    TAudioFormat Format() const override { return {8000, 1, AV_SAMPLE_FMT_S16}; }
    AVFrame* GetData() override {
        if (FEnd) {
            FEnded = true;
            return nullptr;
        }
        ++FBlocks;
        return FFrame;
    }
    void Done() override { FClosed = true; }

    void End() { FEnd = true; }
    long Blocks() const { return FBlocks; }
    bool Ended() const { return FEnded; }
    bool Closed() const { return FClosed; }

private:
    AVFrame* FFrame = nullptr;
    std::atomic<bool> FEnd{false};
    std::atomic<bool> FEnded{false};
    std::atomic<bool> FClosed{false};
    std::atomic<long> FBlocks{0};
};

class AudioChain : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FResampler.SetOutSampleRate(8000);
        FConverter.SetOutChannels(1);
        FConverter.SetOutBitsPerSample(16);
        FConverter.SetInput(&FResampler);
        FWriter.SetInput(&FConverter);
        FWriter.SetOnDone([this](TWaveOut*) {
            ++FDoneCount;
            FDoneOnMainThread = QThread::currentThread() == qApp->thread();
        });
    }

    std::string Path(const std::string& Name) const {
        return FDir.path().toStdString() + "/" + Name;
    }

    // Runs the chain from Decoder into "tmpaudio.wav"; gives the error text.
    std::string Convert(TAudioFileIn& Decoder, const std::string& Source) {
        Decoder.SetFileName(Source);
        FResampler.SetInput(&Decoder);
        FWriter.SetFileName(Path("tmpaudio.wav"));
        const int before = FDoneCount;
        FWriter.Run();
        EXPECT_TRUE(FWriter.Active());  // Run returns at once
        EXPECT_TRUE(ProcessEventsUntil([&] { return FDoneCount > before; }, 30000));
        EXPECT_FALSE(FWriter.Active());
        EXPECT_TRUE(FDoneOnMainThread);
        return FWriter.ExceptionMessage();
    }

    // The output holds a 440 Hz tone of about Seconds at 8000 Hz, mono, 16 bits.
    void ExpectToneWave(double Seconds, double ToleranceSeconds) {
        const TWaveInfo wave = ReadWave(Path("tmpaudio.wav"));
        ASSERT_TRUE(wave.Ok);
        const std::string bytes = ReadFileBytes(Path("tmpaudio.wav"));
        ASSERT_GE(bytes.size(), 44u);
        // The whole 44-byte header, byte for byte.
        EXPECT_EQ(bytes.substr(0, 44),
                  WavePcmHeader(8000, 1, 16, static_cast<uint32_t>(bytes.size() - 44)));
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(wave.RiffSize, bytes.size() - 8);
        EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(wave.FmtSize, 16u);
        EXPECT_EQ(wave.FormatTag, 1);
        EXPECT_EQ(wave.Channels, 1);
        EXPECT_EQ(wave.SampleRate, 8000u);
        EXPECT_EQ(wave.ByteRate, 16000u);
        EXPECT_EQ(wave.BlockAlign, 2);
        EXPECT_EQ(wave.BitsPerSample, 16);
        EXPECT_EQ(bytes.substr(36, 4), "data");
        EXPECT_EQ(wave.DataSize, bytes.size() - 44);
        const double seconds = wave.Samples.size() / 8000.0;
        EXPECT_NEAR(seconds, Seconds, ToleranceSeconds);
        EXPECT_NEAR(ToneFrequency(wave.Samples, 8000), 440.0, 440.0 * 0.01);
        EXPECT_GT(PeakLevel(wave.Samples), 8000);
    }

    QTemporaryDir FDir;
    TWaveIn FWaveIn;
    TWmaIn FWmaIn;
    TMp3In FMp3In;
    TWaveOut FWriter;
    TAudioConverter FConverter;
    TResampler FResampler;
    int FDoneCount = 0;
    bool FDoneOnMainThread = false;
};

}  // namespace

TEST_F(AudioChain, PcmWave44kStereo) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 2, 2.0);
    EXPECT_FALSE(FWaveIn.Valid());  // no file name yet
    FWaveIn.SetFileName(Path("pcm.wav"));
    EXPECT_TRUE(FWaveIn.Valid());
    EXPECT_EQ(Convert(FWaveIn, Path("pcm.wav")), "");
    ExpectToneWave(2.0, 2.0 / 8000);
}

TEST_F(AudioChain, CompressedWave) {
    MakeToneClip(Path("adpcm.wav"), "wav", "adpcm_ms", 44100, 2, 2.0);
    FWaveIn.SetFileName(Path("adpcm.wav"));
    EXPECT_TRUE(FWaveIn.Valid());
    EXPECT_EQ(Convert(FWaveIn, Path("adpcm.wav")), "");
    ExpectToneWave(2.0, 0.05);
}

TEST_F(AudioChain, Mp3) {
    MakeToneClip(Path("tone.mp3"), "mp3", "libmp3lame", 44100, 2, 2.0);
    FMp3In.SetFileName(Path("tone.mp3"));
    EXPECT_TRUE(FMp3In.Valid());
    EXPECT_EQ(Convert(FMp3In, Path("tone.mp3")), "");
    ExpectToneWave(2.0, 0.06);
}

TEST_F(AudioChain, Wma) {
    MakeToneClip(Path("tone.wma"), "asf", "wmav2", 44100, 2, 2.0);
    FWmaIn.SetFileName(Path("tone.wma"));
    EXPECT_TRUE(FWmaIn.Valid());
    EXPECT_EQ(Convert(FWmaIn, Path("tone.wma")), "");
    ExpectToneWave(2.0, 0.1);
}

TEST_F(AudioChain, MonoAndOtherRatesToo) {
    MakeToneClip(Path("mono22.wav"), "wav", "pcm_s16le", 22050, 1, 1.0);
    EXPECT_EQ(Convert(FWaveIn, Path("mono22.wav")), "");
    ExpectToneWave(1.0, 2.0 / 8000);
    MakeToneClip(Path("already.wav"), "wav", "pcm_s16le", 8000, 1, 1.0);
    EXPECT_EQ(Convert(FWaveIn, Path("already.wav")), "");
    ExpectToneWave(1.0, 1.0 / 8000);
}

TEST_F(AudioChain, TheResamplersInputChangesFromRunToRun) {
    MakeToneClip(Path("a.wav"), "wav", "pcm_s16le", 44100, 2, 1.0);
    MakeToneClip(Path("b.mp3"), "mp3", "libmp3lame", 48000, 2, 1.5);
    EXPECT_EQ(Convert(FWaveIn, Path("a.wav")), "");
    ExpectToneWave(1.0, 2.0 / 8000);
    EXPECT_EQ(Convert(FMp3In, Path("b.mp3")), "");
    ExpectToneWave(1.5, 0.06);
    EXPECT_EQ(Convert(FWaveIn, Path("a.wav")), "");
    ExpectToneWave(1.0, 2.0 / 8000);
}

// A pipe under a clip's name would hold the open for ever: it is no clip.
TEST_F(AudioChain, APipeIsNoClip) {
    ASSERT_EQ(::mkfifo(Path("pipe.wav").c_str(), 0600), 0);
    FWaveIn.SetFileName(Path("pipe.wav"));
    EXPECT_FALSE(FWaveIn.Valid());
}

TEST_F(AudioChain, EachDecoderTakesOnlyItsOwnKind) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 2, 0.5);
    MakeToneClip(Path("tone.mp3"), "mp3", "libmp3lame", 44100, 2, 0.5);
    MakeToneClip(Path("tone.wma"), "asf", "wmav2", 44100, 2, 0.5);
    WriteTextFile(Path("text.mp3"), "This is not a sound at all.\r\n");
    WriteTextFile(Path("empty.wav"), "");
    // A WAVE file of a kind that no decoder is there for.
    WriteRawWave(Path("wmapro.wav"), 0x162, 2, 44100, 4, 16, std::string(4000, '\x55'));
    const std::string files[] = {"pcm.wav",   "tone.mp3",    "tone.wma",  "text.mp3",
                                 "empty.wav", "missing.wav", "wmapro.wav"};
    TAudioFileIn* decoders[] = {&FWaveIn, &FMp3In, &FWmaIn};
    for (int d = 0; d < 3; ++d) {
        for (int f = 0; f < 7; ++f) {
            decoders[d]->SetFileName(Path(files[f]));
            EXPECT_EQ(decoders[d]->Valid(), d == f) << d << " " << files[f];
        }
    }
}

TEST_F(AudioChain, AMissingOrNonAudioFileFailsTheRunToo) {
    WriteTextFile(Path("text.mp3"), "This is not a sound at all.\r\n");
    EXPECT_NE(Convert(FMp3In, Path("text.mp3")), "");
    EXPECT_NE(Convert(FWaveIn, Path("missing.wav")), "");
}

TEST_F(AudioChain, UndecodableDataFailsTheRun) {
    // A valid WAVE header (MPEG audio inside) over data of which nothing decodes.
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
    WriteRawWave(Path("junk.wav"), 0x55, 2, 44100, 1, 0, junk);
    FWaveIn.SetFileName(Path("junk.wav"));
    EXPECT_TRUE(FWaveIn.Valid());
    EXPECT_NE(Convert(FWaveIn, Path("junk.wav")), "");
    EXPECT_EQ(FWriter.FileError(), "");  // the source failed, not the file
}

TEST_F(AudioChain, AnUnwritableTargetFailsTheRun) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 2, 0.5);
    FWaveIn.SetFileName(Path("pcm.wav"));
    FResampler.SetInput(&FWaveIn);
    FWriter.SetFileName(Path("no/such/folder/tmpaudio.wav"));
    int before = FDoneCount;
    FWriter.Run();
    ASSERT_TRUE(ProcessEventsUntil([&] { return FDoneCount > before; }, 10000));
    EXPECT_NE(FWriter.ExceptionMessage().find("cannot create"), std::string::npos);
    EXPECT_EQ(FWriter.FileError(), "文件或文件夹不存在");
    // A full device fails while the data is written.
    FWriter.SetFileName("/dev/full");
    before = FDoneCount;
    FWriter.Run();
    ASSERT_TRUE(ProcessEventsUntil([&] { return FDoneCount > before; }, 10000));
    EXPECT_NE(FWriter.ExceptionMessage().find("cannot write"), std::string::npos);
    EXPECT_EQ(FWriter.FileError(), "磁盘空间不足");
}

TEST_F(AudioChain, ARunUnderWayIsNotStartedTwice) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 2, 0.5);
    FWaveIn.SetFileName(Path("pcm.wav"));
    FResampler.SetInput(&FWaveIn);
    FWriter.SetFileName(Path("tmpaudio.wav"));
    FWriter.Run();
    EXPECT_THROW(FWriter.Run(), EAudioError);
    ASSERT_TRUE(ProcessEventsUntil([&] { return FDoneCount == 1; }, 10000));
    EXPECT_EQ(FWriter.ExceptionMessage(), "");
}

TEST_F(AudioChain, AnErrorOfTheDoneHandlerStaysInTheWriter) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 1, 0.2);
    FWriter.SetOnDone([this](TWaveOut*) {
        ++FDoneCount;
        FDoneOnMainThread = QThread::currentThread() == qApp->thread();
        throw std::runtime_error("handler failed");
    });
    EXPECT_EQ(Convert(FWaveIn, Path("pcm.wav")), "");
    EXPECT_EQ(Convert(FWaveIn, Path("pcm.wav")), "");  // later runs still end
    EXPECT_EQ(FDoneCount, 2);
}

// Destroying a writer during its run stops the run: the destructor does not wait
// for the input's end, and no completion comes. The input never ends by itself;
// should the destructor wait for it, a watcher ends it after a while and the
// test fails.
TEST_F(AudioChain, DestroyingTheWriterStopsItsRun) {
    TEndlessSilence source;
    auto writer = std::make_unique<TWaveOut>();
    int done = 0;
    writer->SetOnDone([&](TWaveOut*) { ++done; });
    writer->SetInput(&source);
    writer->SetFileName("/dev/null");
    writer->Run();
    ASSERT_TRUE(SleepUntil([&] { return source.Blocks() > 0; }, 10000));
    std::mutex lock;
    std::condition_variable destroyed;
    bool gone = false;
    std::thread watcher([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!destroyed.wait_for(hold, std::chrono::seconds(10), [&] { return gone; })) source.End();
    });
    writer.reset();
    {
        std::lock_guard<std::mutex> hold(lock);
        gone = true;
    }
    destroyed.notify_one();
    watcher.join();
    EXPECT_FALSE(source.Ended()) << "the destructor waited for the input's end";
    EXPECT_TRUE(source.Closed());  // the run still cleans up its input
    QCoreApplication::processEvents();
    EXPECT_EQ(done, 0);
}

// The converter's own working files ("tmpaudio.wav" from the writer, the batch
// file) are made anew whatever was put under their names: a link's target and a
// hard link's other name keep their text, and a pipe (open at its other end here,
// so that a writer that opens it does not block the test) is replaced by a file.
TEST_F(AudioChain, TheWorkingFilesAreMadeAnewOverWhatStandsThere) {
    MakeToneClip(Path("pcm.wav"), "wav", "pcm_s16le", 44100, 1, 0.2);
    enum class TPlanted { Symlink, HardLink, Pipe };
    const struct {
        TPlanted Planted;
        const char* Name;
    } cases[] = {{TPlanted::Symlink, "symlink"},
                 {TPlanted::HardLink, "hard link"},
                 {TPlanted::Pipe, "pipe"}};
    for (const auto& c : cases) {
        for (const bool script : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (script ? " under run.bat" : " under tmpaudio.wav"));
            const std::string name = Path(script ? "run.bat" : "tmpaudio.wav");
            const std::string victim = Path("victim.txt");
            std::filesystem::remove(name);
            WriteTextFile(victim, "the user's own text");
            int reader = -1;
            switch (c.Planted) {
                case TPlanted::Symlink:
                    ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
                    break;
                case TPlanted::HardLink:
                    ASSERT_EQ(::link(victim.c_str(), name.c_str()), 0);
                    break;
                case TPlanted::Pipe:
                    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
                    reader = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
                    ASSERT_GE(reader, 0);
                    break;
            }
            if (script) {
                EXPECT_NO_THROW(SaveScriptFile({"exit"}, name));
            } else {
                EXPECT_EQ(Convert(FWaveIn, Path("pcm.wav")), "");
            }
            if (reader >= 0) ::close(reader);
            struct stat info {};
            ASSERT_EQ(::lstat(name.c_str(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_nlink, 1u);
            EXPECT_EQ(ReadFileBytes(name).substr(0, 4), script ? "exit" : "RIFF");
            EXPECT_EQ(ReadFileBytes(victim), "the user's own text");
            ASSERT_EQ(::stat(victim.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0111, 0u);  // the script's mode stays its own
        }
    }
}

// A pipe put under the source's name between the check and the open must not
// hold the decoder: the name flips between a clip and a pipe while the decoder
// opens it, and each open either takes the clip or refuses the pipe as no file.
// An open that waited on the pipe is let go by the flipper's opening the pipe's
// other end, and then fails on its empty data instead.
TEST_F(AudioChain, APipeSwappedInAfterTheCheckIsNoClip) {
    MakeToneClip(Path("clip.wav"), "wav", "pcm_s16le", 8000, 1, 0.1);
    const std::string clip = Path("clip.wav"), other = Path("other.wav");
    ASSERT_EQ(::mkfifo(other.c_str(), 0600), 0);
    std::atomic<bool> stop{false};
    std::thread flipper([&] {
        while (!stop) {
            ::renameat2(AT_FDCWD, clip.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
            for (const std::string* name : {&clip, &other}) {
                const int fd = ::open(name->c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) ::close(fd);
            }
        }
    });
    FWaveIn.SetFileName(clip);
    for (int round = 0; round < 3000; ++round) {
        try {
            FWaveIn.Init();
            FWaveIn.Done();
        } catch (const EAudioError& e) {
            const std::string why = e.what();
            if (why.find("not a plain file") == std::string::npos) {
                ADD_FAILURE() << why;
                break;
            }
        }
    }
    stop = true;
    flipper.join();
}
