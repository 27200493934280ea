// Short texts in the code page (GBK) whose bytes are also valid UTF-8, and their
// UTF-8 counterparts, through every reader of text files: the shared loader, the
// page, the text chooser, the subject list, the builder's text part, the settings
// file, the header file of the custom message and the SMIL templates.
#include <gtest/gtest.h>

#include "batch_make.h"
#include "chooser_rules.h"
#include "custom_compiler.h"
#include "mms_maker.h"
#include "page_model.h"
#include "settings_store.h"
#include "shared_procs.h"
#include "smil_templates.h"
#include "test_support.h"
#include "text_codec.h"

namespace {

// Everyday words whose GBK bytes are valid UTF-8 too (通知 is CD A8 D6 AA, which
// UTF-8 would take for a combining mark and a Hebrew accent).
const char* const kEverydayWords[] = {"通知", "系统", "图片", "停止", "状态", "小时", "系统通知"};

struct TextCase {
    std::string what;
    std::string bytes;  // the file
    std::string text;   // what it holds
};

std::vector<TextCase> Cases() {
    std::vector<TextCase> cases;
    for (const char* w : kEverydayWords)
        cases.push_back({std::string(w) + " in GBK", Utf8ToCp936(w), w});
    for (const char* w : {"系统通知", "通知", "café", "Größe", "niño"})
        cases.push_back({std::string(w) + " in UTF-8", w, w});
    return cases;
}

// A text as far as the code page holds it (a preview and a subject pass through it).
std::string AsFarAsAnsiHolds(const std::string& utf8) { return Cp936ToUtf8(Utf8ToCp936(utf8)); }

struct SilentQuestions : TQuestions {
    TAnswer Ask(const std::string&, const std::string&, TButtons, TIcon, TAnswer) override {
        return TAnswer::Ok;
    }
};

}  // namespace

TEST(GbkTexts, EveryTextReaderTakesTheTextItHolds) {
    TempFolder tmp;
    for (const TextCase& c : Cases()) {
        const std::string path = tmp.File("t.txt", c.bytes);
        EXPECT_EQ(LoadTextAsAnsi(path), Utf8ToCp936(c.text)) << c.what;
        // The text chooser's editor preset, and a page's preview.
        EXPECT_EQ(LoadEditorText(path), c.text) << c.what;
        TPageList pages;
        pages.Items.push_back(std::make_unique<TPageModel>(&pages));
        pages.Items.back()->SetMedia(path, "", "", "", 0);
        EXPECT_EQ(pages.Items.back()->FTextCaption, AsFarAsAnsiHolds(c.text) + "...") << c.what;
        // The message carries the text in UTF-8.
        ScriptedRandom rng;
        TMmsMaker maker(rng, tmp.Path());
        maker.AddPart(path, "1.txt", false);
        EXPECT_EQ(maker.FOut.substr(maker.FOut.size() - c.text.size()), c.text) << c.what;
    }
}

TEST(GbkTexts, ListsAndTheChooserKeepTheTextAcrossTheirRewrite) {
    // Both normalise the file in place (ANSI lines ended by CR LF): the text read
    // before and after that rewrite is the one the file held.
    TempFolder tmp;
    for (const TextCase& c : Cases()) {
        const std::string subjects = tmp.File("subjects.txt", c.bytes);
        const std::string clicked = tmp.File("clicked.txt", c.bytes);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(LoadSubjectSource(subjects), TStringList{c.text}) << c.what << round;
            EXPECT_EQ(SplitLines(NormaliseClickedTextFile(clicked).Utf8Text), TStringList{c.text})
                << c.what << round;
        }
    }
}

TEST(GbkTexts, AGbkSettingsFileKeepsItsSubjectAndStaysGbk) {
    TempFolder tmp;
    for (const char* word : kEverydayWords) {
        const std::string path =
            tmp.File("mms.ini", "[mms]\r\nmmsSubject=" + Utf8ToCp936(word) + "\r\n");
        ScriptedRandom rng;
        TMmsMaker maker(rng, tmp.Path());
        TMmsSettings settings;
        TSettingsStore store(path, maker, settings);
        store.LoadSettings();
        EXPECT_EQ(maker.FSubject, word);
        store.SaveSettings();
        const std::string saved = ReadFileBytes(path);
        EXPECT_NE(saved.find("mmsSubject=" + Utf8ToCp936(word) + "\r\n"), std::string::npos)
            << word;
        EXPECT_EQ(TextFormOf(saved), TTextForm::Ansi) << word;
        maker.FSubject.clear();
        store.LoadSettings();
        EXPECT_EQ(maker.FSubject, word);
    }
}

TEST(GbkTexts, TheCustomMessageHeaderFileIsReadByItsForm) {
    TempFolder tmp;
    tmp.File("m.smil", "<smil/>");
    SilentQuestions q;
    for (const TextCase& c : Cases()) {
        tmp.File(kHeaderTemplateName, "mmsSubject=" + c.bytes + "\r\n");
        CompileCustomMessage(tmp.Path(), q, nullptr);
        const std::string mms = ReadFileBytes(tmp.Path() + kCustomOutputName);
        // The subject field: UTF-8 (EA) text.
        EXPECT_NE(mms.find("\xEA\x7F" + AsFarAsAnsiHolds(c.text) + '\0'), std::string::npos)
            << c.what;
    }
}

TEST(GbkTexts, ASmilTemplateIsReadByItsForm) {
    TempFolder tmp;
    TSmilTemplates templates(tmp.Path());
    for (const TextCase& c : Cases()) {
        tmp.File("t.smil", "<head><!-- " + c.bytes + " --></head>\r\n");
        EXPECT_EQ(templates.Load("t.smil"), TStringList{"<head><!-- " + c.text + " --></head>"})
            << c.what;
        // What the program saves reads back the same.
        templates.Save("s.smil", {c.text});
        EXPECT_EQ(templates.Load("s.smil"), TStringList{c.text}) << c.what;
    }
}
