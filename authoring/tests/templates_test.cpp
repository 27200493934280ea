#include "smil_templates.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"
#include "text_codec.h"

namespace {

// The last folder name of a path ending with "/".
std::string ExtractLast(std::string p) {
    p.pop_back();
    return p.substr(p.find_last_of('/') + 1);
}

TStringList Sorted(TStringList l) {
    std::sort(l.begin(), l.end());
    return l;
}

TEST(SmilTemplates, SaveAsTakesTheFirstFreeNumber) {
    TempFolder tmp;
    tmp.File("自定义0000.smil", "a\r\n");
    tmp.File("自定义0002.smil", "b\r\n");
    tmp.File("notes.txt", "c\r\n");
    TSmilTemplates t(tmp.Path());
    EXPECT_EQ(t.SaveAsCustom({"<smil>", "<head>中</head>"}), "自定义0001.smil");
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "自定义0001.smil"), Utf8ToCp936("<smil>\r\n<head>中</head>\r\n"));
    EXPECT_EQ(Sorted(t.List()),
              (TStringList{"自定义0000.smil", "自定义0001.smil", "自定义0002.smil"}));
}

TEST(SmilTemplates, ChoosesRememberedElseFirst) {
    TempFolder tmp;
    tmp.File("Layout.smil", "<smil/>\r\n");
    TSmilTemplates t(tmp.Path());
    const TStringList names{"other.smil", "Layout.smil", "x.smil"};

    // The remembered name differs from the listed file's in case only.
    auto c = t.Choose(names, "LAYOUT.smil");
    EXPECT_EQ(c.Index, 1);
    EXPECT_EQ(c.Name, "Layout.smil");
    EXPECT_TRUE(c.Load);
    EXPECT_FALSE(c.NameChanged);

    c = t.Choose(names, "gone.smil");
    EXPECT_EQ(c.Index, 0);
    EXPECT_EQ(c.Name, "other.smil");
    EXPECT_TRUE(c.NameChanged) << "the settings are saved with the first name";

    c = t.Choose(names, "../" + ExtractLast(tmp.Path()) + "/Layout.smil");
    EXPECT_EQ(c.Name, "other.smil") << "a name with a folder part is never followed";

    c = t.Choose({}, "gone.smil");
    EXPECT_EQ(c.Index, -1);
    EXPECT_FALSE(c.Load);
    EXPECT_EQ(c.Name, "gone.smil");
}

TEST(SmilTemplates, HelpHasThirtyLines) {
    const std::string help = SmilHelpText();
    EXPECT_EQ(SplitLines(help + "\r\n").size(), 30u);
    EXPECT_EQ(help.rfind("主要修改的地方：\r\n1.<root-layout width=\"×××\"", 0), 0u);
    EXPECT_NE(help.substr(help.size() - 2), "\r\n");
    EXPECT_NE(help.find("\r\n\r\n2.<region id=\"text\""), std::string::npos);
}

}  // namespace
