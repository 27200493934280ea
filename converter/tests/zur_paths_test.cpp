// The converter window's text and file rules and its batch file.
#include "zur_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "dos_command.h"
#include "test_support.h"
#include "zur_script.h"

TEST(ZurPaths, TrimAndLowerCase) {
    EXPECT_EQ(TrimText(" \t\r\n  D:/Music/Song.MP3 \x01\x1f "), "D:/Music/Song.MP3");
    EXPECT_EQ(TrimText("   "), "");
    EXPECT_EQ(TrimText("中文 "), "中文");
    EXPECT_EQ(LowerAscii("ABC xyZ Ä 音乐.MP3"), "abc xyz Ä 音乐.mp3");
    EXPECT_TRUE(SameTextAscii(".Mp3", ".mP3"));
    EXPECT_FALSE(SameTextAscii(".mp3", ".mp4"));
}

TEST(ZurPaths, Extensions) {
    EXPECT_EQ(ExtractFileExt("/a/b/song.MP3"), ".MP3");
    EXPECT_EQ(ExtractFileExt("/a.b/song"), "");
    EXPECT_EQ(ExtractFileExt("song"), "");
    EXPECT_EQ(ExtractFileExt("/a/archive.tar.gz"), ".gz");
    EXPECT_EQ(ChangeFileExt("/a/song.MP3", ".zur"), "/a/song.zur");
    EXPECT_EQ(ChangeFileExt("/a.b/song", ".wav"), "/a.b/song.wav");
    EXPECT_EQ(SourceKindOf("/x/a.wav"), TZurSourceKind::Wave);
    EXPECT_EQ(SourceKindOf("/x/a.mp3"), TZurSourceKind::Mp3);
    EXPECT_EQ(SourceKindOf("/x/a.wma"), TZurSourceKind::Wma);
    EXPECT_EQ(SourceKindOf("/x/a.WAV"), TZurSourceKind::Wave);
    EXPECT_EQ(SourceKindOf("/x/a.Mp3"), TZurSourceKind::Mp3);
    EXPECT_EQ(SourceKindOf("/x/a.zur"), TZurSourceKind::None);
    EXPECT_EQ(SourceKindOf("/x.wav/a"), TZurSourceKind::None);
    EXPECT_TRUE(IsZurFile("/x/a.ZuR"));
    EXPECT_FALSE(IsZurFile("/x/a.zur.wav"));
}

// File names are case-sensitive here: a chosen path keeps its case.
TEST(ZurPaths, TheOpenDialogsChoiceKeepsItsCaseWithItsTarget) {
    TZurProposal p = ProposeForChosenSource("/D/Music/Song.MP3");
    EXPECT_EQ(p.Source, "/D/Music/Song.MP3");
    EXPECT_EQ(p.Target, "/D/Music/Song.zur");
    p = ProposeForChosenSource("/D/Music/Clip.ZUR");
    EXPECT_EQ(p.Source, "/D/Music/Clip.ZUR");
    EXPECT_EQ(p.Target, "/D/Music/Clip.wav");
    p = ProposeForChosenSource("/d/x.WMA");
    EXPECT_EQ(p.Target, "/d/x.zur");
    p = ProposeForChosenSource("/d/x.txt");
    EXPECT_EQ(p.Target, "/d/x.wav");
}

TEST(ZurPaths, TheFirstDroppedFileOfAKnownKindWinsWithItsCase) {
    auto p = ProposeForDroppedFiles({"/D/Music/Song.MP3"});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Source, "/D/Music/Song.MP3");
    EXPECT_EQ(p->Target, "/D/Music/Song.zur");
    p = ProposeForDroppedFiles({"/d/a.txt", "/d/b.ZUR", "/d/c.wav"});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Source, "/d/b.ZUR");
    EXPECT_EQ(p->Target, "/d/b.wav");
    EXPECT_FALSE(ProposeForDroppedFiles({"/d/a.txt", "/d/b"}));
    EXPECT_FALSE(ProposeForDroppedFiles({}));
    // A long path is used whole.
    const std::string longName = "/d/" + std::string(300, 'n') + ".Wma";
    p = ProposeForDroppedFiles({longName});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Source, longName);
}

TEST(ZurPaths, ATargetCountsAsWrittenOnlyWhenTheRunMadeOrChangedIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string target = dir.path().toStdString() + "/out.zur";
    const std::string other = dir.path().toStdString() + "/other";
    WriteTextFile(other, "replacement");
    struct TCase {
        const char* Name;
        const char* Before;         // content before, or null: missing
        std::function<void()> Run;  // what the run does
        bool Written;
    };
    const std::vector<TCase> cases = {
        {"missing, left missing", nullptr, [] {}, false},
        {"missing, made", nullptr, [&] { WriteTextFile(target, "new"); }, true},
        {"there, left alone", "old", [] {}, false},
        {"there, rewritten", "old", [&] { WriteTextFile(target, "newer"); }, true},
        {"there, replaced", "old",
         [&] { ASSERT_EQ(std::rename(other.c_str(), target.c_str()), 0); }, true},
        {"there, removed", "old", [&] { std::remove(target.c_str()); }, false},
    };
    for (const TCase& c : cases) {
        std::remove(target.c_str());
        if (c.Before) WriteTextFile(target, c.Before);
        const TFileStamp before = FileStampOf(target);
        EXPECT_EQ(before.Exists, c.Before != nullptr) << c.Name;
        c.Run();
        EXPECT_EQ(FileWrittenSince(before, target), c.Written) << c.Name;
    }
}

TEST(ZurScript, ModeNames) {
    const std::vector<std::string> names(std::begin(ZurModeNames), std::end(ZurModeNames));
    EXPECT_EQ(names, (std::vector<std::string>{"MR475", "MR515", "MR59", "MR67", "MR74", "MR795",
                                               "MR102", "MR122"}));
}

TEST(ZurScript, TheTwoCommandLines) {
    EXPECT_EQ(
        ZurEncodeLine("/opt/zur/", "/opt/zur/tmpaudio.wav", "/home/u/a b.zur", "MR122"),
        "\"/opt/zur/Converter\" wav2zur \"/opt/zur/tmpaudio.wav\"  \"/home/u/a b.zur\" MR122");
    EXPECT_EQ(ZurDecodeLine("/opt/zur/", "/home/u/a.zur", "/home/u/a.wav"),
              "\"/opt/zur/Converter\" zur2wav \"/home/u/a.zur\"  \"/home/u/a.wav\"");
    // Characters that the shell would expand inside double quotes are escaped.
    EXPECT_EQ(ShellDoubleQuoted("a\"b$c`d\\e"), "\"a\\\"b\\$c\\`d\\\\e\"");
    EXPECT_EQ(ShellWord("/opt/zur/run.bat"), "/opt/zur/run.bat");
    EXPECT_EQ(ShellWord("/my dir/it's/run.bat"), "'/my dir/it'\\''s/run.bat'");
}

TEST(ZurScript, TheScriptRunsAndHandsTheArgumentsOverAsTheyAre) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string appDir = dir.path().toStdString() + "/odd $dir `x` \"q\" it's/";
    ASSERT_EQ(::mkdir(appDir.c_str(), 0755), 0);
    WriteTextFile(appDir + "Converter",
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
    ::chmod((appDir + "Converter").c_str(), 0755);
    const std::string batFile = appDir + "run.bat";
    SaveScriptFile(
        {ZurEncodeLine(appDir, appDir + "tmpaudio.wav", "/t/$HOME a.zur", "MR59"), "exit"},
        batFile);
    struct stat info {};
    ASSERT_EQ(::stat(batFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    EXPECT_EQ(ReadFileBytes(batFile).back(), '\n');
    EXPECT_EQ(ReadFileBytes(batFile).find('\r'), std::string::npos);

    TDosCommand command;
    command.SetCommandLine(ShellWord(batFile));
    command.Start();
    ASSERT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 5000));
    command.Stop();
    EXPECT_EQ(command.LastError(), "");
    EXPECT_EQ(
        command.CapturedLines().ToVector(),
        (std::vector<std::string>{"wav2zur", appDir + "tmpaudio.wav", "/t/$HOME a.zur", "MR59"}));
}

TEST(ZurScript, AnUnwritableScriptRaises) {
    EXPECT_THROW(SaveScriptFile({"exit"}, "/nonexistent/zur-test/run.bat"), std::runtime_error);
}
