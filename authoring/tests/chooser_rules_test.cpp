#include "chooser_rules.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <filesystem>

#include "test_support.h"
#include "text_codec.h"

namespace fs = std::filesystem;

// ---- sound clips -------------------------------------------------------------

TEST(ChooserAudio, PartnerRules) {
    TempFolder t;
    for (const char* name : {"song.mp3", "song.zur", "clip.zur", "clip.mp3", "clip.wav",
                             "mix.zur", "mix.mp3", "mix.wma", "lone.zur", "tune.mid",
                             "solo.wav", "BIG.MP3", "BIG.zur", "rec.wma", "rec.zur", "note.txt"})
        t.File(name, "x");
    fs::create_directory(t.Path() + "dir.zur");
    fs::create_directory(t.Path() + "dir.wav");
    const std::string d = t.Path();
    struct Case {
        std::string path, send, play;
        bool linked;
    } cases[] = {
        {d + "song.mp3", d + "song.zur", d + "song.mp3", true},
        {d + "clip.zur", d + "clip.zur", d + "clip.wav", true},  // ".wav" wins
        {d + "mix.zur", d + "mix.zur", d + "mix.wma", true},     // ".wma" before ".mp3"
        {d + "lone.zur", d + "lone.zur", "", false},
        {d + "tune.mid", d + "tune.mid", d + "tune.mid", true},  // MIDI needs no partner
        {d + "solo.wav", d + "solo.wav", d + "solo.wav", false},
        {d + "BIG.MP3", d + "BIG.zur", d + "BIG.MP3", true},     // case ignored
        {d + "rec.wma", d + "rec.zur", d + "rec.wma", true},
        {d + "note.txt", d + "note.txt", d + "note.txt", false},
        {d + "dir.zur", d + "dir.zur", "", false},               // a folder is no partner
        {"", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetSendAudioFile(c.path), c.send) << c.path;
        EXPECT_EQ(GetPlayableAudioFile(c.path), c.play) << c.path;
        EXPECT_EQ(HasLinkedFile(c.path), c.linked) << c.path;
    }
}

TEST(ChooserAudio, PlayTimeCaption) {
    struct Case {
        int64_t ms;
        const char* text;
    } cases[] = {
        {125700, "播放时间 02:05 /共125秒"}, {65400, "播放时间 01:05 /共65秒"},
        {800, "播放时间 00:00 /共0秒"},      {6000000, "播放时间 100:00 /共6000秒"},
        {-5, "播放时间 00:00 /共0秒"},
    };
    for (const auto& c : cases) EXPECT_EQ(PlayTimeCaption(c.ms), c.text) << c.ms;
}

// ---- text --------------------------------------------------------------------

TEST(ChooserText, LengthCountAndLimit) {
    const std::string han = "汉";
    std::string line300;
    for (int i = 0; i < 300; ++i) line300 += han;
    struct Case {
        std::string text;
        int32_t units;
        std::string caption;
    } cases[] = {
        {std::string(612, 'a'), 612, "612"},
        {std::string(613, 'a'), 613, "613 超限！"},
        {line300 + "\n" + line300, 602, "602"},  // a line break counts 2
        {"", 0, "0"},
        {"😀", 1, "1"},  // stored as ANSI, where it becomes one "?"
    };
    for (const auto& c : cases) {
        int32_t n = CountTextUnits(c.text);
        EXPECT_EQ(n, c.units) << c.text;
        EXPECT_EQ(TextLengthCaption(n, 612), c.caption);
    }
}

TEST(ChooserText, ReadingTime) {
    EXPECT_EQ(ReadingTimeSecs(std::string(100, 'a'), 612), 17);         // 102 / 6
    EXPECT_EQ(ReadingTimeSecs(std::string(100, 'a') + "\n", 612), 17);  // no extra line
    EXPECT_EQ(ReadingTimeSecs("abc", 612), 1);                          // 5 / 6, at least 1
    EXPECT_EQ(ReadingTimeSecs("汉字\n汉字", 200), 4);                   // 8 / 2
    EXPECT_EQ(ReadingTimeSecs("abc", 99), std::nullopt);
    EXPECT_EQ(ReadingTimeSecs("abc", -612), std::nullopt);
}

TEST(ChooserText, ClickedFileIsNormalisedInPlace) {
    const std::string ansi = Utf8ToCp936("中文\r\n第二行\r\n");
    struct Case {
        const char* what;
        std::string bytes;
        std::string after;
        bool rewritten;
    } cases[] = {
        {"utf-8 with mark", "\xEF\xBB\xBF" "中文\r\n第二行", ansi, true},
        {"utf-8 without mark", "中文\r\n第二行", ansi, true},
        {"utf-16le with mark", B({0xFF, 0xFE, 0x2D, 0x4E, 0x87, 0x65, 0x0A, 0x00, 0x2C, 0x7B,
                                  0x8C, 0x4E, 0x4C, 0x88}),
         ansi, true},
        {"utf-16be with mark", B({0xFE, 0xFF, 0x4E, 0x2D, 0x65, 0x87, 0x00, 0x0D, 0x00, 0x0A,
                                  0x7B, 0x2C, 0x4E, 0x8C, 0x88, 0x4C}),
         ansi, true},
        {"bare lf", Utf8ToCp936("中文\n第二行\n"), ansi, true},
        {"bare cr, no final break", Utf8ToCp936("中文\r第二行"), ansi, true},
        {"ansi crlf", ansi, ansi, false},
        {"empty", "", "", false},
    };
    for (const auto& c : cases) {
        TempFolder t;
        const std::string p = t.File("a.txt", c.bytes);
        TClickedText r = NormaliseClickedTextFile(p);
        EXPECT_EQ(r.Rewritten, c.rewritten) << c.what;
        EXPECT_FALSE(r.KeptAsIs) << c.what;
        EXPECT_EQ(ReadFileBytes(p), c.after) << c.what;
        EXPECT_EQ(r.Utf8Text, Cp936ToUtf8(c.after)) << c.what;
        // A second click finds nothing to do.
        EXPECT_FALSE(NormaliseClickedTextFile(p).Rewritten) << c.what;
        EXPECT_EQ(ReadFileBytes(p), c.after) << c.what;
    }
}

TEST(ChooserText, FileWithCharactersAnsiCannotHoldIsKept) {
    // Characters the code page lacks, with a mark or without; and "a茅", whose ANSI
    // bytes 61 C3 A9 would read back as the UTF-8 "aé".
    struct Case {
        std::string bytes, text;
    } cases[] = {
        {"\xEF\xBB\xBF" "smile 😀 中文\n", "smile 😀 中文\n"},
        {"smile 😀 中文\n", "smile 😀 中文\n"},
        {"a茅\n", "a茅\n"},
    };
    for (const auto& c : cases) {
        TempFolder t;
        const std::string p = t.File("a.txt", c.bytes);
        TClickedText r = NormaliseClickedTextFile(p);
        EXPECT_TRUE(r.KeptAsIs) << c.text;
        EXPECT_FALSE(r.Rewritten) << c.text;
        EXPECT_EQ(ReadFileBytes(p), c.bytes) << c.text;
        EXPECT_EQ(r.Utf8Text, c.text) << c.text;
    }
}

TEST(ChooserText, UnreadableFilesRaise) {
    TempFolder t;
    EXPECT_THROW(NormaliseClickedTextFile(t.Path() + "missing.txt"), std::runtime_error);
    EXPECT_THROW(LoadEditorText(t.Path() + "missing.txt"), std::runtime_error);
    // The preset takes the bytes as ANSI, mark and all.
    const std::string p = t.File("b.txt", Utf8ToCp936("甲\r\n"));
    EXPECT_EQ(LoadEditorText(p), "甲\r\n");
}

// ---- pictures ----------------------------------------------------------------

TEST(ChooserPicture, CollectsPicturesSortedWithoutCase) {
    TempFolder t;
    for (const char* name : {"b.PNG", "a.jpg", "c.txt", "A.gif", "noext"}) t.File(name, "x");
    fs::create_directory(t.Path() + "d");
    t.File("d/e.jpg", "x");
    EXPECT_EQ(CollectPictureNames(t.Path()), (TStringList{"A.gif", "a.jpg", "b.PNG"}));
    EXPECT_TRUE(CollectPictureNames(t.Path() + "missing/").empty());
}

TEST(ChooserPicture, FitRect) {
    struct Case {
        int w, h, bw, bh;
        int left, top, fw, fh;
    } cases[] = {
        {400, 200, 100, 100, 0, 25, 100, 50}, {50, 30, 100, 100, 25, 35, 50, 30},
        {300, 300, 100, 100, 0, 0, 100, 100}, {200, 400, 100, 80, 30, 0, 40, 80},
        {16, 5, 8, 8, 0, 3, 8, 2},  // 2.5 rounds to even
        {16, 7, 8, 8, 0, 2, 8, 4},  // 3.5 rounds to even
        {0, 10, 100, 100, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TFitRect r = FitRect(c.w, c.h, c.bw, c.bh);
        EXPECT_EQ((std::array{r.Left, r.Top, r.Width, r.Height}),
                  (std::array{c.left, c.top, c.fw, c.fh}))
            << c.w << "x" << c.h;
    }
    EXPECT_EQ(ClampThumbSide(0), 16);
    EXPECT_EQ(ClampThumbSide(-80), 16);
    EXPECT_EQ(ClampThumbSide(100), 100);
    EXPECT_EQ(ClampThumbSide(1 << 30), 1024);
}

namespace {
QImage Filled(int w, int h, QColor c, QImage::Format f = QImage::Format_RGB32) {
    QImage img(w, h, f);
    img.fill(c);
    return img;
}
}  // namespace

TEST(ChooserPicture, ThumbnailsAreBoxSizedWithWhiteMargins) {
    QImage t = FitBitmap(Filled(400, 200, Qt::red), 100, 100);
    ASSERT_EQ(t.size(), QSize(100, 100));
    EXPECT_EQ(t.pixelColor(50, 10), QColor(Qt::white));
    EXPECT_EQ(t.pixelColor(50, 50), QColor(Qt::red));
    EXPECT_EQ(t.pixelColor(50, 90), QColor(Qt::white));
}

TEST(ChooserPicture, LoadThumbnailSkipsWhatCannotBeDecoded) {
    TempFolder t;
    ASSERT_TRUE(Filled(40, 20, Qt::blue).save(QString::fromStdString(t.Path() + "good.png"), "PNG"));
    ASSERT_TRUE(Filled(40, 20, Qt::blue).save(QString::fromStdString(t.Path() + "good.BMP"), "BMP"));
    ASSERT_TRUE(Filled(8, 8, Qt::transparent, QImage::Format_ARGB32)
                    .save(QString::fromStdString(t.Path() + "clear.png"), "PNG"));
    t.File("broken.jpg", "\xFF\xD8\xFF\xE0 not a picture");
    fs::create_directory(t.Path() + "folder.jpg");
    // A picture under another kind's extension is decoded as that kind, and fails.
    fs::copy_file(t.Path() + "good.png", t.Path() + "png.gif");

    auto good = LoadThumbnail(t.Path() + "good.png", 100, 100);
    ASSERT_TRUE(good);
    EXPECT_EQ(good->size(), QSize(100, 100));
    EXPECT_EQ(good->pixelColor(50, 50), QColor(Qt::blue));
    EXPECT_EQ(good->pixelColor(50, 5), QColor(Qt::white));
    EXPECT_TRUE(LoadThumbnail(t.Path() + "good.BMP", 100, 100));
    auto clear = LoadThumbnail(t.Path() + "clear.png", 100, 100);
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->pixelColor(50, 50), QColor(Qt::white));
    EXPECT_FALSE(LoadThumbnail(t.Path() + "broken.jpg", 100, 100));
    EXPECT_FALSE(LoadThumbnail(t.Path() + "folder.jpg", 100, 100));
    EXPECT_FALSE(LoadThumbnail(t.Path() + "png.gif", 100, 100));
    EXPECT_FALSE(LoadThumbnail(t.Path() + "missing.png", 100, 100));
}

TEST(ChooserPaths, ExistingFolderOf) {
    TempFolder t;
    EXPECT_EQ(ExistingFolderOf(t.Path() + "a.jpg"), t.Path());
    EXPECT_EQ(ExistingFolderOf(""), "");
    EXPECT_EQ(ExistingFolderOf("请双击图片文件夹"), "");
    EXPECT_EQ(ExistingFolderOf(t.Path() + "missing/a.jpg"), "");
}
