#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <random>
#include <set>

#include "message_editor.h"
#include "mms_maker.h"
#include "mms_reader_parse.h"
#include "raw_mms.h"
#include "shared_procs.h"
#include "test_support.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace {

struct Box {
    std::string Caption, Text;
    TButtons Buttons;
    TIcon Icon;
};

class RecordingQuestions : public TQuestions {
public:
    std::vector<Box> Boxes;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon icon,
                TAnswer) override {
        Boxes.push_back({caption, text, buttons, icon});
        return TAnswer::Ok;
    }
};

// Owns the pages in the maker's list the way the main window does.
class FakeEditor : public TMessageEditor {
public:
    explicit FakeEditor(TMmsMaker& maker) : maker_(maker) {}
    RecordingQuestions Q;
    TMessagePump NoPump;
    std::vector<std::string> SubjectLines;
    int NewMessages = 0;

    void NewMessage() override {
        ++NewMessages;
        maker_.FPages.Clear();
    }
    TPageModel* NewPage() override {
        TPageList& list = maker_.FPages;
        TPageModel* page = list.InsertAfterSelected();
        page->SelectPage();
        for (auto& p : list.Items) p->UpdatePageCaption();
        return page;
    }
    void ShowSubject(const std::string& text) override { SubjectLines.push_back(text); }
    TQuestions& Questions() override { return Q; }
    TMessagePump& Pump() override { return NoPump; }

private:
    TMmsMaker& maker_;
};

struct Part {
    std::string Name;
    std::string Data;
    bool Attachment = false;
};

class ReaderTest : public ::testing::Test {
protected:
    TempFolder root;  // holds the reader's temporary folder and the input files
    TempFolder src;   // the writer's material
    ScriptedRandom rngW, rngR;
    TMmsMaker writer{rngW, src.Path()};
    std::string tempDir = root.Path() + "temp/";
    TMmsMaker reader{rngR, tempDir};
    FakeEditor editor{reader};

    ReaderTest() {
        fs::create_directory(tempDir);
        writer.SetSmilHead("<head></head>");
    }

    TPageModel* AddWriterPage() {
        writer.FPages.Items.push_back(std::make_unique<TPageModel>(&writer.FPages));
        return writer.FPages.Items.back().get();
    }
    // A message of exactly these entries in the writer's format (SMIL parts are
    // packed as they stand), with count entries announced.
    std::string Build(const std::vector<Part>& parts, int count = -1) {
        writer.WriteHeader();
        writer.FOut +=
            TMmsMaker::EncodeUintvar(static_cast<uint32_t>(count < 0 ? parts.size() : count));
        int i = 0;
        for (const auto& p : parts) {
            std::string file =
                src.File("part" + std::to_string(i++) + ExtractFileExt(p.Name), p.Data);
            writer.AddPart(file, p.Name, p.Attachment);
        }
        return writer.FOut;
    }
    void Read(const std::string& bytes) {
        std::string path = root.Path() + "in.mms";
        WriteFileBytes(path, bytes);
        reader.LoadMms(path, editor);
    }
    TPageModel& Page(int i) { return *reader.FPages[i]; }
    std::string SlotFile(int page, TMediaKind k) { return Page(page).Slot(k).File; }
    std::string Temp(const std::string& name) { return tempDir + name; }
};

}  // namespace

TEST(ReaderParse, Uintvar) {
    struct Case {
        std::string bytes;
        int32_t start;
        bool ok;
        uint32_t value;
        int32_t end;
    } cases[] = {
        {B({0x05}), 0, true, 5, 1},
        {B({0x81, 0x00}), 0, true, 128, 2},
        {B({0x00, 0x82, 0x2C}), 1, true, 300, 3},
        {B({0x81, 0x80, 0x00}), 0, true, 16384, 3},
        // Wraps within 32 bits.
        {B({0x9F, 0xFF, 0xFF, 0xFF, 0x7F}), 0, true, 0xFFFFFFFFu, 5},
        // The bytes end first: position kept, value so far.
        {B({0x81, 0x82}), 0, false, 130, 0},
        {B({0x05}), 1, false, 0, 1},
        {"", 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t pos = c.start;
        uint32_t v = 99;
        auto* bytes = reinterpret_cast<const uint8_t*>(c.bytes.data());
        const int32_t len = static_cast<int32_t>(c.bytes.size());
        EXPECT_EQ(TryReadUintvar(bytes, len, pos, v), c.ok);
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(pos, c.end);
        pos = c.start;
        EXPECT_EQ(ReadUintvar(bytes, len, pos), c.value);
    }
}

TEST(ReaderParse, Subject) {
    const std::string nine = "一二三四五六七八九";
    struct Case {
        const char* what;
        std::string bytes;
        std::string subject;
    } cases[] = {
        {"short form", B({0x01, 0x96, 0x05, 0xEA, 0x7F}) + "Hi" + B({0x00, 0x84}), "Hi"},
        {"quoted form", B({0x96, 0x1F, 0x1E, 0xEA, 0x7F}) + nine + B({0x00}), nine},
        {"two-byte length",
         B({0x96, 0x1F, 0x81, 0x00, 0xEA, 0x7F}) + std::string(125, 'a') + B({0x00}),
         std::string(125, 'a')},
        {"length past the end", B({0x96, 0x1F, 0x7F, 0xEA, 0x7F}) + "x" + B({0x00}), ""},
        {"length cut off", B({0x96, 0x1F, 0x81}), ""},
        {"no field", B({0x8C, 0x80, 0x98}) + "0000" + B({0x00}), ""},
        {"a later 96 that fits", B({0x96, 0x40, 0x96, 0x05, 0xEA, 0x7F, 'o', 'k', 0x00}), "ok"},
        // Text that is not UTF-8 (here GBK) ends the search with no subject.
        {"not UTF-8", B({0x96, 0x1F, 0x07, 0xEA, 0x7F, 0xD6, 0xF7, 0xCC, 0xE2, 0x00}), ""},
        {"not UTF-8, then a field that fits",
         B({0x96, 0x1F, 0x04, 0xEA, 0x7F, 0xC0, 0x00, 0x96, 0x05, 0xEA, 0x7F, 'o', 'k', 0x00}), ""},
    };
    for (const auto& c : cases) {
        auto* bytes = reinterpret_cast<const uint8_t*>(c.bytes.data());
        const int32_t len = static_cast<int32_t>(c.bytes.size());
        EXPECT_EQ(ReadSubject(bytes, len, len), c.subject) << c.what;
    }
}

TEST(ReaderParse, PartName) {
    // GBK names may hold the bytes 85 and 8E themselves: only the first such byte
    // starts the name.
    const std::string gbk = Utf8ToCp936("厖亷.txt");
    ASSERT_EQ(gbk.substr(0, 4), B({0x85, 0x85, 0x81, 0x8E}));
    struct Case {
        const char* what;
        std::string headers;
        uint32_t length;
        std::string name;
    } cases[] = {
        {"text entry", B({0x0D, 0x83, 0x81, 0xEA, 0x85}) + gbk + B({0x00, 0x8E}) + gbk + B({0x00}), 0,
         gbk},
        {"Content-Location only", B({0x8E}) + "a.gif" + B({0x00}), 0, "a.gif"},
        {"no mark", B({0x03, 0x9E, 0x00}), 0, ""},
        {"cut by the length", B({0x85}) + "abcdef" + B({0x00}), 4, "abc"},
    };
    for (const auto& c : cases) {
        auto* bytes = reinterpret_cast<const uint8_t*>(c.headers.data());
        const int32_t len = static_cast<int32_t>(c.headers.size());
        EXPECT_EQ(ReadPartName(bytes, len, 0, c.length ? c.length : static_cast<uint32_t>(len)), c.name)
            << c.what;
    }
    // A length past the loaded bytes stops at their end.
    const std::string open = B({0x85}) + "ab";
    EXPECT_EQ(ReadPartName(reinterpret_cast<const uint8_t*>(open.data()), 3, 0, 1000), "ab");
}

TEST(ReaderParse, CleanPartName) {
    struct Case {
        std::string name, clean;
    } cases[] = {
        {"0412.jpg", "0412.jpg"},
        {"图片.gif", "图片.gif"},
        {"my pic.jpg", "my pic.jpg"},
        {"../evil.txt", "evil.txt"},
        {"../../a/b/c.png", "c.png"},
        {"/etc/passwd", "passwd"},
        {"C:\\dir\\x.mp3", "x.mp3"},
        {"C:x.mp3", "C_x.mp3"},
        {"..", "_"},
        {".", "_"},
        {"", "_"},
        {"dir/", "_"},
        {"a|b?c*<d>\".jpg", "a_b_c__d__.jpg"},
        {std::string("tab\tnl\n.txt"), "tab_nl_.txt"},
        {std::string(300, 'x') + ".jpg", std::string(196, 'x') + ".jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanPartName(c.name), c.clean) << c.name;
    // A long name is cut at a character boundary.
    std::string wide = "x";
    for (int i = 0; i < 100; ++i) wide += "图";
    const std::string cut = CleanPartName(wide);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(Cp936ToUtf8(Utf8ToCp936(cut)), cut);
}

TEST_F(ReaderTest, EntryCountAfterTheContentType) {
    for (int count : {1, 127, 128, 300, 500}) {
        std::string msg = Build({}, count);
        int32_t pos = 0, smil = 0;
        auto* bytes = reinterpret_cast<const uint8_t*>(msg.data());
        EXPECT_EQ(FindEntryCount(bytes, static_cast<int32_t>(msg.size()), pos, smil), count);
        EXPECT_EQ(pos, static_cast<int32_t>(msg.size()));
        EXPECT_EQ(msg.substr(static_cast<size_t>(smil), 5), std::string("smil", 5));
    }
}

TEST_F(ReaderTest, TwoPagesWrittenByTheBuilder) {
    const std::string text1 = Utf8ToCp936("第一页\r\n第二行\r\n");
    const std::string text2 = Utf8ToCp936("再见\r\n");
    const std::string jpeg = B({0xFF, 0xD8, 0x00, 0x01, 0xFF, 0xD9});
    const std::string mp3 = B({'I', 'D', '3', 0x00, 0x80});
    const std::string wav = "RIFF....WAVE";
    TPageModel* p1 = AddWriterPage();
    p1->SetMedia(src.File("t1.txt", text1), src.File("p.jpg", jpeg), src.File("a.mp3", mp3), "", 8);
    TPageModel* p2 = AddWriterPage();
    p2->SetMedia(src.File("t2.txt", text2), "", src.File("b.wav", wav), src.File("doc.pdf", "%PDF"),
                 0);
    writer.FSubject = "周末见";
    writer.MakeMms(src.Path() + "out.mms");
    Read(ReadFileBytes(src.Path() + "out.mms"));

    EXPECT_TRUE(editor.Q.Boxes.empty());
    EXPECT_EQ(editor.SubjectLines, std::vector<std::string>{"主题:周末见"});
    ASSERT_EQ(reader.FPages.Count(), 2);
    EXPECT_EQ(Page(0).FPlayTime, 8);
    EXPECT_EQ(Page(1).FPlayTime, 5);
    // Part names given by the builder: picture, text, audio, attachment per page.
    EXPECT_EQ(SlotFile(0, mkPicture), Temp("0001.jpg"));
    EXPECT_EQ(SlotFile(0, mkText), Temp("0002.txt"));
    EXPECT_EQ(SlotFile(0, mkAudio), Temp("0003.mp3"));
    EXPECT_EQ(SlotFile(1, mkText), Temp("0004.txt"));
    EXPECT_EQ(SlotFile(1, mkAudio), Temp("0005.wav"));
    EXPECT_EQ(SlotFile(1, mkPicture), "");
    // The SMIL names no attachment: it goes to the first page.
    EXPECT_EQ(SlotFile(0, mkAttach), Temp("0006.pdf"));
    EXPECT_EQ(SlotFile(1, mkAttach), "");
    EXPECT_EQ(ReadFileBytes(Temp("0002.txt")), text1);
    EXPECT_EQ(ReadFileBytes(Temp("0004.txt")), text2);
    EXPECT_EQ(ReadFileBytes(Temp("0001.jpg")), jpeg);
    EXPECT_EQ(ReadFileBytes(Temp("0003.mp3")), mp3);
    EXPECT_EQ(ReadFileBytes(Temp("0005.wav")), wav);
    EXPECT_EQ(ReadFileBytes(Temp("0006.pdf")), "%PDF");
    EXPECT_TRUE(fs::exists(Temp("0000.smil")));
    EXPECT_EQ(Page(1).FSelected, true);
    EXPECT_TRUE(reader.FAddrList.empty());
}

TEST_F(ReaderTest, TextPartsThatAnsiWouldLoseOrGarbleStayUtf8) {
    // "隆" is C2 A1 in the code page, which would read back as UTF-8 ("¡"); the
    // code page has no emoji.
    const char* texts[] = {"隆\r\n", "😀\r\n", "你好\r\n"};
    for (const char* t : texts) AddWriterPage()->SetMedia(src.File(std::string("t") + t[1] + ".txt", t), "", "", "", 0);
    writer.MakeMms(src.Path() + "out.mms");
    Read(ReadFileBytes(src.Path() + "out.mms"));
    ASSERT_EQ(reader.FPages.Count(), 3);
    EXPECT_EQ(Page(0).FTextCaption, "隆...");
    EXPECT_EQ(TextAsUtf8(ReadFileBytes(SlotFile(1, mkText))), "😀\r\n");
    EXPECT_EQ(Page(2).FTextCaption, "你好...");
    // Where ANSI reads back the same, the program keeps ANSI.
    EXPECT_EQ(ReadFileBytes(SlotFile(2, mkText)), Utf8ToCp936("你好\r\n"));
}

TEST_F(ReaderTest, SubjectLine) {
    std::string longSubject;
    for (int i = 0; i < 50; ++i) longSubject += "长";  // 150 UTF-8 bytes: a two-byte length
    struct Case {
        std::string subject, shown;
    } cases[] = {
        {"", ""},
        {"   ", ""},
        {"Hi", "主题:Hi"},
        {" a ", "主题: a "},
        {"九个汉字的主题测试啊", "主题:九个汉字的主题测试啊"},
        {longSubject, "主题:" + longSubject},
    };
    AddWriterPage()->SetMedia(src.File("t.txt", "x"), "", "", "", 0);
    for (const auto& c : cases) {
        writer.FSubject = c.subject;
        writer.MakeMms(src.Path() + "out.mms");
        editor.SubjectLines.clear();
        Read(ReadFileBytes(src.Path() + "out.mms"));
        EXPECT_EQ(editor.SubjectLines, std::vector<std::string>{c.shown}) << c.subject;
        EXPECT_EQ(reader.FPages.Count(), 1);
    }
}

TEST_F(ReaderTest, SizeLimit) {
    AddWriterPage()->SetMedia(src.File("t.txt", "x"), "", "", "", 0);
    writer.MakeMms(src.Path() + "out.mms");
    std::string msg = ReadFileBytes(src.Path() + "out.mms");
    // Bytes after the last entry are not read.
    Read(msg + std::string(307200 - msg.size(), '\xAB'));
    EXPECT_TRUE(editor.Q.Boxes.empty());
    ASSERT_EQ(reader.FPages.Count(), 1);

    TPageModel* before = reader.FPages[0];
    Read(msg + std::string(307201 - msg.size(), '\xAB'));
    ASSERT_EQ(editor.Q.Boxes.size(), 1u);
    const Box& box = editor.Q.Boxes[0];
    EXPECT_EQ(box.Caption, "提示");
    EXPECT_EQ(box.Text, "彩信文件太大");
    EXPECT_EQ(box.Buttons, TButtons::Ok);
    EXPECT_EQ(box.Icon, TIcon::Information);
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(reader.FPages[0], before);
    EXPECT_EQ(editor.NewMessages, 1);
}

TEST_F(ReaderTest, EntryCountMessage) {
    AddWriterPage()->SetMedia(src.File("t.txt", "x"), "", "", "", 0);
    writer.MakeMms(src.Path() + "out.mms");
    const std::string msg = ReadFileBytes(src.Path() + "out.mms");
    const size_t at = msg.find(std::string("<0000>", 7)) + 7;  // the count follows the Start text
    ASSERT_EQ(msg[at], '\x02');
    Read(msg);
    ASSERT_EQ(reader.FPages.Count(), 1);
    TPageModel* before = reader.FPages[0];

    struct Case {
        std::string count;
        const char* text;
    } cases[] = {
        {B({0x00}), "解析出错:未能找到有效的文件个数 0"},
        {B({0x83, 0x75}), "解析出错:未能找到有效的文件个数 501"},
        {B({0x8F, 0xFF, 0xFF, 0xFF, 0x7F}), "解析出错:未能找到有效的文件个数 -1"},
    };
    for (const auto& c : cases) {
        editor.Q.Boxes.clear();
        Read(msg.substr(0, at) + c.count + msg.substr(at + 1));
        ASSERT_EQ(editor.Q.Boxes.size(), 1u) << c.text;
        EXPECT_EQ(editor.Q.Boxes[0].Text, c.text);
        EXPECT_EQ(editor.Q.Boxes[0].Caption, "提示");
        EXPECT_EQ(editor.Q.Boxes[0].Icon, TIcon::Information);
        ASSERT_EQ(reader.FPages.Count(), 1);
        EXPECT_EQ(reader.FPages[0], before);
    }
    // No "smil" anywhere: no count.
    editor.Q.Boxes.clear();
    Read(std::string(100, '\0'));
    ASSERT_EQ(editor.Q.Boxes.size(), 1u);
    EXPECT_EQ(editor.Q.Boxes[0].Text, "解析出错:未能找到有效的文件个数 0");

    // 500 is a usable count: the two entries there are read.
    editor.Q.Boxes.clear();
    Read(msg.substr(0, at) + B({0x83, 0x74}) + msg.substr(at + 1));
    EXPECT_TRUE(editor.Q.Boxes.empty());
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(SlotFile(0, mkText), Temp("0001.txt"));
}

TEST_F(ReaderTest, Durations) {
    struct Case {
        const char* dur;
        int32_t seconds;
    } cases[] = {
        {"5000ms", 5},
        {"8s", 8},
        {"500ms", 500},
        {"12000MS", 12},
        {"3 s", 3},
        // Not a whole number: the page keeps its duration and reading goes on.
        {"1.5s", 5},
        {"", 5},
    };
    std::string smil = "<smil><body>\r\n";
    for (const auto& c : cases) smil += std::string("<par dur=\"") + c.dur + "\">\r\n</par>\r\n";
    smil += "<par>\r\n</par>\r\n</body></smil>\r\n";
    Read(Build({{"0000.smil", smil}}));
    ASSERT_EQ(reader.FPages.Count(), static_cast<int>(std::size(cases)) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Page(static_cast<int>(i)).FPlayTime, cases[i].seconds) << cases[i].dur;
    EXPECT_EQ(Page(static_cast<int>(std::size(cases))).FPlayTime, 5);
}

TEST_F(ReaderTest, SmilReferences) {
    const std::string smil =
        "<smil><body>\r\n"
        "<par dur=\"4000ms\"><img src=\"cid:0412.jpg\"/><text src=\"a.txt\"/></par>\r\n"
        "<par><img src=\"my pic.jpg\"/><audio src=\"CID:s.mid\"/><text src=\"a.txt\"/>"
        "<img src=\"missing.gif\"/></par>\r\n"
        "<par dur=\"6s\"><audio src=\"s.mid\"/><text src=\"g.txt\"/>\r\n</body></smil>";
    const std::string text = Utf8ToCp936("文本\r\n");
    // A text part that another sender left in GBK (packed raw here): not UTF-8.
    const std::string gbk = Utf8ToCp936("短信内容");
    Read(Build({{"0000.smil", smil},
                {"0412.jpg", "J"},
                {"a.txt", text},
                {"my pic.jpg", "P"},
                {"s.mid", "M"},
                {"g.txt", gbk, true}}));
    ASSERT_EQ(reader.FPages.Count(), 3);
    EXPECT_EQ(SlotFile(0, mkPicture), Temp("0412.jpg"));
    EXPECT_EQ(SlotFile(0, mkText), Temp("a.txt"));
    EXPECT_EQ(SlotFile(1, mkPicture), Temp("my pic.jpg"));
    EXPECT_EQ(SlotFile(1, mkAudio), Temp("s.mid"));
    EXPECT_EQ(SlotFile(1, mkText), Temp("a.txt"));
    // Named twice, converted back once.
    EXPECT_EQ(ReadFileBytes(Temp("a.txt")), text);
    // A text that is not UTF-8 keeps its bytes.
    EXPECT_EQ(ReadFileBytes(Temp("g.txt")), gbk);
    // A reference to no part of the message is not filed.
    EXPECT_FALSE(fs::exists(Temp("missing.gif")));
    // A "par" without "</par>" runs to the end of the document.
    EXPECT_EQ(Page(2).FPlayTime, 6);
    EXPECT_EQ(SlotFile(2, mkAudio), Temp("s.mid"));
    EXPECT_EQ(SlotFile(2, mkText), Temp("g.txt"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(SlotFile(i, mkAttach), "") << i;
}

TEST_F(ReaderTest, LeftoverPartsBecomeAttachments) {
    const std::string smil = "<par><text src=\"t.txt\"/></par>\r\n<par></par>\r\n";
    Read(Build(
        {{"0000.smil", smil}, {"t.txt", "x"}, {"厖亷.zip", "1"}, {"p.bmp", "2"}, {"y.doc", "3"}}));
    ASSERT_EQ(reader.FPages.Count(), 3);
    EXPECT_EQ(SlotFile(0, mkAttach), Temp("厖亷.zip"));
    EXPECT_EQ(SlotFile(1, mkAttach), Temp("p.bmp"));
    // More parts than pages: the rest get pages of their own, nothing is lost.
    EXPECT_EQ(SlotFile(2, mkAttach), Temp("y.doc"));
    EXPECT_TRUE(reader.FAddrList.empty());
}

TEST_F(ReaderTest, LastSmilNamedPartIsTheDocument) {
    const std::string smil = "<par><img src=\"a.jpg\"/></par><par></par>";
    const std::string smiley = "<par dur=\"7s\"><img src=\"a.jpg\"/></par>";
    Read(Build({{"0000.smil", smil}, {"a.jpg", "A"}, {"smiley.gif", smiley}}));
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(Page(0).FPlayTime, 7);
    EXPECT_EQ(SlotFile(0, mkPicture), Temp("a.jpg"));
    EXPECT_EQ(SlotFile(0, mkAttach), "");
}

TEST_F(ReaderTest, MissingFileRaisesAndKeepsThePages) {
    editor.NewPage();
    EXPECT_ANY_THROW(reader.LoadMms(root.Path() + "nothing.mms", editor));
    EXPECT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(editor.NewMessages, 0);
}

TEST_F(ReaderTest, MoreThan127Entries) {
    std::vector<Part> parts;
    std::string smil;
    for (int i = 0; i < 130; ++i) {
        std::string name = std::to_string(1000 + i) + ".gif";
        smil += "<par><img src=\"" + name + "\"/></par>\r\n";
        parts.push_back({name, "G" + std::to_string(i)});
    }
    parts.insert(parts.begin(), Part{"0000.smil", smil});
    Read(Build(parts));
    EXPECT_TRUE(editor.Q.Boxes.empty());
    ASSERT_EQ(reader.FPages.Count(), 130);
    for (int i = 0; i < 130; ++i)
        EXPECT_EQ(SlotFile(i, mkPicture), Temp(std::to_string(1000 + i) + ".gif"));
}

TEST_F(ReaderTest, PartNamesStayInsideTheTemporaryFolder) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"../evil.jpg", "evil.jpg"},   {"../../x/y.gif", "y.gif"},         {"a\\b\\c.png", "c.png"},
        {"/abs/path.mp3", "path.mp3"}, {"bad|name?.jpg", "bad_name_.jpg"}, {"..", "_"},
    };
    // The elements stand on one line, one right after the other.
    std::string smil = "<smil><body>";
    std::vector<Part> parts{{"0000.smil", ""}};
    for (const auto& [raw, clean] : names) {
        smil += "<par><img src=\"" + raw + "\"/></par>";
        parts.push_back({raw, "data of " + clean});
    }
    parts[0].Data = smil + "</body></smil>";
    Read(Build(parts));

    ASSERT_EQ(reader.FPages.Count(), static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& clean = names[i].second;
        EXPECT_EQ(ReadFileBytes(Temp(clean)), "data of " + clean);
        TPageModel& page = Page(static_cast<int>(i));
        std::string filed =
            page.Slot(mkPicture).File + page.Slot(mkAudio).File + page.Slot(mkAttach).File;
        EXPECT_EQ(filed, Temp(clean)) << names[i].first;
    }
    // Nothing beside the temporary folder and the input file.
    std::vector<std::string> top;
    for (const auto& e : fs::directory_iterator(root.Path())) top.push_back(e.path().filename());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"in.mms", "temp"}));
}

// Damaged files end the read with what was read, or with the count message; they
// never raise, and every filled slot names a file in the temporary folder.
class DamagedFiles : public ReaderTest {
protected:
    std::string Good() {
        TPageModel* p1 = AddWriterPage();
        p1->SetMedia(src.File("t1.txt", Utf8ToCp936("第一页\r\n")), src.File("p.jpg", "JPEGJPEG"),
                     src.File("a.mp3", "MP3"), "", 6);
        AddWriterPage()->SetMedia(src.File("t2.txt", "two"), "", "", src.File("z.zip", "ZIP"), 0);
        writer.FSubject = "主题";
        writer.MakeMms(src.Path() + "good.mms");
        return ReadFileBytes(src.Path() + "good.mms");
    }
    void ReadDamaged(const std::string& bytes, const std::string& what) {
        editor.Q.Boxes.clear();
        EXPECT_NO_THROW(Read(bytes)) << what;
        for (auto& page : reader.FPages.Items)
            for (const auto& slot : page->FSlots)
                if (!slot.File.empty()) {
                    EXPECT_EQ(slot.File.rfind(tempDir, 0), 0u) << what;
                    EXPECT_TRUE(fs::exists(slot.File)) << what << " " << slot.File;
                }
        EXPECT_LE(editor.Q.Boxes.size(), 1u) << what;
    }
    // Where each entry's two lengths start, found by walking the good message.
    static std::vector<size_t> EntryStarts(const std::string& msg) {
        auto* b = reinterpret_cast<const uint8_t*>(msg.data());
        int32_t len = static_cast<int32_t>(msg.size()), pos = 0, smil = 0;
        int32_t count = FindEntryCount(b, len, pos, smil);
        std::vector<size_t> starts;
        for (int i = 0; i < count; ++i) {
            starts.push_back(static_cast<size_t>(pos));
            uint32_t h = ReadUintvar(b, len, pos), d = ReadUintvar(b, len, pos);
            pos += static_cast<int32_t>(h + d);
        }
        return starts;
    }
};

TEST_F(DamagedFiles, TruncatedAtEveryLength) {
    const std::string good = Good();
    for (size_t n = 0; n < good.size(); ++n)
        ReadDamaged(good.substr(0, n), "length " + std::to_string(n));
    ReadDamaged(good, "whole");
    EXPECT_EQ(reader.FPages.Count(), 2);
}

TEST_F(DamagedFiles, LengthsThatRunPastTheEnd) {
    const std::string good = Good();
    const std::vector<size_t> starts = EntryStarts(good);
    ASSERT_EQ(starts.size(), 6u);
    for (uint32_t huge : {0x7FFFFFFFu, 0xFFFFFFFFu, 307200u, 1000u}) {
        for (size_t k = 0; k < starts.size(); ++k) {
            auto* b = reinterpret_cast<const uint8_t*>(good.data());
            int32_t len = static_cast<int32_t>(good.size());
            int32_t pos = static_cast<int32_t>(starts[k]);
            ReadUintvar(b, len, pos);
            const size_t afterH = static_cast<size_t>(pos);
            ReadUintvar(b, len, pos);
            const size_t afterD = static_cast<size_t>(pos);
            const std::string h = good.substr(starts[k], afterH - starts[k]);
            const std::string v = TMmsMaker::EncodeUintvar(huge);
            ReadDamaged(good.substr(0, starts[k]) + v + good.substr(afterH),
                        "header length of entry " + std::to_string(k));
            ReadDamaged(good.substr(0, afterH) + v + good.substr(afterD),
                        "data length of entry " + std::to_string(k));
        }
    }
}

TEST_F(DamagedFiles, CountsAndFlippedBytes) {
    const std::string good = Good();
    const size_t at = good.find(std::string("<0000>", 7)) + 7;
    for (int count : {0, 1, 8, 127, 128, 500, 501}) {
        std::string bytes = good.substr(0, at) +
                            TMmsMaker::EncodeUintvar(static_cast<uint32_t>(count)) +
                            good.substr(at + 1);
        ReadDamaged(bytes, "count " + std::to_string(count));
        EXPECT_EQ(editor.Q.Boxes.size(), count == 0 || count == 501 ? 1u : 0u) << count;
    }
    std::mt19937 gen(1234);
    for (int i = 0; i < 1500; ++i) {
        std::string bytes = good;
        int flips = 1 + static_cast<int>(gen() % 4);
        for (int f = 0; f < flips; ++f)
            bytes[gen() % bytes.size()] = static_cast<char>(gen() & 0xFF);
        ReadDamaged(bytes, "flips " + std::to_string(i));
    }
}

namespace {
// A frame that cannot show any picture, as with a damaged picture part.
struct RefusingView : TPageView {
    void PageChanged(TPageModel&) override {}
    void ShowPicture(TPageModel&, const std::string& path) override {
        throw std::runtime_error("cannot load " + path);
    }
};

class RefusingEditor : public FakeEditor {
public:
    using FakeEditor::FakeEditor;
    RefusingView View;
    TPageModel* NewPage() override {
        TPageModel* page = FakeEditor::NewPage();
        page->FView = &View;
        return page;
    }
};
}  // namespace

TEST_F(ReaderTest, APictureThatCannotBeShownDoesNotEndTheRead) {
    for (int i = 0; i < 2; ++i) {
        TPageModel* p = AddWriterPage();
        p->SetMedia(src.File("t" + std::to_string(i) + ".txt", "text"),
                    src.File("p" + std::to_string(i) + ".jpg", "not a picture"), "", "", 0);
    }
    writer.MakeMms(src.Path() + "m.mms");
    RefusingEditor refusing(reader);
    reader.LoadMms(src.Path() + "m.mms", refusing);
    ASSERT_EQ(reader.FPages.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(SlotFile(i, mkPicture).empty()) << i;
        EXPECT_FALSE(SlotFile(i, mkText).empty()) << i;
    }
}

// Messages as other producers write them: header fields in another order, parts
// named only by a Content-ID, SMIL references by "cid:", the other subject forms.
using raw_mms::CidOnly;
using raw_mms::Entry;
using raw_mms::Header;
using raw_mms::kMixed;
using raw_mms::kRelated;
using raw_mms::kSmilType;
using raw_mms::Named;
using raw_mms::TextWithCharset;
using raw_mms::Uv;
using raw_mms::Vl;
using raw_mms::Z;

TEST_F(ReaderTest, EntryCountWhateverTheContentTypeParameters) {
    struct Case {
        const char* what;
        std::string ct;
    } cases[] = {
        {"Start before Type", B({0xB3, 0x8A}) + Z("<s>") + B({0x89}) + kSmilType},
        {"no Start", B({0xB3, 0x89}) + kSmilType},
        {"no parameters", B({0xB3})},
    };
    for (const auto& c : cases) {
        // 150 entries: the count takes two bytes.
        std::string body = Uv(150);
        body += Entry(Vl(kSmilType.size() + 5) + kSmilType + B({0xC0, '"'}) + Z("<s>"),
                      "<smil><body><par dur=\"3s\"><text src=\"a.txt\"/></par>"
                      "<par><img src=\"cid:p1\"/></par></body></smil>");
        body += Entry(Named("text/plain", "a.txt"), "hello");
        body += Entry(CidOnly(0x9E, "p1"), "picture bytes");
        for (int i = 0; i < 147; ++i) {
            char n[16];
            std::snprintf(n, sizeof(n), "f%03d.bin", i);
            body += Entry(Named("application/octet-stream", n), std::string("data ") + n);
        }
        Read(Header("", c.ct) + body);
        // The attachments the two pages cannot hold get pages of their own.
        ASSERT_EQ(reader.FPages.Count(), 147) << c.what;
        EXPECT_EQ(SlotFile(0, mkText), Temp("a.txt")) << c.what;
        EXPECT_EQ(SlotFile(1, mkPicture), Temp("p1.jpg")) << c.what;
        EXPECT_EQ(ReadFileBytes(Temp("p1.jpg")), "picture bytes") << c.what;
        EXPECT_EQ(SlotFile(0, mkAttach), Temp("f000.bin")) << c.what;
        EXPECT_EQ(SlotFile(1, mkAttach), Temp("f001.bin")) << c.what;
        EXPECT_EQ(ReadFileBytes(Temp("f146.bin")), "data f146.bin") << c.what;
        EXPECT_EQ(SlotFile(146, mkAttach), Temp("f146.bin")) << c.what;
    }
    EXPECT_TRUE(editor.Q.Boxes.empty());

    // A count that cannot be trusted keeps the pages, with the count message.
    const int pages = reader.FPages.Count();
    Read(Header("", B({0xB3})) + Uv(0));
    Read(Header("", B({0xB3})) + Uv(501));
    EXPECT_EQ(reader.FPages.Count(), pages);
    ASSERT_EQ(editor.Q.Boxes.size(), 2u);
    EXPECT_EQ(editor.Q.Boxes[0].Text, "解析出错:未能找到有效的文件个数 0");
    EXPECT_EQ(editor.Q.Boxes[1].Text, "解析出错:未能找到有效的文件个数 501");
}

TEST_F(ReaderTest, EveryPartKeepsItsOwnFile) {
    // Names that clean to the same text, an empty name, and two parts named only
    // by their Content-ID.
    const std::vector<std::string> names = {"..", ".", "/", "sub/", "", "a/x", "b/x", "x"};
    std::string body;
    std::vector<std::string> datas;
    int entries = 1;
    for (size_t i = 0; i < names.size(); ++i) {
        datas.push_back("bytes of part " + std::to_string(i));
        body += Entry(Named("application/octet-stream", names[i]), datas.back());
        ++entries;
    }
    datas.push_back("first picture");
    body += Entry(CidOnly(0x9E, "img"), datas.back());
    datas.push_back("second picture");
    body += Entry(CidOnly(0x9E, "img"), datas.back());
    entries += 2;
    const std::string smil = "<smil><body><par><img src=\"cid:img\"/></par><par></par></body></smil>";
    Read(Header("", B({0xB3, 0x89}) + kSmilType) + Uv(entries) +
         Entry(Named("application/smil", "s.smil"), smil) + body);

    std::multiset<std::string> found;
    for (const auto& e : fs::directory_iterator(tempDir)) {
        ASSERT_TRUE(e.is_regular_file()) << e.path();
        found.insert(ReadFileBytes(e.path()));
    }
    for (const auto& d : datas) EXPECT_EQ(found.count(d), 1u) << d;
    EXPECT_EQ(found.size(), datas.size() + 1);  // and the SMIL document
    // The picture the document does not name gets a page after its two; the eight
    // attachments one page each.
    ASSERT_EQ(reader.FPages.Count(), 8);
    EXPECT_EQ(ReadFileBytes(SlotFile(0, mkPicture)), "first picture");
    EXPECT_EQ(ReadFileBytes(SlotFile(2, mkPicture)), "second picture");
    // The leftover parts go one per page: never the same file twice.
    EXPECT_NE(SlotFile(0, mkAttach), SlotFile(1, mkAttach));
}

TEST_F(ReaderTest, ReferencesByContentIdAndByLocation) {
    // "note.txt" is referenced by its Content-ID, a picture by its Content-Location
    // where its Name differs.
    const std::string note = Named("text/plain", "note.txt") + B({0xC0, '"'}) + Z("<note>");
    const std::string pic = Named("image/jpeg", "other.jpg") + B({0x8E}) + Z("pic.jpg");
    const std::string smil =
        "<smil><body><par><text src=\"cid:note\"/><img src=\"pic.jpg\"/></par>"
        "<par><text src=\"cid:<note>\"/></par></body></smil>";
    Read(Header("", B({0xB3})) + Uv(3) + Entry(Named("application/smil", "s.smil"), smil) +
         Entry(note, "words") + Entry(pic, "jpeg"));
    ASSERT_EQ(reader.FPages.Count(), 2);
    EXPECT_EQ(SlotFile(0, mkText), Temp("note.txt"));
    EXPECT_EQ(SlotFile(0, mkPicture), Temp("other.jpg"));
    EXPECT_EQ(SlotFile(1, mkText), Temp("note.txt"));
    EXPECT_EQ(SlotFile(0, mkAttach), "");  // both parts were named by the document
}

TEST_F(ReaderTest, SubjectInEveryEncodedForm) {
    const std::string gbk = Utf8ToCp936("中文");
    struct Case {
        const char* what;
        std::string field;
        std::string shown;
    } cases[] = {
        {"charset, no quote", B({0x96, 0x07, 0xEA}) + Z("Hello"), "主题:Hello"},
        {"plain text", B({0x96}) + Z("Hello"), "主题:Hello"},
        {"quoted text", B({0x96, 0x7F}) + Z("你好"), "主题:你好"},
        {"charset and quote", B({0x96, 0x1F, 0x08, 0xEA, 0x7F}) + Z("Hello"), "主题:Hello"},
        {"GBK charset", B({0x96, static_cast<int>(gbk.size() + 2), 0xF1}) + Z(gbk), "主题:中文"},
        {"Big5 charset", B({0x96, 0x08, 0x02, 0x07, 0xEA, 0xA4, 0xA4, 0xA4, 0xE5, 0x00}),
         "主题:中文"},
        {"UTF-16 with its mark",
         B({0x96, 0x0B, 0x02, 0x03, 0xF7, 0xFF, 0xFE, 0x60, 0x4F, 0x7D, 0x59, 0x00, 0x00}),
         "主题:你好"},
        // A first unit U+7Fxx (美) starts with the quote byte's value itself.
        {"UTF-16 starting with U+7F8E",
         B({0x96, 0x09, 0x02, 0x03, 0xF7, 0x7F, 0x8E, 0x56, 0xFE, 0x00, 0x00}), "主题:美图"},
        {"UTF-16 quoted, starting with U+7F8E",
         B({0x96, 0x0A, 0x02, 0x03, 0xF7, 0x7F, 0x7F, 0x8E, 0x56, 0xFE, 0x00, 0x00}), "主题:美图"},
        {"after other fields",
         B({0x86, 0x80, 0x97}) + Z("+8613900000000/TYPE=PLMN") + B({0x96}) + Z("Hi"), "主题:Hi"},
        {"no subject", B({0x86, 0x80}), ""},
    };
    const std::string body = Uv(1) + Entry(Named("application/smil", "s.smil"), "<smil></smil>");
    for (const auto& c : cases) {
        editor.SubjectLines.clear();
        Read(Header(c.field, B({0xB3})) + body);
        ASSERT_EQ(editor.SubjectLines.size(), 1u) << c.what;
        EXPECT_EQ(editor.SubjectLines[0], c.shown) << c.what;
    }
}

TEST_F(ReaderTest, Utf8TextWithAMarkLosesOnlyTheMark) {
    const std::string smil = "<smil><body><par><text src=\"t.txt\"/></par></body></smil>";
    Read(Header("", B({0xB3})) + Uv(2) + Entry(Named("application/smil", "s.smil"), smil) +
         Entry(Named("text/plain", "t.txt"), "\xEF\xBB\xBF你好"));
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(ReadFileBytes(Temp("t.txt")), Utf8ToCp936("你好") + "\r\n");
}

TEST_F(ReaderTest, LinksInTheTemporaryFolderAreNotWrittenThrough) {
    TempFolder outside;
    const std::string target = outside.File("keep.txt", "outside");
    fs::create_symlink(target, Temp("t.txt"));
    fs::create_symlink(target, Temp("p.jpg"));
    fs::create_symlink(outside.Path() + "new.gif", Temp("d.gif"));
    const std::string smil = "<smil><body><par><text src=\"t.txt\"/></par></body></smil>";
    Read(Header("", B({0xB3})) + Uv(4) + Entry(Named("application/smil", "s.smil"), smil) +
         Entry(Named("text/plain", "t.txt"), "你好") + Entry(Named("image/jpeg", "p.jpg"), "jpeg") +
         Entry(Named("image/gif", "d.gif"), "gif"));
    EXPECT_EQ(ReadFileBytes(target), "outside");
    EXPECT_FALSE(fs::exists(outside.Path() + "new.gif"));
    for (const char* n : {"t.txt", "p.jpg", "d.gif"}) EXPECT_FALSE(fs::is_symlink(Temp(n))) << n;
    EXPECT_EQ(ReadFileBytes(Temp("t.txt")), Utf8ToCp936("你好") + "\r\n");
    EXPECT_EQ(ReadFileBytes(Temp("d.gif")), "gif");
}

TEST_F(ReaderTest, MessagesWithoutSmilOpenAsPages) {
    // What each page holds: text, picture, sound, attachment (part names).
    struct Want {
        std::string text, picture, audio, attach;
    };
    struct Case {
        const char* what;
        std::string contentType;
        std::vector<std::string> entries;
        std::vector<Want> pages;
    } cases[] = {
        {"one text",
         kMixed,
         {Entry(Named("text/plain", "text_0.txt"), "Hello")},
         {{"text_0.txt", "", "", ""}}},
        {"text, picture, second text",
         kMixed,
         {Entry(Named("text/plain", "a.txt"), "one"), Entry(Named("image/jpeg", "p.jpg"), "JPEG"),
          Entry(Named("text/plain", "b.txt"), "two")},
         {{"a.txt", "p.jpg", "", ""}, {"b.txt", "", "", ""}}},
        // A gateway's related body of one text part named by its Content-ID alone.
        {"related, one text/plain part",
         kRelated + B({0x89}) + Z("text/plain"),
         {Entry(CidOnly(0x83, "text"), "Hello")},
         {{"text.txt", "", "", ""}}},
        // Parts that fit no slot (a bitmap among them) go one per page, from the
        // first; a name without an extension takes its type's.
        {"parts that fit no slot",
         kMixed,
         {Entry(Named("image/jpeg", "p.jpg"), "J"), Entry(Named("text/plain", "a.txt"), "t"),
          Entry(Named("application/pdf", "doc.pdf"), "%PDF"),
          Entry(Named("image/bmp", "pic.bmp"), "BM"), Entry(Named("audio/midi", "s.mid"), "MThd"),
          Entry(Named("image/gif", "photo"), "GIF89a")},
         {{"a.txt", "p.jpg", "s.mid", "doc.pdf"}, {"", "photo.gif", "", "pic.bmp"}}},
        // Nothing is left behind: an attachment with no page to go on gets one.
        {"attachments only",
         kMixed,
         {Entry(Named("text/x-vcard", "me.vcf"), "BEGIN:VCARD"),
          Entry(Named("application/zip", "z.zip"), "PK")},
         {{"", "", "", "me.vcf"}, {"", "", "", "z.zip"}}},
    };
    for (const auto& c : cases) {
        editor.Q.Boxes.clear();
        std::string body = Uv(c.entries.size());
        for (const auto& e : c.entries) body += e;
        Read(Header("", c.contentType) + body);
        EXPECT_TRUE(editor.Q.Boxes.empty()) << c.what;
        EXPECT_TRUE(reader.FMessageRead) << c.what;
        ASSERT_EQ(reader.FPages.Count(), static_cast<int>(c.pages.size())) << c.what;
        auto named = [&](const std::string& part) { return part.empty() ? "" : Temp(part); };
        for (size_t i = 0; i < c.pages.size(); ++i) {
            const int n = static_cast<int>(i);
            EXPECT_EQ(SlotFile(n, mkText), named(c.pages[i].text)) << c.what << " page " << i;
            EXPECT_EQ(SlotFile(n, mkPicture), named(c.pages[i].picture)) << c.what << " page " << i;
            EXPECT_EQ(SlotFile(n, mkAudio), named(c.pages[i].audio)) << c.what << " page " << i;
            EXPECT_EQ(SlotFile(n, mkAttach), named(c.pages[i].attach)) << c.what << " page " << i;
        }
        EXPECT_TRUE(reader.FAddrList.empty()) << c.what;
    }
    // The one text is on its page as the sender wrote it.
    Read(Header("", kMixed) + Uv(1) + Entry(Named("text/plain", "text_0.txt"), "Hello"));
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(Page(0).FTextCaption, "Hello...");
    EXPECT_EQ(ReadFileBytes(Temp("text_0.txt")), "Hello\r\n");
}

TEST_F(ReaderTest, TextPartsInTheirDeclaredCharacterSet) {
    const std::string gbk = B({0xC4, 0xE3, 0xBA, 0xC3});  // 你好
    struct Case {
        const char* what;
        std::string headers;  // the part's content type
        std::string data;
        std::string text;  // what the page holds, UTF-8
    } cases[] = {
        {"UTF-8", TextWithCharset(B({0x81, 0xEA}), "t.txt"), "Grüße 你好", "Grüße 你好"},
        {"UTF-8 with its mark", TextWithCharset(B({0x81, 0xEA}), "t.txt"), "\xEF\xBB\xBF你好",
         "你好"},
        {"US-ASCII", TextWithCharset(B({0x81, 0x83}), "t.txt"), "plain", "plain"},
        {"ISO-8859-1", TextWithCharset(B({0x81, 0x84}), "t.txt"), "pr\xE4sentiert \xA9",
         "präsentiert ©"},
        {"ISO-8859-1 named by text", TextWithCharset(Z("charset") + Z("ISO-8859-1"), "t.txt"),
         "\xC7"
         "a va",
         "Ça va"},
        {"GB2312", TextWithCharset(B({0x81, 0x02, 0x07, 0xE9}), "t.txt"), gbk, "你好"},
        {"GBK", TextWithCharset(B({0x81, 0xF1}), "t.txt"),
         B({0xCF, 0xB5, 0xCD, 0xB3, 0xCD, 0xA8, 0xD6, 0xAA}), "系统通知"},
        // Four-byte sequences, which GBK has not.
        {"GB18030", TextWithCharset(B({0x81, 0xF2}), "t.txt"),
         B({0x94, 0x39, 0xFC, 0x36, 0xD6, 0xD0}), "😀中"},
        {"Big5", TextWithCharset(B({0x81, 0x02, 0x07, 0xEA}), "t.txt"), B({0xA4, 0xA4, 0xA4, 0xE5}),
         "中文"},
        {"UTF-16, little-endian mark", TextWithCharset(B({0x81, 0x02, 0x03, 0xF7}), "t.txt"),
         B({0xFF, 0xFE, 0x60, 0x4F, 0x7D, 0x59, 'A', 0x00}), "你好A"},
        {"UTF-16, big-endian mark", TextWithCharset(B({0x81, 0x02, 0x03, 0xF7}), "t.txt"),
         B({0xFE, 0xFF, 0x4F, 0x60, 0x59, 0x7D}), "你好"},
        // Latin-1 bytes that their producer labelled US-ASCII.
        {"Latin-1 under US-ASCII", TextWithCharset(B({0x81, 0x83}), "t.txt"), "pr\xE4sentiert..",
         "präsentiert.."},
        {"UTF-8 under US-ASCII", TextWithCharset(B({0x81, 0x83}), "t.txt"), "präsentiert",
         "präsentiert"},
        // No character set, or one the bytes do not fit: the program's text rule.
        {"undeclared ANSI", Named("text/plain", "t.txt"), Utf8ToCp936("短信内容"), "短信内容"},
        {"undeclared UTF-8", Named("text/plain", "t.txt"), "短信内容", "短信内容"},
        {"GBK under UTF-8", TextWithCharset(B({0x81, 0xEA}), "t.txt"), Utf8ToCp936("短信内容"),
         "短信内容"},
        // The mark goes with the UTF-8 reading: the GBK bytes are stored without it.
        {"GBK with a UTF-8 mark under UTF-8", TextWithCharset(B({0x81, 0xEA}), "t.txt"),
         "\xEF\xBB\xBF" + Utf8ToCp936("短信内容"), "短信内容"},
        {"any character set", TextWithCharset(B({0x81, 0x80}), "t.txt"), "短信内容", "短信内容"},
    };
    const std::string smil = "<smil><body><par><text src=\"t.txt\"/></par></body></smil>";
    for (const auto& c : cases) {
        Read(Header("", kRelated) + Uv(2) + Entry(Named("application/smil", "s.smil"), smil) +
             Entry(c.headers, c.data));
        ASSERT_EQ(reader.FPages.Count(), 1) << c.what;
        ASSERT_EQ(SlotFile(0, mkText), Temp("t.txt")) << c.what;
        std::string onPage = TextAsUtf8(ReadFileBytes(Temp("t.txt")));
        if (onPage.size() >= 2 && onPage.compare(onPage.size() - 2, 2, "\r\n") == 0)
            onPage.resize(onPage.size() - 2);
        EXPECT_EQ(onPage, c.text) << c.what;
    }
}

TEST_F(ReaderTest, AutosaveAboveTheUserLimitIsReadAtStart) {
    // A sound clip makes the message larger than a file a user may open.
    const std::string clip = "RIFF" + std::string(400000, '\x11');
    AddWriterPage()->SetMedia(src.File("t.txt", "words"), "", src.File("a.wav", clip), "", 7);
    const std::string path = root.Path() + "mms.mms";
    writer.MakeMms(path);
    ASSERT_GT(fs::file_size(path), 307200u);

    // Opened or dropped by the user: refused, nothing changed.
    reader.LoadMms(path, editor);
    ASSERT_EQ(editor.Q.Boxes.size(), 1u);
    EXPECT_EQ(editor.Q.Boxes[0].Text, "彩信文件太大");
    EXPECT_EQ(reader.FPages.Count(), 0);

    editor.Q.Boxes.clear();
    ReadAutosave(reader, path, editor.Q, [&] { reader.LoadMms(path, editor); });
    EXPECT_TRUE(editor.Q.Boxes.empty());
    ASSERT_EQ(reader.FPages.Count(), 1);
    EXPECT_EQ(Page(0).FPlayTime, 7);
    EXPECT_EQ(ReadFileBytes(SlotFile(0, mkAudio)), clip);
    EXPECT_EQ(TextAsUtf8(ReadFileBytes(SlotFile(0, mkText))), "words\r\n");
    EXPECT_TRUE(fs::exists(path));
    // The next file the user opens has the user's limit again.
    EXPECT_EQ(reader.FMaxFileSize, kMaxMmsSize);
}

TEST_F(ReaderTest, AnAutosaveThatCannotBeReadIsKeptAside) {
    AddWriterPage()->SetMedia(src.File("t.txt", "words"), "", "", "", 0);
    writer.MakeMms(src.Path() + "good.mms");
    const std::string good = ReadFileBytes(src.Path() + "good.mms");
    const int32_t bound = 1024 * 1024;
    const std::string path = root.Path() + "mms.mms";
    struct Case {
        const char* what;
        std::string bytes;
        bool raises;
        std::string readerBox;  // what the reader says first, if anything
    } cases[] = {
        {"beyond the bound", good + std::string(static_cast<size_t>(bound) + 1 - good.size(), '\0'),
         false, "彩信文件太大（超过 1 MB），未能读取"},
        {"no usable count", Header("", kRelated) + Uv(0), false,
         "解析出错:未能找到有效的文件个数 0"},
        {"the read raises", good, true, ""},
    };
    int kept = 0;
    for (const auto& c : cases) {
        editor.Q.Boxes.clear();
        WriteFileBytes(path, c.bytes);
        ReadAutosave(
            reader, path, editor.Q,
            [&] {
                if (c.raises) throw std::runtime_error("cannot read");
                reader.LoadMms(path, editor);
            },
            bound);
        const std::string aside = root.Path() + "mms_未读取_" + std::to_string(++kept) + ".mms";
        // The work stays on disk whole, where a close that saves cannot reach it.
        EXPECT_FALSE(fs::exists(path)) << c.what;
        EXPECT_EQ(ReadFileBytes(aside), c.bytes) << c.what;
        std::vector<std::string> boxes;
        for (const auto& b : editor.Q.Boxes) boxes.push_back(b.Text);
        std::vector<std::string> want;
        if (!c.readerBox.empty()) want.push_back(c.readerBox);
        want.push_back("未能读取上次自动保存的彩信，已将它保留为：\r\n" + aside);
        EXPECT_EQ(boxes, want) << c.what;
        EXPECT_EQ(reader.FMaxFileSize, kMaxMmsSize) << c.what;
    }
    // An empty autosave holds no work: it stays as it is.
    editor.Q.Boxes.clear();
    WriteFileBytes(path, "");
    ReadAutosave(reader, path, editor.Q, [&] { reader.LoadMms(path, editor); });
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(fs::exists(root.Path() + "mms_未读取_4.mms"));
    // No autosave: nothing is read, nothing said.
    fs::remove(path);
    editor.Q.Boxes.clear();
    bool called = false;
    ReadAutosave(reader, path, editor.Q, [&] { called = true; });
    EXPECT_FALSE(called);
    EXPECT_TRUE(editor.Q.Boxes.empty());
}

// Messages as operators, gateways and phones deliver them, and files that hold no
// message at all. Each row tells what the user sees: the box, the subject line, and
// the pages; where a box tells that nothing is opened, the current message stays
// as it was, its files included.
TEST_F(ReaderTest, MessagesFromOtherSenders) {
    using raw_mms::Pdu;
    struct Want {
        std::string text;     // what the text slot's file reads, UTF-8, without its last CR LF
        std::string picture;  // the picture's bytes
        std::string audio, attach;  // file names
        int32_t seconds = 5;
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::string box;      // the one box shown; empty for none
        std::string subject;  // the subject line shown
        std::vector<Want> pages;
    };
    const std::string smilHead = Named("application/smil", "s.smil");
    auto related = [&](const std::string& smil, const std::vector<std::string>& entries) {
        std::string body = Uv(entries.size() + 1) + Entry(smilHead, smil);
        for (const auto& e : entries) body += e;
        return Header("", kRelated) + body;
    };
    auto mixed = [&](const std::string& fields, const std::vector<std::string>& entries) {
        std::string body = Uv(entries.size());
        for (const auto& e : entries) body += e;
        return Header(fields, kMixed) + body;
    };
    const std::string finnish = "Tämmönen 😈 tää lähtee huomenna.";
    const std::string jpeg =
        B({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0xFF, 0xD9});
    auto encoded = [](const std::string& headers, const char* encoding) {
        return headers + Z("Content-Transfer-Encoding") + Z(encoding);
    };
    const std::string utf8Text = TextWithCharset(B({0x81, 0xEA}), "fi.txt");
    // The sender's subject "И ещё баночку", cut inside its "к" (D0 BA).
    const std::string cutSubject = "И ещё баноч\xD0";
    const std::string txId = B({0x98}) + Z("T7") + B({0x8D, 0x92});
    const std::string date = B({0x85, 0x04, 0x5F, 0x00, 0x00, 0x00});
    std::string manySrc;
    for (int i = 0; i < 1000; ++i) manySrc += "src";
    Case cases[] = {
        // SMIL bodies.
        {"media straight in the body",
         related(
             "<smil><head><layout><region id=\"Image\"/></layout></head><body>"
             "<img src=\"cid:JPG160X120.jpg\" region=\"Image\"/>"
             "<text src=\"cid:t1\" region=\"Text\" dur=\"3000ms\"/></body></smil>",
             {Entry(CidOnly(0x9E, "JPG160X120.jpg"), jpeg), Entry(CidOnly(0x83, "t1"), "Hello")}),
         "",
         "",
         {{"", jpeg, "", "", 5}, {"Hello", "", "", "", 3}}},
        {"a seq of par, and a media element in the seq",
         related("<smil><body><seq><par dur=\"2s\"><img src=\"a.gif\"/><text src=\"a.txt\"/></par>"
                 "<par dur=\"4000ms\"><audio src=\"s.mid\"/></par>"
                 "<text src=\"b.txt\" dur=\"6s\"/></seq></body></smil>",
                 {Entry(Named("image/gif", "a.gif"), "GIF89a"),
                  Entry(Named("text/plain", "a.txt"), "one"),
                  Entry(Named("audio/midi", "s.mid"), "MThd"),
                  Entry(Named("text/plain", "b.txt"), "two")}),
         "",
         "",
         {{"one", "GIF89a", "", "", 2}, {"", "", "s.mid", "", 4}, {"two", "", "", "", 6}}},
        {"loose markup: a comment, media left open",
         related("<smil><body><!-- <par><img src=\"x.gif\"/></par> -->"
                 "<img src=\"p.jpg\"><text src='t.txt'></body></smil>",
                 {Entry(Named("image/jpeg", "p.jpg"), jpeg),
                  Entry(Named("text/plain", "t.txt"), "words")}),
         "",
         "",
         {{"", jpeg, "", "", 5}, {"words", "", "", "", 5}}},
        {"a document that gives no page: the parts in their order",
         related("<smil><head></head><body></body></smil>",
                 {Entry(Named("text/plain", "a.txt"), "Hi"),
                  Entry(Named("image/jpeg", "p.jpg"), jpeg)}),
         "",
         "",
         {{"Hi", jpeg, "", "", 5}}},
        {"a crafted document that gives no page",
         related("<par" + manySrc + "\"", {Entry(Named("text/plain", "a.txt"), "kept")}),
         "",
         "",
         {{"kept", "", "", "", 5}}},
        {"a source written with a character reference, a part known by its location",
         [&] {
             const std::string smil =
                 "<smil><body><par dur=\"3s\"><img src=\"images/pic.jpg\"/>"
                 "<text src=\"a&amp;b.txt\"/></par></body></smil>";
             return Header("", kRelated) + Uv(3) +
                    Entry(Named("application/smil", "start.xml"), smil) +
                    Entry(B({0x9E, 0x8E}) + Z("images/pic.jpg"), jpeg) +
                    Entry(B({0x83, 0x8E}) + Z("a&b.txt"), "amp");
         }(),
         "",
         "",
         {{"amp", jpeg, "", "", 3}}},
        // Two parts of one slot in a "par" (both attachments here, or two texts):
        // the second goes with the parts left over, past the pages whose
        // attachment is placed.
        {"two parts for one slot in a par",
         related("<smil><body><par dur=\"4s\"><video src=\"v.3gp\"/><audio src=\"a.amr\"/>"
                 "<text src=\"t.txt\"/><text src=\"u.txt\"/></par></body></smil>",
                 {Entry(Named("video/3gpp", "v.3gp"), "3gp"),
                  Entry(Named("audio/amr", "a.amr"), "#!AMR"),
                  Entry(Named("text/plain", "t.txt"), "film"),
                  Entry(Named("text/plain", "u.txt"), "more"),
                  Entry(Named("text/x-vcard", "c.vcf"), "BEGIN:VCARD")}),
         "",
         "",
         {{"film", "", "", "v.3gp", 4}, {"more", "", "", "a.amr", 5}, {"", "", "", "c.vcf", 5}}},
        // A body that is not multipart is the message's one part.
        {"a message whose body is one text",
         Header("", B({0x83})) + "Hello world",
         "",
         "",
         {{"Hello world", "", "", "", 5}}},
        {"a message whose body is one named picture",
         Header("", Named("image/jpeg", "p.jpg").substr(1)) + jpeg,
         "",
         "",
         {{"", jpeg, "", "", 5}}},
        // A character set whose number is the Name's byte (iso-8859-2 is 85): the
        // name is the Name parameter's, not what follows that byte.
        {"a text part in iso-8859-2 with its name",
         related("<smil><body><par><img src=\"p.jpg\"/><text src=\"a.txt\"/></par>"
                 "<par><text src=\"b.txt\"/></par></body></smil>",
                 {Entry(Named("image/jpeg", "p.jpg"), jpeg),
                  Entry(TextWithCharset(B({0x81, 0x85}), "a.txt"), "Czesc"),
                  Entry(Named("text/plain", "b.txt"), "two")}),
         "",
         "",
         {{"Czesc", jpeg, "", "", 5}, {"two", "", "", "", 5}}},
        // Transfer-encoded parts.
        {"base64 text and picture",
         mixed("", {Entry(encoded(utf8Text, "base64"),
                          "VMOkbW3Dtm5lbiDwn5iI\r\nIHTDpMOkIGzDpGh0ZWUgaHVvbWVubmEu\r\n"),
                    Entry(encoded(Named("image/jpeg", "p.jpg"), "BASE64"), "/9j/4AAQSkZJRv/Z"),
                    // A body that does not decode is kept as it came.
                    Entry(encoded(Named("text/plain", "b.txt"), "base64"), "not base64!")}),
         "",
         "",
         {{finnish, jpeg, "", "", 5}, {"not base64!", "", "", "", 5}}},
        {"quoted-printable text and picture",
         mixed("",
               {Entry(encoded(utf8Text, "quoted-printable"),
                      "T=C3=A4mm=C3=B6nen =F0=9F=98=88 t=C3=A4=C3=A4 =\r\nl=C3=A4htee huomenna."),
                Entry(encoded(Named("image/jpeg", "p.jpg"), "quoted-printable"),
                      "=FF=D8=FF=E0=00=10JFIF=FF=D9")}),
         "",
         "",
         {{finnish, jpeg, "", "", 5}}},
        // Parts with no name at all.
        {"parts with no name",
         mixed("", {Entry(B({0x83}), "Hello from a gateway"), Entry(B({0x9E}), jpeg),
                    Entry(B({0x83}), "second text")}),
         "",
         "",
         {{"Hello from a gateway", jpeg, "", "", 5}, {"second text", "", "", "", 5}}},
        // A UTF-8 subject and text cut inside their last character.
        {"a cut UTF-8 subject",
         mixed(B({0x96}) + Vl(cutSubject.size() + 3) + B({0xEA, 0x7F}) + Z(cutSubject),
               {Entry(Named("text/plain", "a.txt"), "x")}),
         "",
         "主题:И ещё баноч",
         {{"x", "", "", "", 5}}},
        {"a cut UTF-8 text",
         mixed("", {Entry(utf8Text, "Привет, мир\xD1")}),
         "",
         "",
         {{"Привет, мир", "", "", "", 5}}},
        // Files that hold no message.
        {"a notification",
         Pdu(0x82, txId + B({0x89, 0x01, 0x81}) + B({0x96}) + Z("Hello") + B({0x8A, 0x80}) +
                       B({0x8E, 0x02, 0x10, 0x00}) + B({0x88, 0x05, 0x81, 0x03, 0x01, 0x51, 0x80}) +
                       B({0x83}) + Z("http://mmsc.example/abc")),
         "此文件是彩信通知：彩信本身还在服务器上，文件中没有彩信内容。\r\n主题：Hello\r\n"
         "取回地址：http://mmsc.example/abc",
         "",
         {}},
        {"a delivery report",
         Pdu(0x86, B({0x8D, 0x92, 0x8B}) + Z("id1") + B({0x97}) + Z("+8613800000000/TYPE=PLMN") +
                       date + B({0x95, 0x81})),
         "此文件是彩信的送达报告，其中没有彩信内容。\r\n送达状态：已送达",
         "",
         {}},
        {"a read report (originator)",
         Pdu(0x88, B({0x8D, 0x92, 0x8B}) + Z("id1") + date + B({0x9B, 0x80})),
         "此文件是彩信的阅读报告，其中没有彩信内容。\r\n阅读状态：已阅读",
         "",
         {}},
        {"a read report (recipient)",
         Pdu(0x87, B({0x8D, 0x92, 0x8B}) + Z("id1") + B({0x9B, 0x81})),
         "此文件是彩信的阅读报告，其中没有彩信内容。\r\n阅读状态：未阅读即被删除",
         "",
         {}},
        {"an acknowledgement",
         Pdu(0x85, txId),
         "此文件是彩信的接收确认，其中没有彩信内容。",
         "",
         {}},
        {"a send confirmation",
         Pdu(0x81, txId + B({0x92, 0x80, 0x8B}) + Z("id1")),
         "此文件是彩信的发送确认，其中没有彩信内容。\r\n发送结果：成功",
         "",
         {}},
        {"a notification response",
         Pdu(0x83, txId + B({0x95, 0x81})),
         "此文件是对彩信通知的应答，其中没有彩信内容。",
         "",
         {}},
        {"a retrieve that failed",
         Pdu(0x84, txId + date + B({0x99, 0xE2, 0x9A}) + Z("Message not found") + B({0x84}) +
                       kMixed + Uv(0)),
         "此文件是一次失败的彩信取回，其中没有彩信内容。\r\n状态：服务器上没有这条彩信\r\n"
         "服务器的说明：Message not found",
         "",
         {}},
    };

    // The message open before each row: one page of the program's own.
    AddWriterPage()->SetMedia(src.File("c.txt", "current words"), "", "", "", 9);
    writer.MakeMms(src.Path() + "current.mms");
    const std::string current = ReadFileBytes(src.Path() + "current.mms");
    for (const auto& c : cases) {
        Read(current);
        ASSERT_EQ(reader.FPages.Count(), 1);
        TPageModel* before = reader.FPages[0];
        const std::string currentText = SlotFile(0, mkText);
        const std::string currentBytes = ReadFileBytes(currentText);
        const int newMessages = editor.NewMessages;
        const size_t subjects = editor.SubjectLines.size();
        editor.Q.Boxes.clear();

        Read(c.bytes);
        std::vector<std::string> boxes;
        for (const auto& b : editor.Q.Boxes) {
            boxes.push_back(b.Text);
            EXPECT_EQ(b.Caption, "提示") << c.what;
        }
        EXPECT_EQ(boxes,
                  c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box})
            << c.what;
        if (!c.box.empty()) {
            EXPECT_EQ(editor.NewMessages, newMessages) << c.what;
            EXPECT_EQ(editor.SubjectLines.size(), subjects) << c.what;
            EXPECT_EQ(reader.FPages.Count(), 1) << c.what;
            if (reader.FPages.Count() != 1) continue;
            EXPECT_EQ(reader.FPages[0], before) << c.what;
            EXPECT_EQ(Page(0).FPlayTime, 9) << c.what;
            EXPECT_EQ(SlotFile(0, mkText), currentText) << c.what;
            EXPECT_EQ(ReadFileBytes(currentText), currentBytes) << c.what;
            continue;
        }
        EXPECT_EQ(editor.SubjectLines.size(), subjects + 1) << c.what;
        if (editor.SubjectLines.size() == subjects + 1) {
            EXPECT_EQ(editor.SubjectLines.back(), c.subject) << c.what;
        }
        EXPECT_EQ(reader.FPages.Count(), static_cast<int>(c.pages.size())) << c.what;
        if (reader.FPages.Count() != static_cast<int>(c.pages.size())) continue;
        for (size_t i = 0; i < c.pages.size(); ++i) {
            const int n = static_cast<int>(i);
            const Want& w = c.pages[i];
            std::string text;
            if (!SlotFile(n, mkText).empty()) {
                text = TextAsUtf8(ReadFileBytes(SlotFile(n, mkText)));
                if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
                    text.resize(text.size() - 2);
            }
            EXPECT_EQ(text, w.text) << c.what << " page " << i;
            const std::string picture = SlotFile(n, mkPicture);
            EXPECT_EQ(picture.empty() ? "" : ReadFileBytes(picture), w.picture)
                << c.what << " page " << i;
            EXPECT_EQ(ExtractFileName(SlotFile(n, mkAudio)), w.audio) << c.what << " page " << i;
            EXPECT_EQ(ExtractFileName(SlotFile(n, mkAttach)), w.attach) << c.what << " page " << i;
            EXPECT_EQ(Page(n).FPlayTime, w.seconds) << c.what << " page " << i;
        }
    }
}

namespace {
// Files of at most limit bytes for this process, as on a nearly full disk: a longer
// write fails (EFBIG) instead of raising the signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldSignal_ = signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldSignal_);
    }

private:
    rlimit old_{};
    sighandler_t oldSignal_ = SIG_DFL;
};

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename());
    return names;
}
}  // namespace

TEST_F(ReaderTest, ANewMessageReplacesTheCurrentOneOnlyWhenWhole) {
    // The message on the pages, with the part names the next one uses too.
    const std::string oldText = Utf8ToCp936("旧的文字\r\n");
    const std::string smil =
        "<smil><body><par><text src=\"0001.txt\"/><audio src=\"0003.wav\"/></par></body></smil>";
    Read(Build({{"0000.smil", smil}, {"0001.txt", oldText}}));
    ASSERT_EQ(reader.FPages.Count(), 1);
    TPageModel* current = reader.FPages[0];
    ASSERT_EQ(ReadFileBytes(Temp("0001.txt")), oldText);
    const std::set<std::string> before = Entries(tempDir);

    const std::string newText = Utf8ToCp936("新的文字\r\n");
    const std::string sound = "RIFF" + std::string(6000, 'w');
    const std::string next =
        Build({{"0000.smil", smil}, {"0001.txt", newText}, {"0003.wav", sound}});
    const std::string input = root.Path() + "next.mms";
    WriteFileBytes(input, next);

    struct Case {
        const char* what;
        rlim_t fileLimit;    // 0: none
        bool folderAtSound;  // a folder stands under the sound's part name
        bool opens;
    } cases[] = {
        // The sound cannot be written after the text was: nothing may have changed.
        {"a part that cannot be written", 4096, false, false},
        // The name is taken by a folder: the sound goes in beside it.
        {"a folder under a part's name", 0, true, true},
    };
    for (const auto& c : cases) {
        editor.Q.Boxes.clear();
        if (c.folderAtSound) fs::create_directory(Temp("0003.wav"));
        {
            std::optional<FileSizeLimit> limit;
            if (c.fileLimit) limit.emplace(c.fileLimit);
            EXPECT_NO_THROW(reader.LoadMms(input, editor)) << c.what;
        }
        EXPECT_EQ(reader.FMessageRead, c.opens) << c.what;
        if (!c.opens) {
            ASSERT_EQ(reader.FPages.Count(), 1) << c.what;
            EXPECT_EQ(reader.FPages[0], current) << c.what;
            EXPECT_EQ(SlotFile(0, mkText), Temp("0001.txt")) << c.what;
            EXPECT_EQ(ReadFileBytes(Temp("0001.txt")), oldText) << c.what;
            // Nothing of the new message is left behind.
            EXPECT_EQ(Entries(tempDir), before) << c.what;
            // The user is told why.
            ASSERT_EQ(editor.Q.Boxes.size(), 1u) << c.what;
            EXPECT_EQ(editor.Q.Boxes[0].Text.rfind("彩信未能打开：" + input + "\r\n", 0), 0u)
                << editor.Q.Boxes[0].Text;
            continue;
        }
        EXPECT_TRUE(editor.Q.Boxes.empty()) << c.what;
        ASSERT_EQ(reader.FPages.Count(), 1) << c.what;
        EXPECT_EQ(SlotFile(0, mkText), Temp("0001.txt")) << c.what;
        EXPECT_EQ(ReadFileBytes(Temp("0001.txt")), newText) << c.what;
        EXPECT_EQ(SlotFile(0, mkAudio), Temp("0003_1.wav")) << c.what;
        EXPECT_EQ(ReadFileBytes(SlotFile(0, mkAudio)), sound) << c.what;
        EXPECT_TRUE(fs::is_directory(Temp("0003.wav"))) << c.what;
        // Every part under its own name, nothing under a staging name.
        EXPECT_EQ(Entries(tempDir),
                  (std::set<std::string>{"0000.smil", "0001.txt", "0003.wav", "0003_1.wav"}))
            << c.what;
    }
}

TEST_F(ReaderTest, WhatTheCloseWritesTheNextStartReads) {
    // 500 text pages: 501 parts with the SMIL document.
    for (int i = 0; i < 500; ++i)
        AddWriterPage()->SetMedia(src.File("t" + std::to_string(i) + ".txt", std::to_string(i)), "",
                                  "", "", 0);
    const std::string path = root.Path() + "mms.mms";
    writer.MakeMms(path, kMaxAutosaveSize);
    ReadAutosave(reader, path, editor.Q, [&] { reader.LoadMms(path, editor); });
    EXPECT_TRUE(editor.Q.Boxes.empty());
    ASSERT_EQ(reader.FPages.Count(), 500);
    for (int i : {0, 127, 128, 499})
        EXPECT_EQ(TextAsUtf8(ReadFileBytes(SlotFile(i, mkText))), std::to_string(i) + "\r\n") << i;

    // The same file opened by the user: more entries than a message may have.
    editor.Q.Boxes.clear();
    reader.LoadMms(path, editor);
    ASSERT_EQ(editor.Q.Boxes.size(), 1u);
    EXPECT_EQ(editor.Q.Boxes[0].Text, "解析出错:未能找到有效的文件个数 501");
    EXPECT_EQ(reader.FPages.Count(), 500);

    // Beyond the autosave's bound nothing is written: the last autosave stays.
    const std::string last = ReadFileBytes(path);
    const int32_t bound = 1024 * 1024;
    AddWriterPage()->SetMedia("", "", src.File("a.wav", std::string(bound, 'w')), "", 0);
    try {
        writer.MakeMms(path, bound);
        ADD_FAILURE() << "a message beyond the bound was written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "彩信超过 1 MB，保存后将无法再读取");
    }
    EXPECT_EQ(ReadFileBytes(path), last);
}

TEST_F(ReaderTest, ACutOffLastPartIsKeptAsFarAsItGoes) {
    const std::string zip = "PK0123456789";
    AddWriterPage()->SetMedia(src.File("t.txt", "text"), "", "", src.File("z.zip", zip), 0);
    writer.MakeMms(src.Path() + "m.mms");
    const std::string whole = ReadFileBytes(src.Path() + "m.mms");
    ASSERT_EQ(whole.substr(whole.size() - zip.size()), zip);
    for (size_t kept : {size_t{0}, size_t{1}, zip.size() / 2, zip.size() - 1}) {
        Read(whole.substr(0, whole.size() - zip.size() + kept));
        ASSERT_EQ(reader.FPages.Count(), 1) << kept;
        EXPECT_EQ(TextAsUtf8(ReadFileBytes(SlotFile(0, mkText))), "text\r\n") << kept;
        ASSERT_EQ(SlotFile(0, mkAttach), Temp("0002.zip")) << kept;
        EXPECT_EQ(ReadFileBytes(Temp("0002.zip")), zip.substr(0, kept)) << kept;
    }
}
