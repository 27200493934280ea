#include "text_tools.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "string_list.h"
#include "test_support.h"
#include "text_codec.h"

TEST(TextTools, ConversionsRewriteInPlace) {
    TempFolder tmp;
    const std::string gbk = Utf8ToCp936("中文");
    struct Case {
        const char* name;
        std::string before;
        TTextEncoding to;
        std::string after;
    } cases[] = {
        {"u8-to-ansi", B({0xEF, 0xBB, 0xBF}) + "中文\nb", TTextEncoding::Ansi, gbk + "\r\nb\r\n"},
        // UTF-8 without a mark is read as UTF-8, as with the mark.
        {"bare-u8-to-ansi", "中文\nb", TTextEncoding::Ansi, gbk + "\r\nb\r\n"},
        {"bare-u8-to-u8", "中文\n", TTextEncoding::Utf8, B({0xEF, 0xBB, 0xBF}) + "中文\n"},
        {"bare-u8-to-unicode", "中文", TTextEncoding::Unicode, B({0xFF, 0xFE, 0x2D, 0x4E, 0x87, 0x65})},
        {"lf-to-ansi", "a\nb\n", TTextEncoding::Ansi, "a\r\nb\r\n"},
        {"ansi-to-u8", gbk + "\n", TTextEncoding::Utf8, B({0xEF, 0xBB, 0xBF}) + "中文\n"},
        {"ansi-to-unicode", gbk, TTextEncoding::Unicode, B({0xFF, 0xFE, 0x2D, 0x4E, 0x87, 0x65})},
        {"empty-to-u8", "", TTextEncoding::Utf8, ""},
        {"empty-to-unicode", "", TTextEncoding::Unicode, ""},
        {"mark-to-u8", B({0xEF, 0xBB, 0xBF}), TTextEncoding::Utf8, B({0xEF, 0xBB, 0xBF})},
        {"mark-to-unicode", B({0xFF, 0xFE}), TTextEncoding::Unicode, B({0xFF, 0xFE})},
        {"mark-to-ansi", B({0xFF, 0xFE}), TTextEncoding::Ansi, ""},
        // Characters CP936 cannot hold are lost even from UTF-8 to UTF-8.
        {"u8-lossy", B({0xEF, 0xBB, 0xBF}) + "a\u0E01", TTextEncoding::Utf8, B({0xEF, 0xBB, 0xBF}) + "a?"},
    };
    for (const auto& c : cases) {
        std::string p = tmp.File(c.name, c.before);
        ConvertTextFile(p, c.to);
        EXPECT_EQ(ReadFileBytes(p), c.after) << c.name;
    }
    EXPECT_THROW(ConvertTextFile(tmp.Path() + "missing.txt", TTextEncoding::Ansi), std::runtime_error);
}

TEST(TextTools, SplitIntoNumberedParts) {
    TempFolder tmp;
    // 1300 characters counted in UTF-16 units, line breaks counted: 100 lines of
    // 11 Chinese characters and CR LF make 1300.
    std::string line = Utf8ToCp936("一二三四五六七八九十甲") + "\r\n";
    std::string text;
    for (int i = 0; i < 100; ++i) text += line;
    std::string story = tmp.File("story.txt", text);
    EXPECT_EQ(SplitTextFile(story, 612), 3);
    auto units = [&](const std::string& name) { return Cp936ToUtf16(ReadFileBytes(tmp.Path() + name)).size(); };
    // A cut inside a line still ends the part with CR LF.
    EXPECT_EQ(units("story.0001.txt"), 612u + 2);
    EXPECT_EQ(units("story.0002.txt"), 612u + 2);
    EXPECT_EQ(units("story.0003.txt"), 76u);
    EXPECT_EQ(ReadFileBytes(story), text);

    std::string exact = tmp.File("exact.txt", std::string(1222, 'x') + "\r\n");
    EXPECT_EQ(SplitTextFile(exact, 612), 2);
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "exact.0003.txt"));

    std::string small = tmp.File("a.b.txt", "short\nlast");
    EXPECT_EQ(SplitTextFile(small, 612), 1);
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "a.b.0001.txt"), "short\r\nlast\r\n");

    std::string empty = tmp.File("e.txt", "");
    EXPECT_EQ(SplitTextFile(empty, 612), 0);
    EXPECT_EQ(SplitTextFile(small, 0), 0);
}

TEST(TextTools, SplitOfAUtf8TextCountsItsCharacters) {
    TempFolder tmp;
    // 3 Chinese characters and CR LF are 5 units (11 bytes of UTF-8); 15 in all.
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        std::string story = tmp.File("u.txt", mark + "无标记\r\n八个字八个字八个");
        EXPECT_EQ(SplitTextFile(story, 5), 3) << mark.size();
        EXPECT_EQ(ReadFileBytes(tmp.Path() + "u.0001.txt"), Utf8ToCp936("无标记\r\n"));
        EXPECT_EQ(ReadFileBytes(tmp.Path() + "u.0002.txt"), Utf8ToCp936("八个字八个\r\n"));
        EXPECT_EQ(ReadFileBytes(tmp.Path() + "u.0003.txt"), Utf8ToCp936("字八个\r\n"));
    }
    // A part that ANSI would garble ("a茅" in ANSI reads back as the UTF-8 "aé")
    // or cannot hold stays UTF-8.
    std::string odd = tmp.File("o.txt", "😀\r\na茅");
    EXPECT_EQ(SplitTextFile(odd, 4), 2);
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "o.0001.txt"), "😀\r\n");
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "o.0002.txt"), "a茅\r\n");
}
