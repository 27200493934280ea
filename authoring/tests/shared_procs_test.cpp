#include "shared_procs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "test_support.h"
#include "text_codec.h"

TEST(SharedProcs, KindsByExtension) {
    struct Case {
        const char* name;
        bool text, picture, audio;
    } cases[] = {
        {"A.JPG", false, true, false},      {"a.Jpeg", false, true, false},
        {"x.MIDI", false, false, true},     {"x.wma", false, false, false},
        {"x.html", false, false, false},    {"x.tif", false, false, false},
        {"/n/notes.txt/readme", false, false, false},
        {"jpg", false, false, false},       {".png", false, true, false},
        {"b.Txt", true, false, false},      {"c.zur", false, false, true},
        {"d.bmp", false, true, false},      {"e.mp3", false, false, true},
        {"", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsTextFile(c.name), c.text) << c.name;
        EXPECT_EQ(IsPictureFile(c.name), c.picture) << c.name;
        EXPECT_EQ(IsAudioFile(c.name), c.audio) << c.name;
    }
    EXPECT_EQ(ExtractFileExt("/a.b/readme"), "");
    EXPECT_EQ(ExtractFileExt("photo.JPG"), ".JPG");
    EXPECT_EQ(ChangeFileExt("/x/p.bmp", ".jpg"), "/x/p.jpg");
}

TEST(SharedProcs, PhoneNumbers) {
    for (const char* yes : {"", "+8613800000000", "1+2", "++", "10086"}) EXPECT_TRUE(IsPhoneNumber(yes)) << yes;
    for (const char* no : {"138 0000", "138-0000", "a1", "１３８"}) EXPECT_FALSE(IsPhoneNumber(no)) << no;
}

TEST(SharedProcs, FindFilesListsNamesWithExtensions) {
    TempFolder tmp;
    tmp.File("a.txt", "x");
    tmp.File("b", "x");
    std::filesystem::create_directory(tmp.Path() + "c");
    std::filesystem::create_directory(tmp.Path() + "d.old");
    tmp.File("d.old/inner.txt", "x");

    TStringList list;
    FindFiles(tmp.Path(), "*.*", list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (TStringList{"a.txt", "d.old"}));

    TStringList full{"1", "2"};
    FindFiles(tmp.Path(), "*.*", full, 2);
    EXPECT_EQ(full.size(), 2u);

    TStringList smil;
    tmp.File("t.smil", "x");
    FindFiles(tmp.Path().substr(0, tmp.Path().size() - 1), "*.smil", smil);
    EXPECT_EQ(smil, (TStringList{"t.smil"}));

    TStringList deep;
    FindFiles(tmp.Path(), "*.*", deep, 0, true);
    EXPECT_NE(std::find(deep.begin(), deep.end(), "inner.txt"), deep.end());

    TStringList none;
    FindFiles(tmp.Path() + "missing", "*.*", none);
    EXPECT_TRUE(none.empty());
}

TEST(SharedProcs, RandomNames) {
    ScriptedRandom rng;
    rng.Draws = {0, 9, 5, 12};
    EXPECT_EQ(RandomDigits(4, rng), "0952");
    rng.Draws = {35, 0, 26, 25};
    EXPECT_EQ(RandomString(4, rng), "9a0z");
    EXPECT_EQ(RandomString(-1, rng), "");
    EXPECT_GE(rng.Reseeds, 3);

    TClockRandom clock;
    for (int i = 0; i < 50; ++i) {
        std::string s = RandomString(0, clock);
        EXPECT_GE(s.size(), 6u);
        EXPECT_LE(s.size(), 11u);
        EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) && !std::isupper(static_cast<unsigned char>(c)); }));
        std::string d = RandomDigits(4, clock);
        EXPECT_EQ(d.size(), 4u);
        EXPECT_TRUE(std::all_of(d.begin(), d.end(), ::isdigit));
    }
}

TEST(SharedProcs, LoadTextAsAnsiByMark) {
    TempFolder tmp;
    const std::string gbk = Utf8ToCp936("你好, 彩信");
    std::string le = B({0xFF, 0xFE}), be = B({0xFE, 0xFF});
    for (char16_t c : std::u16string(u"你好, 彩信")) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"utf8", B({0xEF, 0xBB, 0xBF}) + "你好, 彩信", gbk},
        {"le", le, gbk},
        {"be", be, gbk},
        {"plain", gbk + B({0, 'z'}), gbk + B({0, 'z'})},
        {"utf8-without-mark", "你好, 彩信", gbk},
        {"lone-le-mark", B({0xFF, 0xFE}), ""},
        {"lone-be-mark", B({0xFE, 0xFF}), ""},
        {"lone-utf8-mark", B({0xEF, 0xBB, 0xBF}), ""},
        {"empty", "", ""},
        {"le-odd-byte", B({0xFF, 0xFE, 'A', 0, 'B'}), "A"},
        {"le-mark-plus-one", B({0xFF, 0xFE, 'A'}), ""},
        {"one-byte", "A", "A"},
        {"half-utf8-mark", B({0xEF, 0xBB}), B({0xEF, 0xBB})},
        {"utf8-malformed", B({0xEF, 0xBB, 0xBF, 'a', 0xE4, 0xBD}), "a??"},
        {"le-unmappable", B({0xFF, 0xFE, 0x01, 0x0E}), "?"},
    };
    for (const auto& c : cases) {
        std::string p = tmp.File(c.name, c.bytes);
        EXPECT_EQ(LoadTextAsAnsi(p), c.expected) << c.name;
    }
    EXPECT_THROW(LoadTextAsAnsi(tmp.Path() + "missing.txt"), std::runtime_error);

    char16_t w = 0x1234;
    SwapWideCharBytes(w);
    EXPECT_EQ(w, 0x3412);
}

// The one reader of a text file's text for a page, its preview, the editor and the
// message: by its form, up to its first NUL character.
TEST(SharedProcs, TextFileAsUtf8ReadsEveryFormUpToItsFirstNul) {
    const std::string text = "你好彩信 12 条";
    std::string le = B({0xFF, 0xFE}), be = B({0xFE, 0xFF});
    for (char16_t c : std::u16string(u"你好彩信 12 条")) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    EXPECT_EQ(Utf16FileBytes(u"你好彩信 12 条", false, true), le);
    EXPECT_EQ(Utf16FileBytes(u"你好彩信 12 条", true, true), be);
    struct Case {
        const char* name;
        std::string bytes, utf8;
    } cases[] = {
        {"le", le, text},
        {"be", be, text},
        {"le with a NUL character", le + B({0, 0, 'x', 0}), text},
        {"utf8 marked", "\xEF\xBB\xBF" + text + B({0}) + "x", text},
        {"ansi", Utf8ToCp936(text) + B({0}) + "x", text},
        {"lone mark", B({0xFF, 0xFE}), ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TextFileAsUtf8(c.bytes), c.utf8) << c.name;
    // The text tools take it whole.
    EXPECT_EQ(TextAsUtf8(le + B({0, 0, 'x', 0})), text + B({0}) + "x");
}
