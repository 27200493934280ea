#include "mms_maker.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shared_procs.h"
#include "test_support.h"
#include "text_codec.h"
#include "working_copy.h"

namespace {

// A string with its closing zero byte, as every text of the format is written.
std::string Z(const std::string& s) { return s + std::string(1, '\0'); }

class MakerTest : public ::testing::Test {
protected:
    TempFolder tmp;
    ScriptedRandom rng;  // every draw 0: Transaction-Id "0000", part counter "0000"
    TMmsMaker maker{rng, tmp.Path()};

    TPageModel* AddPage() {
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        return maker.FPages.Items.back().get();
    }
    std::string Out(const std::string& name = "out.mms") { return ReadFileBytes(tmp.Path() + name); }

    // The fixed header of a message with no optional fields and the default start.
    static std::string PlainHeader() {
        return B({0x8C, 0x80, 0x98}) + Z("0000") + B({0x8D, 0x90, 0x89, 0x01, 0x81}) + HeaderTail();
    }
    static std::string HeaderTail() {
        return B({0x84, 0x1B, 0xB3, 0x89}) + Z("application/smil") + B({0x8A}) + Z("<0000>");
    }
};

}  // namespace

TEST(Uintvar, Encoding) {
    struct Case {
        uint32_t value;
        std::string bytes;
    } cases[] = {
        {0, B({0x00})},          {5, B({0x05})},
        {127, B({0x7F})},        {128, B({0x81, 0x00})},
        {300, B({0x82, 0x2C})},  {16384, B({0x81, 0x80, 0x00})},
        {0xFFFFFFFFu, B({0x8F, 0xFF, 0xFF, 0xFF, 0x7F})},
    };
    for (const auto& c : cases) EXPECT_EQ(TMmsMaker::EncodeUintvar(c.value), c.bytes) << c.value;
    EXPECT_EQ(EncodeValueLength(30), B({0x1E}));
    EXPECT_EQ(EncodeValueLength(31), B({0x1F, 0x1F}));
    EXPECT_EQ(EncodeValueLength(200), B({0x1F, 0x81, 0x48}));
}

TEST_F(MakerTest, OnePageWithTextAndPicture) {
    maker.SetSmilHead("<SMIL><HEAD><layout/></HEAD><body>");
    TPageModel* p = AddPage();
    p->SetMedia(tmp.File("t.txt", "hi"), tmp.File("p.jpg", "JPEGDATA"), "", "", 0);
    EXPECT_EQ(maker.MakeMms(tmp.Path() + "out.mms"), 0);

    const std::string smil =
        "<smil>\r\n<head><layout/></head>\r\n<body>\r\n<par dur=\"5000ms\">\r\n"
        "<img src=\"0001.jpg\" region=\"image\"/>\r\n<text src=\"0002.txt\" region=\"text\"/>\r\n"
        "</par>\r\n</body>\r\n</smil>\r\n";
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "0000.smil"), smil);

    std::string expected = PlainHeader() + B({0x03});
    // SMIL entry: headers of 49 bytes, content-type value length 28.
    expected += B({0x31}) + TMmsMaker::EncodeUintvar(static_cast<uint32_t>(smil.size())) + B({0x1C}) +
                Z("application/smil") + B({0x85}) + Z("0000.smil") + B({0xC0, 0x22}) + Z("<0000>") +
                B({0x8E}) + Z("0000.smil") + smil;
    // Text entry (entries go text first): 24 bytes of headers, value length 13.
    expected += B({0x18, 0x02, 0x0D, 0x83, 0x81, 0xEA, 0x85}) + Z("0002.txt") + B({0x8E}) +
                Z("0002.txt") + "hi";
    // Picture entry: 22 bytes of headers, value length 11.
    expected += B({0x16, 0x08, 0x0B, 0x9E, 0x85}) + Z("0001.jpg") + B({0x8E}) + Z("0001.jpg") + "JPEGDATA";
    EXPECT_EQ(Out(), expected);
}

TEST_F(MakerTest, EveryHeaderField) {
    maker.FTo = "138,139;140|141";
    maker.FCc = "\"a b\" c";
    maker.FBcc = "  ";
    maker.FSubject = "Hi";
    maker.FDeliveryReport = 1;
    maker.FSenderVisibility = 2;
    maker.FReadReply = 1;
    maker.FMessageClass = 2;
    maker.FPriority = 3;
    maker.WriteHeader();
    std::string expected = B({0x8C, 0x80, 0x98}) + Z("0000") + B({0x8D, 0x90, 0x89, 0x01, 0x81});
    for (const char* to : {"138", "139", "140", "141"}) expected += B({0x97}) + Z(std::string(to) + "/TYPE=PLMN");
    expected += B({0x82}) + Z("a b/TYPE=PLMN") + B({0x82}) + Z("c/TYPE=PLMN");
    expected += B({0x96, 0x1F, 0x05, 0xEA, 0x7F}) + Z("Hi");
    expected += B({0x86, 0x80, 0x94, 0x81, 0x90, 0x80, 0x8A, 0x81, 0x8F, 0x82}) + HeaderTail();
    EXPECT_EQ(maker.FOut, expected);

    // The other values of the report fields, and the absent ones, write nothing or "no".
    maker.FTo = maker.FCc = maker.FSubject = "";
    maker.FDeliveryReport = 2;
    maker.FSenderVisibility = 1;
    maker.FReadReply = 3;
    maker.FMessageClass = 0;
    maker.FPriority = 0;
    maker.WriteHeader();
    EXPECT_EQ(maker.FOut, B({0x8C, 0x80, 0x98}) + Z("0000") + B({0x8D, 0x90, 0x89, 0x01, 0x81, 0x86, 0x81, 0x94, 0x80}) +
                              HeaderTail());
}

TEST_F(MakerTest, SubjectLengths) {
    struct Case {
        std::string subject;
        std::string lengthBytes;
    } cases[] = {
        {"主题", B({0x09})},                       // 6 UTF-8 bytes + 3
        {std::string(124, 's'), B({0x7F})},        // 127: still one byte
        {std::string(125, 's'), B({0x81, 0x00})},  // 128: two bytes after the quote
    };
    for (const auto& c : cases) {
        maker.FSubject = c.subject;
        maker.WriteHeader();
        std::string field = B({0x96, 0x1F}) + c.lengthBytes + B({0xEA, 0x7F}) + Z(c.subject);
        EXPECT_NE(maker.FOut.find(field), std::string::npos) << c.subject.size();
    }
}

TEST_F(MakerTest, LongNamesUseTheLengthQuote) {
    maker.FSmilPartName = "abcdefg.smil";  // 12 bytes: value length 31
    maker.WriteHeader();
    EXPECT_EQ(maker.FOut.substr(maker.FOut.size() - 38),
              B({0x84, 0x1F, 0x23, 0xB3, 0x89}) + Z("application/smil") + B({0x8A}) + Z("<abcdefg.smil>"));

    std::string smil = tmp.File("custom.smil", "<smil/>");
    std::string text = tmp.File("abcdefghijklmnopqrstuv.txt", "x");  // 26-byte name
    maker.FOut.clear();
    maker.AddPart(smil, maker.FSmilPartName, false);
    maker.AddPart(text, "abcdefghijklmnopqrstuv.txt", false);
    std::string expectedSmil = B({0x40, 0x07, 0x1F, 0x1F}) + Z("application/smil") + B({0x85}) +
                               Z("abcdefg.smil") + B({0xC0, 0x22}) + Z("<abcdefg.smil>") + B({0x8E}) +
                               Z("abcdefg.smil") + "<smil/>";
    std::string expectedText = B({0x3D, 0x01, 0x1F, 0x1F, 0x83, 0x81, 0xEA, 0x85}) +
                               Z("abcdefghijklmnopqrstuv.txt") + B({0x8E}) +
                               Z("abcdefghijklmnopqrstuv.txt") + "x";
    EXPECT_EQ(maker.FOut, expectedSmil + expectedText);
}

TEST_F(MakerTest, ContentTypeRows) {
    struct Case {
        const char* file;
        bool attachment;
        std::string contentType;  // the value, without Content-Location
        std::string data;
    } cases[] = {
        {"a.gif", false, B({0x08, 0x9D, 0x85}) + Z("a.gif"), "GIF"},
        {"a.PNG", false, B({0x08, 0xA0, 0x85}) + Z("a.PNG"), "GIF"},
        {"a.jpeg", false, B({0x09, 0x9E, 0x85}) + Z("a.jpeg"), "GIF"},
        {"a.html", false, B({0x0B, 0x82, 0x81, 0xEA, 0x85}) + Z("a.html"), "GIF"},
        {"a.mid", false, B({0x12}) + Z("audio/midi") + B({0x85}) + Z("a.mid"), "GIF"},
        {"a.midi", false, B({0x13}) + Z("audio/midi") + B({0x85}) + Z("a.midi"), "GIF"},
        {"a.wav", false, B({0x11}) + Z("audio/wav") + B({0x85}) + Z("a.wav"), "GIF"},
        {"a.zur", false, B({0x11}) + Z("audio/zur") + B({0x85}) + Z("a.zur"), "GIF"},
        {"a.mp3", false, B({0x11}) + Z("audio/mp3") + B({0x85}) + Z("a.mp3"), "GIF"},
        {"a.doc", false, B({0x1F, 0x20}) + Z("application/octet-stream") + B({0x85}) + Z("a.doc"), "GIF"},
        {"a.gif", true, B({0x1F, 0x20}) + Z("application/octet-stream") + B({0x85}) + Z("a.gif"), "GIF"},
        // An attached text is packed as it is, not converted.
        {"a.txt", true, B({0x1F, 0x20}) + Z("application/octet-stream") + B({0x85}) + Z("a.txt"),
         Utf8ToCp936("中")},
    };
    for (const auto& c : cases) {
        std::string path = tmp.File(c.file, c.data);
        maker.FOut.clear();
        maker.AddPart(path, c.file, c.attachment);
        std::string headers = c.contentType + B({0x8E}) + Z(c.file);
        std::string expected = TMmsMaker::EncodeUintvar(static_cast<uint32_t>(headers.size())) +
                               TMmsMaker::EncodeUintvar(static_cast<uint32_t>(c.data.size())) + headers + c.data;
        EXPECT_EQ(maker.FOut, expected) << c.file;
    }
}

TEST_F(MakerTest, TextIsSentAsUtf8UpToItsFirstZero) {
    struct Case {
        std::string bytes, data;
    } cases[] = {
        {Utf8ToCp936("你好") + std::string(1, '\0') + "tail", "你好"},
        {std::string(1, '\0') + "x", ""},
        {"", ""},
        // UTF-8, by the rule or with its mark, goes in as it is, without the mark.
        {"无标记UTF8\r\n", "无标记UTF8\r\n"},
        {"\xEF\xBB\xBF" "有标记" + std::string(1, '\0') + "x", "有标记"},
        // UTF-16 by its mark, up to its first zero character.
        {B({0xFF, 0xFE, 0xFB, 0x7C, 0xDF, 0x7E, 0x0A, 0x00, 0x00, 0x00, 'x', 0x00}), "系统\n"},
        {B({0xFE, 0xFF, 0x7C, 0xFB, 0x7E, 0xDF}), "系统"},
    };
    for (const auto& c : cases) {
        std::string path = tmp.File("t.txt", c.bytes);
        maker.FOut.clear();
        maker.AddPart(path, "1.txt", false);
        std::string headers = B({0x0A, 0x83, 0x81, 0xEA, 0x85}) + Z("1.txt") + B({0x8E}) + Z("1.txt");
        EXPECT_EQ(maker.FOut, B({0x12}) + TMmsMaker::EncodeUintvar(static_cast<uint32_t>(c.data.size())) + headers + c.data);
    }
}

TEST_F(MakerTest, APageTextInUtf8GoesInAsItIs) {
    // A dropped text is copied byte for byte; the message carries it unchanged.
    maker.SetSmilHead("<head></head>");
    AddPage()->SetMedia(tmp.File("t.txt", "无标记UTF8\r\n"), "", "", "", 0);
    maker.MakeMms(tmp.Path() + "out.mms");
    const std::string entry = B({0x18, 0x0F, 0x0D, 0x83, 0x81, 0xEA, 0x85}) + Z("0001.txt") +
                              B({0x8E}) + Z("0001.txt") + "无标记UTF8\r\n";
    EXPECT_EQ(Out().substr(Out().size() - entry.size()), entry);
}

// A UTF-16LE text with its mark (what "文本->Unicode文本" writes) taken onto a page:
// its copy, its preview and the message's text part read it by its mark.
TEST_F(MakerTest, AUtf16TextThroughAPageIntoTheMessage) {
    const std::string source = tmp.File("story.txt", Utf16FileBytes(u"系统通知\n第二行", false, true));
    const std::string copy = tmp.Path() + "1234.txt";
    CopyTextMaterial(source, copy);
    maker.SetSmilHead("<head></head>");
    TPageModel* page = AddPage();
    page->SetMedia(copy, "", "", "", 0);
    EXPECT_EQ(page->FTextCaption, "系统通知第二行...");
    maker.MakeMms(tmp.Path() + "out.mms");
    const std::string entry = B({0x18, 0x19, 0x0D, 0x83, 0x81, 0xEA, 0x85}) + Z("0001.txt") +
                              B({0x8E}) + Z("0001.txt") + "系统通知\r\n第二行\r\n";
    EXPECT_EQ(Out().substr(Out().size() - entry.size()), entry);
}

TEST_F(MakerTest, LargeTextIsPackedWhole) {
    std::string big;
    while (big.size() < 400000) big += Utf8ToCp936("彩信内容 content ");
    std::string path = tmp.File("big.txt", big);
    maker.AddPart(path, "big.txt", false);
    std::string utf8 = Cp936ToUtf8(big);
    EXPECT_EQ(maker.FOut.substr(maker.FOut.size() - utf8.size()), utf8);
}

TEST_F(MakerTest, ZeroBytePartAndManyEntries) {
    for (int i = 0; i < 127; ++i) AddPage()->SetMedia("", "", "", tmp.File("e" + std::to_string(i) + ".bin", ""), 0);
    maker.SetSmilHead("<head></head>");
    maker.MakeMms(tmp.Path() + "out.mms");
    std::string out = Out();
    const std::string head = PlainHeader();
    ASSERT_EQ(out.substr(0, head.size()), head);
    EXPECT_EQ(out.substr(head.size(), 2), B({0x81, 0x00}));  // 128 entries
    // The last entry: an empty attachment named 0127.bin: DataLen 00, no data.
    std::string last = B({0x1F, 0x23}) + Z("application/octet-stream") + B({0x85}) + Z("0127.bin") + B({0x8E}) + Z("0127.bin");
    EXPECT_EQ(out.substr(out.size() - last.size() - 2), B({0x2F, 0x00}) + last);
}

TEST_F(MakerTest, CustomMessagePacksTheSmilUnchanged) {
    std::string smil = tmp.File("x.smil", "<smil>\n</smil>");
    std::string pic = tmp.File("图.gif", "G");
    int32_t k = maker.MakeCustomMms(tmp.Path() + "c.mms", smil, {pic});
    EXPECT_EQ(k, 0);
    std::string out = Out("c.mms");
    std::string name = Utf8ToCp936("图.gif");
    std::string expected = PlainHeader() + B({0x02, 0x31, 0x0E, 0x1C}) + Z("application/smil") + B({0x85}) +
                           Z("0000.smil") + B({0xC0, 0x22}) + Z("<0000>") + B({0x8E}) + Z("0000.smil") +
                           "<smil>\n</smil>" + B({0x12, 0x01, 0x09, 0x9D, 0x85}) + Z(name) + B({0x8E}) + Z(name) + "G";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(maker.PartCounter, "0");
}

TEST_F(MakerTest, SizeIsReportedInWholeK) {
    std::string pad = tmp.File("pad.bin", "");
    maker.MakeCustomMms(tmp.Path() + "k.mms", tmp.File("s.smil", ""), {pad});
    const size_t base = Out("k.mms").size();
    // Past 127 bytes the data length takes a second byte.
    WriteFileBytes(pad, std::string(1999 - base - 1, 'x'));
    EXPECT_EQ(maker.MakeCustomMms(tmp.Path() + "k.mms", tmp.File("s.smil", ""), {pad}), 1);
    EXPECT_EQ(Out("k.mms").size(), 1999u);
    WriteFileBytes(pad, std::string(2000 - base - 1, 'x'));
    EXPECT_EQ(maker.MakeCustomMms(tmp.Path() + "k.mms", tmp.File("s.smil", ""), {pad}), 2);
}

TEST_F(MakerTest, MissingPartEndsTheMakeWithoutOutput) {
    TPageModel* p = AddPage();
    p->SetMedia("", "", "", tmp.File("a.bin", "x"), 0);
    std::filesystem::remove(tmp.Path() + "a.bin");
    EXPECT_THROW(maker.MakeMms(tmp.Path() + "out.mms"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "out.mms"));

    // An earlier message of the same name stays as it was.
    WriteFileBytes(tmp.Path() + "out.mms", "old");
    EXPECT_THROW(maker.MakeMms(tmp.Path() + "out.mms"), std::runtime_error);
    EXPECT_EQ(Out(), "old");

    // With every part readable, an output that cannot be created still raises.
    tmp.File("a.bin", "x");
    EXPECT_THROW(maker.MakeMms(tmp.Path() + "no/such/folder/out.mms"), std::runtime_error);
    EXPECT_EQ(Out(), "old");
}

TEST_F(MakerTest, SmilNameWithFoldersStaysInTheTemporaryFolder) {
    std::filesystem::create_directory(tmp.Path() + "temp");
    TMmsMaker m{rng, tmp.Path() + "temp/"};
    m.FSmilPartName = "../up.smil";
    m.SetSmilHead("<head></head>");
    m.MakeMms(tmp.Path() + "out.mms");
    EXPECT_EQ(m.FSmilPath, tmp.Path() + "temp/up.smil");
    EXPECT_TRUE(std::filesystem::exists(tmp.Path() + "temp/up.smil"));
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "up.smil"));
    // The message itself carries the name as it was given.
    EXPECT_NE(Out().find(B({0x8E}) + Z("../up.smil")), std::string::npos);
}

TEST_F(MakerTest, SmilDocumentNeverWritesThroughALink) {
    std::filesystem::create_directory(tmp.Path() + "temp");
    const std::string target = tmp.File("outside.smil", "keep");
    std::filesystem::create_symlink(target, tmp.Path() + "temp/link.smil");
    TMmsMaker m{rng, tmp.Path() + "temp/"};
    m.FSmilPartName = "link.smil";
    m.SetSmilHead("<head></head>");
    m.MakeMms(tmp.Path() + "out.mms");
    EXPECT_EQ(ReadFileBytes(target), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(tmp.Path() + "temp/link.smil"));
    EXPECT_NE(ReadFileBytes(tmp.Path() + "temp/link.smil").find("<smil>"), std::string::npos);
}

TEST_F(MakerTest, SmilHeadBlock) {
    struct Case {
        const char* text;
        TStringList lines;
    } cases[] = {
        {"<smil><HEAD><Region id=\"Image\"/></Head><body>", {"<head><region id=\"image\"/></head>"}},
        {"<head>\r\n<layout>\r\n</head>", {"<head>", "<layout>", "</head>"}},
        {"abcdefghij", {"abcdef"}},
        {"0123456789<head>x", {""}},
        {"", {""}},
    };
    for (const auto& c : cases) {
        maker.SetSmilHead(c.text);
        EXPECT_EQ(maker.FSmilHead, c.lines) << c.text;
    }
}

TEST(AddressItems, Splitting) {
    EXPECT_EQ(SplitAddressItems("138,139;140|141"), (TStringList{"138", "139", "140", "141"}));
    EXPECT_EQ(SplitAddressItems(""), TStringList{});
    EXPECT_EQ(SplitAddressItems("\"a \"\"b\"\" c\"  d\te"), (TStringList{"a \"b\" c", "d", "e"}));
    EXPECT_EQ(SplitAddressItems("\"\" x"), (TStringList{"x"}));
    // A zero byte ends the text, so that no field carries one inside.
    EXPECT_EQ(SplitAddressItems(std::string("138 13") + '\0' + "9 140"), (TStringList{"138", "13"}));
}
