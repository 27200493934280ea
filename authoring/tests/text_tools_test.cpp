#include "text_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "string_list.h"
#include "test_support.h"
#include "text_codec.h"

namespace {
namespace fs = std::filesystem;

struct Asked {
    std::string caption, text;
};
class RecordingQuestions : public TQuestions {
public:
    std::vector<Asked> Log;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons, TIcon,
                TAnswer) override {
        Log.push_back({caption, text});
        return TAnswer::Ok;
    }
};

// The names in a folder, temporaries included.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(dir)) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
}
}  // namespace

TEST(TextTools, ConversionsRewriteInPlace) {
    TempFolder tmp;
    const std::string gbk = Utf8ToCp936("中文");
    struct Case {
        const char* name;
        std::string before;
        TTextEncoding to;
        std::string after;
        bool converted = true;
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
        // UTF-8 and UTF-16 take the text as read: nothing CP936 lacks is lost.
        {"u8-to-u8-keeps-all", B({0xEF, 0xBB, 0xBF}) + "a\u0E01", TTextEncoding::Utf8,
         B({0xEF, 0xBB, 0xBF}) + "a\u0E01"},
        {"u16-to-unicode-keeps-a-pair", B({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), TTextEncoding::Unicode,
         B({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE})},
        {"u16be-to-u8", B({0xFE, 0xFF, 0x4E, 0x2D, 0x00, 0x0A}), TTextEncoding::Utf8,
         B({0xEF, 0xBB, 0xBF}) + "中\n"},
        // ANSI that cannot hold a character keeps the file as it is, and says so.
        {"u8-to-ansi-lossy", B({0xEF, 0xBB, 0xBF}) + "a\u0E01\n", TTextEncoding::Ansi,
         B({0xEF, 0xBB, 0xBF}) + "a\u0E01\n", false},
    };
    for (const auto& c : cases) {
        std::string p = tmp.File(c.name, c.before);
        EXPECT_EQ(ConvertTextFile(p, c.to), c.converted) << c.name;
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

TEST(TextTools, ConversionsTellWhatTheyDidInOneBox) {
    TempFolder tmp;
    const std::string a = tmp.File("a.txt", "plain\n");
    const std::string thai = tmp.File("thai.txt", "\xEF\xBB\xBF" "\u0E01\n");
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string text;
    } cases[] = {
        {"all converted", {a}, "文件格式转换完成！"},
        {"one kept", {a, thai}, "以下文件转换为ANSI文本会丢失或改变字符，保持原样，未转换：\r\n" + thai},
        {"a missing file ends the run",
         {a, tmp.Path() + "gone.txt", thai},
         "文件格式转换失败：无法打开文件 " + tmp.Path() + "gone.txt: 文件或文件夹不存在\r\n已转换 1 个文件。"},
    };
    for (const auto& c : cases) {
        RecordingQuestions q;
        ConvertTextFiles(c.files, TTextEncoding::Ansi, q);
        ASSERT_EQ(q.Log.size(), 1u) << c.what;
        EXPECT_EQ(q.Log[0].caption, "提示") << c.what;
        EXPECT_EQ(q.Log[0].text, c.text) << c.what;
    }
}

// As on a full disk: the new text cannot be written whole. The old file stays
// whole, nothing is left beside it, and the box names the file and the reason.
TEST(TextTools, AConversionThatCannotBeWrittenKeepsTheFileWhole) {
    TempFolder tmp;
    std::string story;
    while (story.size() < 40000) story += Utf8ToCp936("从前有座山，山里有座庙。\r\n");
    const std::string p = tmp.File("story.txt", story);
    RecordingQuestions q;
    {
        TFileSizeLimit limit(20000);
        ConvertTextFiles({p}, TTextEncoding::Utf8, q);
    }
    EXPECT_EQ(ReadFileBytes(p), story);
    EXPECT_EQ(Names(tmp.Path()), std::vector<std::string>{"story.txt"});
    ASSERT_EQ(q.Log.size(), 1u);
    EXPECT_EQ(q.Log[0].caption, "提示");
    EXPECT_EQ(q.Log[0].text, "文件格式转换失败：无法写入文件 " + p + ": 文件太大\r\n已转换 0 个文件。");
}

TEST(TextTools, ASplitThatCannotBeWrittenLeavesNoEmptyPart) {
    TempFolder tmp;
    const std::string p = tmp.File("story.txt", std::string(30, 'x'));
    // A part of an earlier split stays as it was.
    tmp.File("story.0002.txt", "old part");
    const std::string next = tmp.File("next.txt", "y");
    RecordingQuestions q;
    {
        TFileSizeLimit limit(0);
        SplitTextFiles({p, next}, 10, q);
    }
    EXPECT_EQ(Names(tmp.Path()), (std::vector<std::string>{"next.txt", "story.0002.txt", "story.txt"}));
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "story.0002.txt"), "old part");
    ASSERT_EQ(q.Log.size(), 1u);
    EXPECT_EQ(q.Log[0].caption, "提示");
    EXPECT_EQ(q.Log[0].text, "文本分割失败：" + p + "\r\n无法写入文件 " + tmp.Path() +
                                 "story.0001.txt: 文件太大\r\n此文件未写入分割文件。"
                                 "\r\n其余 1 个文件未分割。");
    // Written, a split shows nothing.
    RecordingQuestions quiet;
    SplitTextFiles({p}, 10, quiet);
    EXPECT_TRUE(quiet.Log.empty());
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "story.0004.txt"), "\r\n");
}

TEST(TextTools, ASplitNeverCutsACharacterInTwo) {
    TempFolder tmp;
    // "😀" is two UTF-16 units; a cut between them moves back by one.
    struct Case {
        std::string text;
        int limit;
        std::vector<std::string> parts;
    } cases[] = {
        {"ab😀cd", 3, {"ab\r\n", "😀c\r\n", "d\r\n"}},
        {"ab😀cd", 4, {"ab😀\r\n", "cd\r\n"}},
        // A limit of one unit takes the pair whole.
        {"😀", 1, {"😀\r\n", "\r\n", "\r\n"}},
        {"𠀀字", 1, {"𠀀\r\n", Utf8ToCp936("字\r\n"), "\r\n", "\r\n"}},
    };
    for (const auto& c : cases) {
        for (const auto& e : fs::directory_iterator(tmp.Path())) fs::remove(e.path());
        const std::string p = tmp.File("e.txt", c.text);
        EXPECT_EQ(SplitTextFile(p, c.limit), static_cast<int>(c.parts.size())) << c.text;
        for (size_t k = 0; k < c.parts.size(); ++k) {
            char name[32];
            std::snprintf(name, sizeof(name), "e.%.4zu.txt", k + 1);
            EXPECT_EQ(ReadFileBytes(tmp.Path() + name), c.parts[k]) << c.text << " " << name;
        }
    }
}

TEST(TextTools, AMarkedUtf16TextIsSplitOnItsCharacters) {
    TempFolder tmp;
    for (bool big : {false, true}) {
        std::string bytes = big ? B({0xFE, 0xFF}) : B({0xFF, 0xFE});
        for (char16_t c : std::u16string(u"你好彩信\r\nab")) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            bytes += big ? hi : lo;
            bytes += big ? lo : hi;
        }
        const std::string p = tmp.File("w.txt", bytes);
        // 4 + 2 + 2 + 2 units with the added CR LF.
        EXPECT_EQ(SplitTextFile(p, 5), 2);
        EXPECT_EQ(ReadFileBytes(tmp.Path() + "w.0001.txt"), Utf8ToCp936("你好彩信\r\n"));
        EXPECT_EQ(ReadFileBytes(tmp.Path() + "w.0002.txt"), "\r\nab\r\n");
    }
}
