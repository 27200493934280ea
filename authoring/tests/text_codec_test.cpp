#include "text_codec.h"

#include <gtest/gtest.h>

#include "string_list.h"
#include "test_support.h"

TEST(TextCodec, ChineseRoundTripsThroughCp936) {
    const std::string utf8 = "彩信制作";
    const std::string ansi = Utf8ToCp936(utf8);
    EXPECT_EQ(ansi, B({0xB2, 0xCA, 0xD0, 0xC5, 0xD6, 0xC6, 0xD7, 0xF7}));
    EXPECT_EQ(Cp936ToUtf8(ansi), utf8);
    EXPECT_EQ(Utf16ToCp936(u"彩信"), B({0xB2, 0xCA, 0xD0, 0xC5}));
}

TEST(TextCodec, UnmappableCharactersBecomeQuestionMarks) {
    // A Thai letter and an emoji (a surrogate pair) have no CP936 form.
    EXPECT_EQ(Utf8ToCp936("a\u0E01b\U0001F600c"), "a?b?c");
    // A lone lead byte at the end, and an invalid pair, do not stop the conversion.
    EXPECT_EQ(Cp936ToUtf8(B({'x', 0xB2})), "x?");
    EXPECT_EQ(Utf8ToCp936(B({'a', 0xC3})), "a?");
}

TEST(TextCodec, TrimRemovesCodesUpTo32Only) {
    EXPECT_EQ(Trim(B({0, 1, ' ', 'a', ' ', 'b', '\t', '\r', '\n'})), "a b");
    EXPECT_EQ(Trim("   "), "");
    // The second byte of a double-byte character is never taken for a blank.
    EXPECT_EQ(Trim(Utf8ToCp936(" 中 ")), Utf8ToCp936("中"));
}

TEST(TextCodec, IntegerRule) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"5", true, 5},          {"  42", true, 42},     {"+7", true, 7},
        {"-3", true, -3},        {"$FF", true, 255},     {"0x10", true, 16},
        {"X1f", true, 31},       {"xFFFFFFFF", true, -1}, {"$000000001", true, 1},
        {"-$10", true, -16},     {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0}, {"$123456789", false, 0}, {"", false, 0},
        {" ", false, 0},         {"5 ", false, 0},        {"5秒", false, 0},
        {"1.5", false, 0},       {"+", false, 0},         {"$", false, 0},
        {"0x", false, 0},        {"\t5", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_THROW(StrToInt("abc"), EConvertError);
}

TEST(StringList, SplitsAtEveryKindOfLineBreakAndSavesCrLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (TStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (TStringList{"a"}));
    EXPECT_EQ(SplitLines("a\n\nb"), (TStringList{"a", "", "b"}));
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(JoinLines({"x", "", "y"}), "x\r\n\r\ny\r\n");
    // The same line ends without the list, whatever breaks the text has.
    for (const char* t : {"", "a", "a\r\n", "a\rb\nc\r\n", "\n\n", "\r", "a\r\n\rb", "x\r\n\r\ny"})
        EXPECT_EQ(CrLfLines(t), JoinLines(SplitLines(t))) << t;

    TempFolder tmp;
    SaveStringList(tmp.Path() + "l.txt", {"主题", "b"});
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "l.txt"), Utf8ToCp936("主题") + "\r\nb\r\n");
    EXPECT_EQ(LoadStringList(tmp.Path() + "l.txt"), (TStringList{"主题", "b"}));
}

TEST(StringList, FailedWriteLeavesNoFileBehind) {
    TempFolder tmp;
    EXPECT_THROW(WriteFileAtomically(tmp.Path() + "no/such/x.mms", "abc"), std::runtime_error);
    EXPECT_THROW(ReadFileBytes(tmp.Path() + "missing"), std::runtime_error);
}

TEST(StringList, AtomicWriteTakesNamesUpToTheLimitAndLeavesNothingElse) {
    TempFolder tmp;
    // A 255-byte name: a temporary name built by appending to it could not exist.
    const std::string name = std::string(251, 'n') + ".mms";
    WriteFileAtomically(tmp.Path() + name, "abc");
    EXPECT_EQ(ReadFileBytes(tmp.Path() + name), "abc");
    WriteFileAtomically(tmp.Path() + name, "second");
    EXPECT_EQ(ReadFileBytes(tmp.Path() + name), "second");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.Path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(StringList, WritesIntoAWorkingFolderNeverFollowALink) {
    TempFolder outside;
    TempFolder work;
    const std::string target = outside.File("target.txt", "keep");
    struct Case {
        const char* name;
        std::string linkTo;
    } cases[] = {
        {"to_file.jpg", target},
        {"dangling.jpg", outside.Path() + "created_by_link.jpg"},
    };
    for (const auto& c : cases) {
        std::filesystem::create_symlink(c.linkTo, work.Path() + c.name);
        WriteNewFile(work.Path() + c.name, "part bytes");
        EXPECT_FALSE(std::filesystem::is_symlink(work.Path() + c.name)) << c.name;
        EXPECT_EQ(ReadFileBytes(work.Path() + c.name), "part bytes") << c.name;
    }
    EXPECT_EQ(ReadFileBytes(target), "keep");
    EXPECT_FALSE(std::filesystem::exists(outside.Path() + "created_by_link.jpg"));

    // Atomic writes replace a link by a file of their own as well.
    std::filesystem::create_symlink(target, work.Path() + "a.mms");
    WriteFileAtomically(work.Path() + "a.mms", "message");
    EXPECT_FALSE(std::filesystem::is_symlink(work.Path() + "a.mms"));
    EXPECT_EQ(ReadFileBytes(target), "keep");

    // A folder under the name is not removed, and the write says why.
    std::filesystem::create_directory(work.Path() + "dir.jpg");
    try {
        WriteNewFile(work.Path() + "dir.jpg", "x");
        ADD_FAILURE() << "a folder was overwritten";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("dir.jpg"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_directory(work.Path() + "dir.jpg"));
}

TEST(TextCodec, TheFormOfATextFile) {
    struct Case {
        const char* what;
        std::string bytes;
        TTextForm form;
    } cases[] = {
        {"UTF-8 without a mark", "无标记UTF8", TTextForm::Utf8},
        {"the same in the code page", Utf8ToCp936("无标记UTF8"), TTextForm::Ansi},
        {"ASCII only", "plain\r\n", TTextForm::Ansi},
        {"empty", "", TTextForm::Ansi},
        {"UTF-8 mark", "\xEF\xBB\xBF" "a", TTextForm::Utf8Marked},
        {"UTF-16LE mark", "\xFF\xFE" "a", TTextForm::Utf16Le},
        {"UTF-16BE mark", "\xFE\xFF", TTextForm::Utf16Be},
        {"half a mark", "\xEF\xBB", TTextForm::Ansi},
        {"overlong", "a\xC0\x80", TTextForm::Ansi},
        {"surrogate", "\xED\xA0\x80", TTextForm::Ansi},
        {"above U+10FFFF", "\xF4\x90\x80\x80", TTextForm::Ansi},
        {"cut off at the end", "你\xE5\xA5", TTextForm::Ansi},
        {"four bytes", "\xF0\x9F\x98\x80", TTextForm::Utf8},
    };
    for (const auto& c : cases) EXPECT_EQ(TextFormOf(c.bytes), c.form) << c.what;

    EXPECT_EQ(TextAsUtf8(Utf8ToCp936("你好")), "你好");
    EXPECT_EQ(TextAsUtf8("你好"), "你好");
    EXPECT_EQ(TextAsUtf8("\xEF\xBB\xBF你好"), "你好");
}

TEST(TextCodec, BytesValidBothWaysAreReadAsTheLikelierText) {
    // GBK whose bytes are valid UTF-8 as well: read as UTF-8 they give combining
    // marks, Hebrew points, stray Greek, Cyrillic or modifier letters.
    for (const char* word : {"通知", "系统", "图片", "停止", "状态", "小时", "系统通知", "小写", "隆",
                             "系统通知 12 小时", "Linux系统", "MMS 通知"}) {
        EXPECT_EQ(TextFormOf(Utf8ToCp936(word)), TTextForm::Ansi) << word;
        EXPECT_EQ(TextAsUtf8(Utf8ToCp936(word)), word);
    }
    // UTF-8 that is also valid GBK: accented letters among Latin letters, whole
    // words of another alphabet, and hanzi.
    for (const char* text : {"café", "Größe", "niño", "Paramètres", "¿Está seguro?", "Привет", "Ελλάδα",
                             "通知", "系统通知", "你好，世界"}) {
        EXPECT_EQ(TextFormOf(text), TTextForm::Utf8) << text;
    }
}

TEST(TextCodec, StoredTextReadsBackTheSame) {
    // The code page where it reads back as ANSI; else UTF-8, with its mark where
    // without it the rule would take it for ANSI: the UTF-8 of the modifier letter
    // "ʱ", which the code page lacks, is CA B1, the code page's "时".
    struct Case {
        std::string utf8, bytes;
    } cases[] = {
        {"你好\r\n", Utf8ToCp936("你好\r\n")},
        {"ascii", "ascii"},
        {"隆", Utf8ToCp936("隆")},
        {"表情😀", "表情😀"},
        {"ʱ", "\xEF\xBB\xBFʱ"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StoredTextBytes(c.utf8), c.bytes) << c.utf8;
        EXPECT_EQ(TextAsUtf8(StoredTextBytes(c.utf8)), c.utf8) << c.utf8;
    }
    // A long text is judged whole: a character the code page lacks far into it
    // keeps the whole text UTF-8.
    std::string longText;
    while (longText.size() < 200000) longText += "周末一起去公园散步。\r\n";
    EXPECT_EQ(StoredTextBytes(longText), Utf8ToCp936(longText));
    EXPECT_EQ(StoredTextBytes(longText + "😀"), longText + "😀");
}

TEST(TextCodec, SignsAmongAsciiAndTraditionalWordsReadAsTheyWereWritten) {
    struct Case {
        std::string text;  // in UTF-8
        TTextForm written;
    } cases[] = {
        // Latin-1 signs among digits, blanks and ASCII words: their UTF-8 bytes are
        // also single common hanzi of the code page ("© 2026" would be "漏 2026").
        {"© 2026", TTextForm::Utf8},
        {"Copyright © 2026", TTextForm::Utf8},
        {"¥100", TTextForm::Utf8},
        {"£5", TTextForm::Utf8},
        {"±2", TTextForm::Utf8},
        {"½", TTextForm::Utf8},
        {"§ 3", TTextForm::Utf8},
        {"25°", TTextForm::Utf8},
        {"10 ÷ 2", TTextForm::Utf8},
        {"Acme · Ltd", TTextForm::Utf8},
        {"¶ 4", TTextForm::Utf8},
        {"1ª", TTextForm::Utf8},
        {"50¢", TTextForm::Utf8},
        {"1¼ cm", TTextForm::Utf8},
        // Traditional words: "網絡" would be "缍茬怠".
        {"網絡", TTextForm::Utf8},
        {"總統", TTextForm::Utf8},
        {"購買", TTextForm::Utf8},
        {"漸漸", TTextForm::Utf8},
        {"氣溫", TTextForm::Utf8},
        {"詳細", TTextForm::Utf8},
        {"採購", TTextForm::Utf8},
        {"買賣", TTextForm::Utf8},
        {"決賽", TTextForm::Utf8},
        // Short GBK stays GBK: everyday words, hanzi of those sign bytes among ASCII
        // where the sign would stand oddly or beside a letter of another script, and
        // single traditional characters, whose UTF-8 reading starts with a combining
        // mark.
        {"通知", TTextForm::Ansi},
        {"系统", TTextForm::Ansi},
        {"图片", TTextForm::Ansi},
        {"停止", TTextForm::Ansi},
        {"状态", TTextForm::Ansi},
        {"小时", TTextForm::Ansi},
        {"系统通知", TTextForm::Ansi},
        {"GTKtalog 目录", TTextForm::Ansi},
        {"3楼", TTextForm::Ansi},
        {"12路", TTextForm::Ansi},
        {"隆", TTextForm::Ansi},
        {"號", TTextForm::Ansi},
        {"變", TTextForm::Ansi},
    };
    for (const auto& c : cases) {
        const std::string bytes = c.written == TTextForm::Ansi ? Utf8ToCp936(c.text) : c.text;
        ASSERT_TRUE(IsValidUtf8(bytes)) << c.text << ": readable one way only";
        EXPECT_EQ(TextFormOf(bytes), c.written) << c.text;
        EXPECT_EQ(TextAsUtf8(bytes), c.text);
    }
}
