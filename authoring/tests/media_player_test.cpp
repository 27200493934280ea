#include "media_player.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "test_support.h"

namespace {

// A PCM WAV file of ms milliseconds of silence: 8000 Hz, mono, 16 bits.
std::string Wav(int ms) {
    const uint32_t data = 8000u * 2u * static_cast<uint32_t>(ms) / 1000u;
    auto u32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    auto u16 = [](uint16_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
    };
    return "RIFF" + u32(36 + data) + "WAVE" + "fmt " + u32(16) + u16(1) + u16(1) + u32(8000) +
           u32(16000) + u16(2) + u16(16) + "data" + u32(data) + std::string(data, '\0');
}

}  // namespace

TEST(MediaPlayer, OpensAndTimesClips) {
    TempFolder t;
    const std::string a = t.File("a.wav", Wav(1500));
    const std::string b = t.File("b.wav", Wav(65400));
    EXPECT_EQ(ProbeClipLengthMs(a), 1500);

    TQtMediaPlayer player;
    EXPECT_FALSE(player.IsOpen());
    player.Open(a);
    EXPECT_TRUE(player.IsOpen());
    EXPECT_EQ(player.LengthMs(), 1500);
    // A second open replaces the first clip.
    player.Open(b);
    EXPECT_EQ(player.LengthMs(), 65400);
    EXPECT_NO_THROW(player.Stop());
    player.Close();
    EXPECT_FALSE(player.IsOpen());
}

TEST(MediaPlayer, FailuresCarryAText) {
    TempFolder t;
    const std::string good = t.File("good.wav", Wav(500));
    const std::string cases[] = {
        "",
        t.Path() + "missing.mp3",
        t.File("text.mp3", "this is no sound at all, just some words in a file"),
        t.File("empty.wav", ""),
        // A pipe no one writes would hold the open for ever.
        [&] {
            ::mkfifo((t.Path() + "pipe.mp3").c_str(), 0600);
            return t.Path() + "pipe.mp3";
        }(),
    };
    for (const auto& file : cases) {
        TQtMediaPlayer player;
        player.Open(good);
        try {
            player.Open(file);
            ADD_FAILURE() << "opened " << file;
        } catch (const EMediaError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
            if (!file.empty()) {
                EXPECT_NE(std::string(e.what()).find(file), std::string::npos);
            }
        }
        // The failed open has closed the clip that was open before.
        EXPECT_FALSE(player.IsOpen()) << file;
    }
}

// A pipe put under a clip's name between the check and the open must not hold the
// open: the name flips between a clip and a pipe while clips are opened, and each
// open either times the clip or refuses the pipe as no file. An open that waited
// on the pipe is let go by the flipper's opening the pipe's other end, and then
// fails on its empty data instead.
TEST(MediaPlayer, APipeSwappedInAfterTheCheckIsRefused) {
    TempFolder t;
    const std::string clip = t.File("clip.wav", Wav(100));
    const std::string other = t.Path() + "other.wav";
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
    int timed = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        try {
            EXPECT_EQ(ProbeClipLengthMs(clip), 100);
            ++timed;
        } catch (const EMediaError& e) {
            const std::string why = e.what();
            if (why.find("不是普通文件") == std::string::npos) {
                ADD_FAILURE() << why;
                break;
            }
            ++refused;
        }
    }
    stop = true;
    flipper.join();
    EXPECT_GT(timed + refused, 0);
}

TEST(MediaPlayer, StepsOnAClosedPlayer) {
    TQtMediaPlayer player;
    EXPECT_THROW(player.LengthMs(), EMediaError);
    EXPECT_THROW(player.Play(), EMediaError);
    EXPECT_THROW(player.Stop(), EMediaError);
    EXPECT_NO_THROW(player.Close());
}
