#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "smil_templates.h"
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
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "自定义0001.smil"),
              Utf8ToCp936("<smil>\r\n<head>中</head>\r\n"));
    EXPECT_EQ(Sorted(t.List()),
              (TStringList{"自定义0000.smil", "自定义0001.smil", "自定义0002.smil"}));
}

// Saving a template the user keeps replaces it whole and leaves it what it was: a
// link stays a link and its target gets the text, another hard link shares it, a
// private file stays private, and a pipe under the name is refused at once rather
// than holding the window.
TEST(SmilTemplates, SavingKeepsWhatTheFileIs) {
    enum class TStanding { Link, HardLink, Private, Pipe };
    const struct {
        TStanding Standing;
        const char* Name;
    } cases[] = {{TStanding::Link, "link"},
                 {TStanding::HardLink, "hard link"},
                 {TStanding::Private, "private"},
                 {TStanding::Pipe, "pipe"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder tmp;
        const std::string name = tmp.Path() + "t.smil", other = tmp.Path() + "other.smil";
        const std::string saved = Utf8ToCp936("<smil>\r\n中\r\n");
        tmp.File("other.smil", "old\r\n");
        switch (c.Standing) {
            case TStanding::Link:
                ASSERT_EQ(::symlink("other.smil", name.c_str()), 0);
                break;
            case TStanding::HardLink:
                ASSERT_EQ(::link(other.c_str(), name.c_str()), 0);
                break;
            case TStanding::Private:
                tmp.File("t.smil", "old\r\n");
                ASSERT_EQ(::chmod(name.c_str(), 0600), 0);
                break;
            case TStanding::Pipe:
                ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
                break;
        }
        TSmilTemplates t(tmp.Path());
        if (c.Standing == TStanding::Pipe) {
            // Open at its other end, so that a save that opens it cannot block the test.
            const int reader = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
            EXPECT_THROW(t.Save("t.smil", {"<smil>", "中"}), std::runtime_error);
            ::close(reader);
            continue;
        }
        t.Save("t.smil", {"<smil>", "中"});
        EXPECT_EQ(ReadFileBytes(name), saved);
        struct stat st {};
        ASSERT_EQ(::lstat(name.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), c.Standing == TStanding::Link);
        if (c.Standing == TStanding::Private) {
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        } else {
            EXPECT_EQ(ReadFileBytes(other), saved);
        }
    }
}

// A template its user may write in a folder the user may not write is saved, as a
// plain write would save it, into the file itself.
TEST(SmilTemplates, ATemplateInAFolderThatMayNotBeWrittenIsStillSaved) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
    TempFolder tmp;
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 0755), 0);
    const std::string name = tmp.File("t.smil", "old\r\n");
    ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        try {
            TSmilTemplates(tmp.Path()).Save("t.smil", {"<smil>", "中"});
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(name), Utf8ToCp936("<smil>\r\n中\r\n"));
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
