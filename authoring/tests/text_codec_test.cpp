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
