#include "page_model.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "text_codec.h"

namespace {

struct Counter : TMessagePump {
    int Runs = 0;
    void ProcessMessages() override { ++Runs; }
};

TPageModel* AddPage(TPageList& list) {
    list.Items.push_back(std::make_unique<TPageModel>(&list));
    return list.Items.back().get();
}

}  // namespace

TEST(PageModel, NewPageIsEmptyAndWritesOnlyItsPar) {
    TPageList list;
    TPageModel* p = AddPage(list);
    EXPECT_EQ(p->FPlayTime, 5);
    EXPECT_FALSE(p->FSelected);
    EXPECT_EQ(p->MediaCount(), 0);
    ScriptedRandom rng;
    std::string counter = "0411";
    EXPECT_EQ(p->GetSmilPar(counter, 0, rng), (TStringList{"<par dur=\"5000ms\">", "</par>"}));
    EXPECT_EQ(counter, "0411");
}

TEST(PageModel, SetPlayTimeReadsSecondsOrMilliseconds) {
    TPageList list;
    TPageModel* p = AddPage(list);
    struct Case {
        int32_t in, seconds;
        const char* shown;
    } cases[] = {{999, 999, "999秒"}, {1000, 1, "1秒"}, {7500, 7, "7秒"}, {0, 0, "0秒"}, {-3, -3, "-3秒"}};
    for (const auto& c : cases) {
        p->SetPlayTime(c.in);
        EXPECT_EQ(p->FPlayTime, c.seconds) << c.in;
        EXPECT_EQ(p->FPlayTimeText, c.shown) << c.in;
    }
}

TEST(PageModel, NamesPartsInPictureTextAudioAttachmentOrder) {
    TempFolder tmp;
    TPageList list;
    TPageModel* p = AddPage(list);
    p->SetMedia(tmp.File("t.txt", "abc"), tmp.File("x.bmp", "BM"), tmp.File("s.mp3", "ID3"),
                tmp.File("f.doc", "d"), 0);
    EXPECT_EQ(p->MediaCount(), 4);
    ScriptedRandom rng;
    std::string counter = "0411";
    EXPECT_EQ(p->GetSmilPar(counter, 0, rng),
              (TStringList{"<par dur=\"5000ms\">", "<img src=\"0412.jpg\" region=\"image\"/>",
                           "<text src=\"0413.txt\" region=\"text\"/>", "<audio src=\"0414.mp3\"/>",
                           "</par>"}));
    EXPECT_EQ(counter, "0415");
    EXPECT_EQ(p->Slot(mkAttach).PartName, "0415.doc");
    EXPECT_EQ(rng.Reseeds, 1);

    // An upper-case .BMP keeps its extension; the counter goes past four digits.
    p->ClearMedia(mkText);
    p->ClearMedia(mkAudio);
    p->ClearMedia(mkAttach);
    p->SetMedia("", tmp.File("Y.BMP", "BM"), "", "", 0);
    counter = "9999";
    p->GetSmilPar(counter, 0, rng);
    EXPECT_EQ(p->Slot(mkPicture).PartName, "10000.BMP");
}

TEST(PageModel, RandomNamesStillAdvanceTheCounter) {
    TempFolder tmp;
    TPageList list;
    TPageModel* p = AddPage(list);
    p->SetMedia(tmp.File("t.txt", "abc"), tmp.File("p.png", "x"), "", "", 0);
    ScriptedRandom rng;
    rng.Draws = {0, 1, 2, 3, 35, 34, 33, 32};
    std::string counter = "0007";
    p->GetSmilPar(counter, 1, rng);
    EXPECT_EQ(p->Slot(mkPicture).PartName, "abcd.png");
    EXPECT_EQ(p->Slot(mkText).PartName, "9876.txt");
    EXPECT_EQ(counter, "0009");
    std::string bad = "1x";
    EXPECT_THROW(p->GetSmilPar(bad, 0, rng), EConvertError);
}

TEST(PageModel, AddFileByTypeFilesBySlot) {
    TempFolder tmp;
    TPageList list;
    TPageModel* p = AddPage(list);
    p->AddFileByType(tmp.File("a.BMP", "x"), false);
    p->AddFileByType(tmp.File("b.Txt", "x"), false);
    p->AddFileByType(tmp.File("c.MID", "x"), false);
    p->AddFileByType(tmp.File("d.jpeg", "x"), false);
    EXPECT_EQ(p->Slot(mkAttach).File, tmp.Path() + "a.BMP");
    EXPECT_EQ(p->Slot(mkText).File, tmp.Path() + "b.Txt");
    EXPECT_EQ(p->Slot(mkText).Ext, ".Txt");
    EXPECT_EQ(p->Slot(mkAudio).File, tmp.Path() + "c.MID");
    EXPECT_EQ(p->Slot(mkAudio).Ext, ".MID");
    EXPECT_EQ(p->FAudioCaption, "c.MID ...");
    EXPECT_EQ(p->Slot(mkPicture).File, tmp.Path() + "d.jpeg");
    p->AddFileByType(tmp.File("e.txt", "x"), true);
    EXPECT_EQ(p->Slot(mkAttach).File, tmp.Path() + "e.txt");

    p->ClearMedia(mkAudio);
    EXPECT_EQ(p->FAudioCaption, "点此添加声音");
    EXPECT_TRUE(p->Slot(mkAudio).File.empty());
    EXPECT_EQ(p->Slot(mkAudio).Ext, ".MID");
    p->ClearMedia(7);
    EXPECT_EQ(p->MediaCount(), 3);
}

TEST(PageModel, TextPreviewCutsBytes) {
    struct Case {
        std::string text, preview;
    } cases[] = {
        {"abc", "abc..."},
        {std::string(40, 'a').replace(20, 20, std::string(20, 'b')),
         std::string(20, 'a') + "\r\n" + std::string(16, 'b') + "..."},
        {std::string(18, 'q'), std::string(18, 'q') + "..\r\n."},
        {"  line1\r\nline2\n\n", "line1line2..."},
        {Utf8ToCp936("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"),
         Utf8ToCp936("一二三四五六七八九十") + "\r\n" + Utf8ToCp936("甲乙丙丁戊己庚辛") + "..."},
        // Where byte 20 or 36 falls inside a double-byte character, the cut comes
        // before it.
        {Utf8ToCp936("a一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"),
         Utf8ToCp936("a一二三四五六七八九") + "\r\n" + Utf8ToCp936("十甲乙丙丁戊己庚") + "..."},
    };
    for (const auto& c : cases) EXPECT_EQ(TPageModel::TextPreview(c.text), c.preview) << c.text;

    TempFolder tmp;
    TPageList list;
    TPageModel* p = AddPage(list);
    p->SetMedia(tmp.File("t.txt", Utf8ToCp936("你好")), "", "", "", 9);
    EXPECT_EQ(p->FTextCaption, "你好...");
    // UTF-8, by the rule or with its mark, shows as it is.
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        p->SetMedia(tmp.File("u.txt", mark + "无标记UTF8\r\n第二行"), "", "", "", 9);
        EXPECT_EQ(p->FTextCaption, "无标记UTF8第二行...");
    }
    EXPECT_TRUE(p->FTextBold);
    EXPECT_EQ(p->FPlayTime, 9);
    EXPECT_EQ(p->FPlayTimeText, "5 秒");
    // An unreadable text leaves the slot filled and raises.
    EXPECT_THROW(p->SetMedia(tmp.Path() + "gone.txt", "", "", "", 0), std::runtime_error);
    EXPECT_EQ(p->Slot(mkText).File, tmp.Path() + "gone.txt");
}

TEST(PageModel, ALongTextShowsThePreviewOfItsWholeText) {
    // What decides the preview lies past the first few thousand bytes.
    std::string ones;
    for (int i = 0; i < 2000; ++i) ones += "一";
    std::string crlfs;
    for (int i = 0; i < 6000; ++i) crlfs += "\r\n";
    std::string wide = "\xFF\xFE";
    for (int i = 0; i < 3000; ++i) wide += std::string(" \0", 2);
    wide += B({0x60, 0x4F, 0x7D, 0x59});  // 你好
    struct Case {
        const char* what;
        std::string bytes, caption;
    } cases[] = {
        {"blanks inside", "a" + std::string(6000, ' ') + "b",
         "a" + std::string(19, ' ') + "\r\n" + std::string(16, ' ') + "..."},
        {"blanks at the end", std::string(5000, ' ') + "end" + std::string(5000, ' '), "end..."},
        {"line breaks first", crlfs + Utf8ToCp936("正文"), "正文..."},
        {"UTF-16 with its mark", wide, "你好..."},
        {"UTF-8", ones, "一一一一一一一一一一\r\n一一一一一一一一..."},
        {"a zero byte ends the text", "a" + std::string(5000, ' ') + std::string(1, '\0') + "b",
         "a..."},
    };
    TempFolder tmp;
    TPageList list;
    TPageModel* p = AddPage(list);
    for (const auto& c : cases) {
        p->SetMedia(tmp.File("t.txt", c.bytes), "", "", "", 0);
        EXPECT_EQ(p->FTextCaption, c.caption) << c.what;
    }
}

TEST(PageModel, SelectingAPageMakesItTheOnlyCurrentOne) {
    TPageList list;
    Counter pump;
    list.Pump = &pump;
    list.FrameColor = 0xFF0000;
    for (int i = 0; i < 3; ++i) AddPage(list);
    list[0]->SelectPage();
    list[1]->SelectPage();
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_FALSE(list[0]->FSelected);
    EXPECT_FALSE(list[2]->FSelected);
    EXPECT_EQ(list[0]->FColor, clCream);
    EXPECT_EQ(list[1]->FColor, 0xFF0000u);
    EXPECT_EQ(pump.Runs, 2);
    // A page that is lime green already keeps it, whatever the frame colour.
    list[2]->FColor = clLime;
    list[2]->SelectPage();
    EXPECT_EQ(list[2]->FColor, clLime);
    EXPECT_TRUE(list[2]->FSelected);
    EXPECT_EQ(list[1]->FColor, clCream);
    list[1]->UpdatePageCaption();
    EXPECT_EQ(list[1]->FCaption, "第2页");
    TPageModel orphan(&list);
    orphan.UpdatePageCaption();
    EXPECT_EQ(orphan.FCaption, "第0页");
}

TEST(PageModel, NewPagesGoRightAfterTheCurrentOne) {
    TPageList list;
    TPageModel* first = list.InsertAfterSelected();  // empty list: at the end
    TPageModel* second = list.InsertAfterSelected();  // none current: at the end
    first->SelectPage();
    TPageModel* between = list.InsertAfterSelected();
    EXPECT_EQ(list.IndexOf(first), 0);
    EXPECT_EQ(list.IndexOf(between), 1);
    EXPECT_EQ(list.IndexOf(second), 2);
    EXPECT_TRUE(first->FSelected);
    EXPECT_FALSE(between->FSelected);
}
