#include "custom_compiler.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mms_maker.h"
#include "test_support.h"
#include "text_codec.h"

namespace {

struct RecordingQuestions : TQuestions {
    std::vector<std::string> Texts;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons, TIcon,
                TAnswer) override {
        EXPECT_EQ(caption, "提示");
        Texts.push_back(text);
        return TAnswer::Ok;
    }
};

// The names of the entries of a message, in order, read the simple way: every
// Content-Location value (8E name 00).
std::vector<std::string> PartNames(const std::string& mms) {
    std::vector<std::string> names;
    size_t p = 0;
    while ((p = mms.find('\x8E', p)) != std::string::npos) {
        size_t end = mms.find('\0', p);
        names.push_back(mms.substr(p + 1, end - p - 1));
        p = end;
    }
    return names;
}

// The header fields of a message, decoded by the encoding's own rules: a field code
// (80 or above), then a value that is a short integer (80 to FF, one byte), a text
// (20 to 7F first, up to its 00), or a value length (00 to 1E, or 1F and a
// variable-length integer) and that many bytes. Each field with its first value
// byte; the walk ends after Content-Type (84) or at a byte that is no field code.
std::vector<std::pair<int, int>> HeaderFields(const std::string& mms) {
    std::vector<std::pair<int, int>> fields;
    auto at = [&](size_t i) { return i < mms.size() ? static_cast<unsigned char>(mms[i]) : 0u; };
    size_t p = 0;
    while (p < mms.size() && at(p) >= 0x80) {
        const int field = static_cast<int>(at(p++));
        const unsigned v = at(p);
        fields.emplace_back(field, static_cast<int>(v));
        if (v >= 0x80) {
            ++p;
        } else if (v >= 0x20) {
            p = mms.find('\0', p);
            p = p == std::string::npos ? mms.size() : p + 1;
        } else {
            size_t len = v;
            ++p;
            if (v == 0x1F) {
                len = 0;
                while (at(p) & 0x80) len = (len << 7) | (at(p++) & 0x7F);
                len = (len << 7) | at(p++);
            }
            p += len;
        }
        if (field == 0x84) break;
    }
    return fields;
}

}  // namespace

TEST(CustomCompiler, TemplateAndKeys) {
    TempFolder tmp;
    WriteHeaderTemplate(tmp.Path());
    EXPECT_EQ(ReadFileBytes(tmp.Path() + kHeaderTemplateName),
              "mmsTo=\r\nmmsCC=\r\nmmsBCC=\r\nmmsSubject=\r\nmmsClass=\r\nmmsPriority=\r\n"
              "mmsSenderVisibility=\r\nmmsDeliveryReport=\r\nmmsReadReply=\r\n");

    ScriptedRandom rng;
    struct Case {
        TStringList lines;
        std::string to, subject;
        int cls, priority, readReply;
    } cases[] = {
        {{"MMSTO=1 2", "mmsSubject= " + Utf8ToCp936("你好"), "mmsClass= 2 ", "mmsPriority=$3", "mmsReadReply=1"},
         "1 2", " 你好", 2, 3, 1},
        {{"\xEF\xBB\xBFmmsTo=138", "mmsCC=x"}, "", "", 0, 0, 0},
        {{"mmsTo =138", "mmsClass=", "mmsPriority=2"}, "", "", 0, 2, 0},
        {{"mmsTo=138", "mmsSubject=s", "mmsClass=abc", "mmsPriority=2"}, "138", "s", 0, 0, 0},
        {{"mmsTo=a=b", "mmsTo=second", "noequals"}, "a=b", "", 0, 0, 0},
    };
    for (const auto& c : cases) {
        TMmsMaker maker(rng, tmp.Path());
        ReadHeaderValues(c.lines, maker);
        EXPECT_EQ(maker.FTo, c.to) << c.lines[0];
        EXPECT_EQ(maker.FSubject, c.subject) << c.lines[0];
        EXPECT_EQ(maker.FMessageClass, c.cls) << c.lines[0];
        EXPECT_EQ(maker.FPriority, c.priority) << c.lines[0];
        EXPECT_EQ(maker.FReadReply, c.readReply) << c.lines[0];
    }
}

TEST(CustomCompiler, PacksTheNamedFiles) {
    TempFolder tmp;
    RecordingQuestions q;
    std::string opened;
    auto open = [&](const std::string& d) { opened = d; };

    CompileCustomMessage(tmp.Path(), q, open);
    ASSERT_EQ(q.Texts.size(), 1u);
    EXPECT_EQ(q.Texts[0],
              "未找到相关的smil文件。\r\n"
              "请把smil文件和相关的文本(图片)都放在自定义彩信目录下,然后会自动编译成彩信文件。 ");
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + kCustomOutputName));

    tmp.File("a.smil", "<img src=\"x.gif\"/>");
    tmp.File("b.SMIL", std::string("<smil><img src=\"p.gif\"/><text src=\"t.txt\"/>a.smil") + '\0' + " q.txt");
    tmp.File("p.gif", "GIF");
    tmp.File("P.GIF2", "no");
    tmp.File("t.txt", "text");
    tmp.File("q.txt", "after the zero byte");
    tmp.File("aa.gif", "");  // "aa.gif" is not in the text; "a.gif" would be in "aa.gif"
    tmp.File(kHeaderTemplateName, "mmsTo=10086\r\n");
    q.Texts.clear();
    CompileCustomMessage(tmp.Path(), q, open);
    EXPECT_EQ(q.Texts, std::vector<std::string>{"自定义彩信制作完成！"});
    EXPECT_EQ(opened, tmp.Path());
    std::string mms = ReadFileBytes(tmp.Path() + kCustomOutputName);
    EXPECT_EQ(PartNames(mms), (std::vector<std::string>{"b.SMIL", "a.smil", "p.gif", "t.txt"}));
    EXPECT_NE(mms.find(std::string("\x97") + "10086/TYPE=PLMN"), std::string::npos);
    EXPECT_NE(mms.find("<b.SMIL>"), std::string::npos);
}

TEST(CustomCompiler, HeaderValuesComeOnlyFromAHeaderFile) {
    // No header file, then a folder of that name: either way the message carries
    // only the fields that are always written, and the compile finishes.
    TempFolder tmp;
    tmp.File("m.smil", "<smil/>");
    RecordingQuestions q;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) std::filesystem::create_directory(tmp.Path() + kHeaderTemplateName);
        q.Texts.clear();
        CompileCustomMessage(tmp.Path(), q, nullptr);
        EXPECT_EQ(q.Texts, std::vector<std::string>{"自定义彩信制作完成！"}) << round;
        const std::string mms = ReadFileBytes(tmp.Path() + kCustomOutputName);
        // Transaction-Id, version and From, then straight to the Content-Type.
        EXPECT_EQ(mms.substr(8, 6), B({0x8D, 0x90, 0x89, 0x01, 0x81, 0x84})) << round;
        EXPECT_EQ(PartNames(mms), std::vector<std::string>{"m.smil"}) << round;
    }
}

TEST(CustomCompiler, UnreadablePartEndsTheCompileQuietly) {
    // A folder whose name has an extension is listed like a file; named in the
    // SMIL text it cannot be packed: no output, no box, no file browser.
    TempFolder tmp;
    tmp.File("m.smil", "<img src=\"pics.d\"/>");
    std::filesystem::create_directory(tmp.Path() + "pics.d");
    tmp.File(kCustomOutputName, "old");
    RecordingQuestions q;
    bool opened = false;
    EXPECT_THROW(CompileCustomMessage(tmp.Path(), q, [&](const std::string&) { opened = true; }),
                 std::runtime_error);
    EXPECT_TRUE(q.Texts.empty());
    EXPECT_FALSE(opened);
    EXPECT_EQ(ReadFileBytes(tmp.Path() + kCustomOutputName), "old");
}

TEST(CustomCompiler, ClassAndPriorityOutsideTheirRangeWriteNoField) {
    TempFolder tmp;
    tmp.File("m.smil", "<smil/>");
    RecordingQuestions q;
    struct Case {
        const char *cls, *priority;
        int classByte, priorityByte;  // -1: no field
    } cases[] = {
        {"200", "2", -1, 0x81},
        {"5", "2", -1, 0x81},
        {"-1", "2", -1, 0x81},
        {"1", "129", 0x80, -1},
        {"4", "3", 0x83, 0x82},
    };
    for (const auto& c : cases) {
        tmp.File(kHeaderTemplateName, std::string("mmsClass=") + c.cls + "\r\nmmsPriority=" + c.priority + "\r\n");
        CompileCustomMessage(tmp.Path(), q, nullptr);
        const auto fields = HeaderFields(ReadFileBytes(tmp.Path() + kCustomOutputName));
        auto value = [&](int code) {
            for (const auto& [f, v] : fields)
                if (f == code) return v;
            return -1;
        };
        EXPECT_EQ(value(0x8A), c.classByte) << c.cls;
        EXPECT_EQ(value(0x8F), c.priorityByte) << c.priority;
        // Nothing swallowed the fields after them.
        ASSERT_FALSE(fields.empty()) << c.cls;
        // Content-Type, start "<m.smil>": value length 8 + 21.
        EXPECT_EQ(fields.back(), std::make_pair(0x84, 0x1D)) << c.cls;
    }
}
