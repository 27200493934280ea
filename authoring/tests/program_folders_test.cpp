// The folder tree, the header template, emptying the temporary folder and the
// naming and copying of working copies; what the program opens where a file is
// expected, and what its removals and keeping aside leave of a user's files.
//
// The C library's lstat, rename and renameat2 are this program's own here (each
// passes the call on), so that a test can change the folder between a check and
// the step that follows it, as another program may.
#include "program_folders.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "message_editor.h"
#include "mms_maker.h"
#include "picture_codecs.h"
#include "settings_store.h"
#include "string_list.h"
#include "test_support.h"
#include "working_copy.h"

namespace fs = std::filesystem;

namespace {

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// Runs once, after the next lstat of its path has looked.
struct {
    std::string Path;
    std::function<void()> Then;
} gAfterLstat;

// Runs once, before the next move of a file onto its path.
struct {
    std::string Path;
    std::function<void()> Then;
} gBeforeMoveOnto;

void Fire(auto& hook, const char* path) {
    if (!hook.Then || hook.Path != path) return;
    auto then = std::move(hook.Then);
    hook.Then = nullptr;
    then();
}

}  // namespace

extern "C" int lstat(const char* path, struct stat* st) noexcept {
    static const auto real = Real<int (*)(const char*, struct stat*)>("lstat");
    const int r = real(path, st);
    Fire(gAfterLstat, path);
    return r;
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    Fire(gBeforeMoveOnto, to);
    return real(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) noexcept {
    static const auto real =
        Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    Fire(gBeforeMoveOnto, to);
    return real(fromDir, from, toDir, to, flags);
}

TEST(ProgramFolders, FirstEnsureMakesAllNineFoldersAndReportsTheNewCustomFolder) {
    TempFolder tmp;
    // A program folder that does not exist yet: the parents are made too.
    auto f = TProgramFolders::Form(tmp.Path() + "deep/prog");
    EXPECT_EQ(f.ProgramDir, tmp.Path() + "deep/prog/");
    EXPECT_TRUE(f.Ensure());
    for (const std::string* d : {&f.TempDir, &f.MaterialDir, &f.PictureDir, &f.MusicDir, &f.TextDir,
                                 &f.AttachDir, &f.OutputDir, &f.ConfigDir, &f.CustomDir}) {
        EXPECT_EQ(d->back(), '/');
        EXPECT_TRUE(fs::is_directory(*d)) << *d;
    }
    EXPECT_EQ(f.PictureDir, f.MaterialDir + "图片/");
    EXPECT_EQ(f.CustomDir, f.ProgramDir + "自定义彩信/");
    // Present now: not new again, and nothing else changes.
    EXPECT_FALSE(f.Ensure());
}

TEST(ProgramFolders, ExistingCustomFolderIsNotNew) {
    TempFolder tmp;
    auto f = TProgramFolders::Form(tmp.Path());
    fs::create_directories(f.CustomDir);
    EXPECT_FALSE(f.Ensure());
    EXPECT_TRUE(fs::is_directory(f.TempDir));
}

// The sample template beside the program goes into a configuration folder made
// now, and only then: a folder that is there already, with templates or emptied
// by its user, is left as it is.
TEST(ProgramFolders, TheSampleTemplateGoesIntoANewConfigurationFolderOnly) {
    const std::string sample = "<smil>\r\n<head>\r\n</head>\r\n</smil>\r\n";
    struct TCase {
        const char* Name;
        bool SampleBeside;
        bool ConfigThere;
        std::vector<std::string> Before;  // files in an existing configuration folder
        std::vector<std::string> After;   // the templates in it after Ensure
    } cases[] = {
        {"first start", true, false, {}, {kSampleTemplateName}},
        {"first start without the sample", false, false, {}, {}},
        {"a folder with templates", true, true, {"mms.ini", "mine.smil"}, {"mine.smil"}},
        {"a folder the user emptied", true, true, {"mms.ini"}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder tmp;
        auto f = TProgramFolders::Form(tmp.Path());
        if (c.SampleBeside) tmp.File(kSampleTemplateName, sample);
        if (c.ConfigThere) fs::create_directories(f.ConfigDir);
        for (const std::string& name : c.Before) WriteFileBytes(f.ConfigDir + name, "x");
        f.Ensure();
        std::vector<std::string> templates;
        for (const auto& entry : fs::directory_iterator(f.ConfigDir))
            if (entry.path().extension() == ".smil") templates.push_back(entry.path().filename());
        EXPECT_EQ(templates, c.After);
        if (!c.After.empty() && c.After[0] == kSampleTemplateName) {
            EXPECT_EQ(ReadFileBytes(f.ConfigDir + kSampleTemplateName), sample);
            // Removed by its user, it does not come back at the next start.
            fs::remove(f.ConfigDir + kSampleTemplateName);
            f.Ensure();
            EXPECT_FALSE(fs::exists(f.ConfigDir + kSampleTemplateName));
        }
    }
}

TEST(ClearTempFolder, RemovesNamedFilesOnlyAndNeverReachesOutside) {
    TempFolder tmp;
    TempFolder outside;
    const std::string temp = tmp.Path();
    tmp.File("1234.jpg", "picture");
    tmp.File("0000.smil", "<smil>");
    tmp.File("5678", "no extension");
    fs::create_directory(temp + "sub.d");
    tmp.File("sub.d/inner.txt", "inner");
    std::string target = outside.File("keep.txt", "precious");
    ASSERT_EQ(symlink(target.c_str(), (temp + "link.txt").c_str()), 0);

    ClearTempFolder(temp);

    EXPECT_FALSE(fs::exists(temp + "1234.jpg"));
    EXPECT_FALSE(fs::exists(temp + "0000.smil"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp + "link.txt")));
    EXPECT_TRUE(fs::exists(temp + "5678"));
    EXPECT_TRUE(fs::exists(temp + "sub.d/inner.txt"));
    EXPECT_EQ(ReadFileBytes(target), "precious");
}

TEST(ClearTempFolder, MissingFolderAndMissingFileAreQuiet) {
    TempFolder tmp;
    ClearTempFolder(tmp.Path() + "none/");
    TruncateAndRemove(tmp.Path() + "mms.mms");
    std::string p = tmp.File("mms.mms", "old message");
    TruncateAndRemove(p);
    EXPECT_FALSE(fs::exists(p));
}

struct NameCase {
    const char* name;
    const char* source;
    std::deque<uint32_t> draws;
    std::vector<std::string> present;  // files already in the temporary folder
    const char* expected;
};

// The case's name stands for it in the test's name, which then stays the same from
// run to run.
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class WorkingCopyName : public ::testing::TestWithParam<NameCase> {};

TEST_P(WorkingCopyName, DrawsUntilTheNameIsFree) {
    const NameCase& c = GetParam();
    TempFolder tmp;
    for (const auto& name : c.present) tmp.File(name, "taken");
    ScriptedRandom rng;
    rng.Draws = c.draws;
    EXPECT_EQ(NewWorkingCopyName(tmp.Path(), c.source, rng), tmp.Path() + c.expected);
    for (const auto& name : c.present) EXPECT_EQ(ReadFileBytes(tmp.Path() + name), "taken");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WorkingCopyName,
    ::testing::Values(
        NameCase{"ExtensionLowerCased", "/m/Photo.JPG", {1, 2, 3, 4}, {}, "1234.jpg"},
        NameCase{"NoExtension", "/m.d/readme", {0, 0, 4, 2}, {}, "0042"},
        NameCase{"TakenNameDrawnAgain", "/m/a.txt", {1, 2, 3, 4, 5, 6, 7, 8}, {"1234.txt"}, "5678.txt"},
        // Another extension does not make the name taken.
        NameCase{"OtherExtensionFree", "/m/a.txt", {1, 2, 3, 4}, {"1234.jpg"}, "1234.txt"},
        // Every draw gives a taken name: the free names are searched in order.
        NameCase{"SearchedInOrder", "/m/a.txt", {}, {"0000.txt", "0001.txt"}, "0002.txt"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(WorkingCopyName, NameStillHeldByAPageIsNotReused) {
    TempFolder tmp;
    ScriptedRandom rng;
    rng.Draws = {1, 1, 1, 1, 2, 2, 2, 2};
    auto held = [&](const std::string& p) { return p == tmp.Path() + "1111.png"; };
    EXPECT_EQ(NewWorkingCopyName(tmp.Path(), "x.png", rng, held), tmp.Path() + "2222.png");
}

TEST(CopyTextMaterial, LinesGetCrLfAndTheTextEndsAtItsFirstNul) {
    TempFolder tmp;
    using namespace std::string_literals;
    struct {
        std::string in, out;
    } cases[] = {
        {"a\rb\nc", "a\r\nb\r\nc\r\n"},
        {"one\r\ntwo\r\n", "one\r\ntwo\r\n"},
        {"ab\0cd\n"s, "ab\r\n"},
        // A UTF-16 text with its mark is taken by its characters, in its own form.
        {"\xFF\xFE" "a\0\n\0b\0"s, "\xFF\xFE" "a\0\r\0\n\0b\0\r\0\n\0"s},
        {"\xFE\xFF" "\0a\0\r\0\0\0b"s, "\xFE\xFF" "\0a\0\r\0\n"s},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string src = tmp.File("src.txt", c.in);
        std::string dst = tmp.Path() + "copy.txt";
        CopyTextMaterial(src, dst);
        EXPECT_EQ(ReadFileBytes(dst), c.out);
    }
}

TEST(CopyTextMaterial, UnreadableSourceWritesNothing) {
    TempFolder tmp;
    EXPECT_THROW(CopyTextMaterial(tmp.Path() + "missing.txt", tmp.Path() + "copy.txt"),
                 std::runtime_error);
    EXPECT_FALSE(fs::exists(tmp.Path() + "copy.txt"));
}

TEST(CopyMaterial, NeverReplacesAnExistingFile) {
    TempFolder tmp;
    std::string src = tmp.File("a.png", "new");
    std::string dst = tmp.File("1234.png", "other page's copy");
    EXPECT_THROW(CopyMaterial(src, dst), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(dst), "other page's copy");
    CopyMaterial(src, tmp.Path() + "5678.png");
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "5678.png"), "new");
    EXPECT_THROW(CopyMaterial(tmp.Path() + "missing.png", tmp.Path() + "9999.png"), std::runtime_error);
    EXPECT_FALSE(fs::exists(tmp.Path() + "9999.png"));
}

// A link standing under a copy's name (planted in the temporary folder) is never
// written through: the file it points to outside stays as it was, or absent.
TEST(CopyMaterial, NeverWritesThroughALink) {
    TempFolder tmp;
    TempFolder outside;
    const std::string src = tmp.File("a.txt", "text");
    const std::string target = outside.Path() + "planted.txt";
    const std::string kept = outside.File("kept.png", "precious");
    ASSERT_EQ(symlink(target.c_str(), (tmp.Path() + "1111.txt").c_str()), 0);
    ASSERT_EQ(symlink(kept.c_str(), (tmp.Path() + "2222.png").c_str()), 0);

    CopyTextMaterial(src, tmp.Path() + "1111.txt");
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    EXPECT_FALSE(fs::is_symlink(tmp.Path() + "1111.txt"));
    EXPECT_EQ(ReadFileBytes(tmp.Path() + "1111.txt"), "text\r\n");

    EXPECT_THROW(CopyMaterial(src, tmp.Path() + "2222.png"), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(kept), "precious");
}

namespace {
class RecordingQuestions : public TQuestions {
public:
    std::vector<std::string> Texts;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon,
                TAnswer) override {
        EXPECT_EQ(caption, "提示");
        EXPECT_EQ(buttons, TButtons::Ok);
        Texts.push_back(text);
        return TAnswer::Ok;
    }
};

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}
}  // namespace

TEST(MaterialIntake, WhatCannotBeCopiedInFullIsToldAndLeavesNothing) {
    TempFolder tmp;
    TempFolder src;
    ScriptedRandom rng;
    RecordingQuestions questions;
    TPageList pages;
    TMaterialIntake intake(tmp.Path(), rng, questions, pages);
    const std::string big = src.File("photo.jpg", std::string(20000, 'j'));
    const std::string bigText = src.File("long.txt", std::string(20000, 't'));
    fs::create_directory(src.Path() + "folder.txt");
    struct Case {
        std::string source;
        TMediaKind kind;
        std::string reason;  // what the box says after the file's name
        rlim_t limit;        // 0: none
    } cases[] = {
        {src.Path() + "folder.txt", mkText, "这是一个文件夹，不是素材文件", 0},
        {src.Path() + "gone.png", mkPicture, "文件或文件夹不存在", 0},
        {"/dev/zero", mkAttach, "这不是普通文件", 0},
        // The disk fills up after 4 KB of the copy.
        {big, mkPicture, "无法写入文件 " + tmp.Path() + "0000.jpg: 文件太大", 4096},
        {bigText, mkText, "无法写入文件 " + tmp.Path() + "0000.txt: 文件太大", 4096},
    };
    for (const Case& c : cases) {
        questions.Texts.clear();
        std::string copy;
        {
            std::optional<TFileSizeLimit> limit;
            if (c.limit) limit.emplace(c.limit);
            copy = intake.Take(c.source, c.kind);
        }
        EXPECT_EQ(copy, "") << c.source;
        EXPECT_EQ(questions.Texts, std::vector<std::string>{"素材未能加入：" + c.source + "\r\n" + c.reason});
        EXPECT_TRUE(Entries(tmp.Path()).empty()) << c.source;
    }
    // Without the limit the same picture is copied whole.
    const std::string copy = intake.Take(big, mkPicture);
    EXPECT_EQ(copy, tmp.Path() + "0000.jpg");
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(big));
}


// A source that changes its size while it is copied (another program writing it)
// would go onto the page short or cut: it is refused and told like a failed copy.
TEST(MaterialIntake, ASourceThatChangesSizeDuringTheCopyIsRefused) {
    TempFolder tmp;
    TempFolder src;
    ScriptedRandom rng;
    RecordingQuestions questions;
    TPageList pages;
    TMaterialIntake intake(tmp.Path(), rng, questions, pages);
    struct Case {
        const char* name;
        TMediaKind kind;
        off_t sizeDuringCopy;
    } cases[] = {
        {"shrinks.png", mkPicture, 1000},
        {"shrinks.txt", mkText, 0},
        {"grows.wav", mkAudio, 6000},
    };
    for (const Case& c : cases) {
        const std::string source = src.File(c.name, std::string(5000, 'd'));
        intake.FWhileCopying = [&](const std::string& s) {
            EXPECT_EQ(s, source);
            ASSERT_EQ(::truncate(s.c_str(), c.sizeDuringCopy), 0);
        };
        questions.Texts.clear();
        EXPECT_EQ(intake.Take(source, c.kind), "") << c.name;
        EXPECT_EQ(questions.Texts,
                  std::vector<std::string>{"素材未能加入：" + source + "\r\n文件在复制时大小改变（应为 5000 字节，读到 " +
                                           std::to_string(c.sizeDuringCopy) + " 字节）：" + source});
        EXPECT_TRUE(Entries(tmp.Path()).empty()) << c.name;
    }
    // A source that keeps its size is copied.
    intake.FWhileCopying = nullptr;
    EXPECT_EQ(ReadFileBytes(intake.Take(src.File("still.png", "png"), mkPicture)), "png");
}

namespace {

// The reader asks nothing of the window before it has the file's bytes.
class NoEditor : public TMessageEditor {
public:
    TQuestions& Q;
    TMessagePump Pump_;
    explicit NoEditor(TQuestions& q) : Q(q) {}
    void NewMessage() override {}
    TPageModel* NewPage() override { return nullptr; }
    void ShowSubject(const std::string&) override {}
    TQuestions& Questions() override { return Q; }
    TMessagePump& Pump() override { return Pump_; }
};

// Runs open in a child process; true when it came back. A child still waiting
// after 20 seconds is ended by its own alarm, which counts as never coming back.
bool ComesBack(const std::function<void()>& open) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20);
        try {
            open();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A pipe that no program writes stands where the program expects a file: the
// settings, the autosave at start-up, a picture put there after the chooser
// looked, a material source. Each is refused at once instead of waiting for a
// writer for ever.
TEST(FileSafety, APipeWhereAFileIsExpectedIsRefusedAtOnce) {
    const struct {
        const char* what;
        const char* name;
        std::function<void(const std::string& dir, const std::string& path)> open;
    } cases[] = {
        {"the settings at start-up", "mms.ini",
         [](const std::string& dir, const std::string& path) {
             ScriptedRandom rng;
             TMmsMaker maker(rng, dir);
             TMmsSettings settings;
             TSettingsStore(path, maker, settings).LoadSettings();
         }},
        {"the autosave at start-up", "mms.mms",
         [](const std::string& dir, const std::string& path) {
             ScriptedRandom rng;
             TMmsMaker maker(rng, dir);
             RecordingQuestions q;
             NoEditor editor(q);
             ReadAutosave(maker, path, q, [&] { maker.LoadMms(path, editor); });
         }},
        {"a picture's thumbnail, after the check", "a.png",
         [](const std::string&, const std::string& path) {
             DecodePictureFile(path, 100, 100, nullptr);
         }},
        {"a material source", "a.txt",
         [](const std::string&, const std::string& path) { ReadMaterialBytes(path); }},
        {"a whole file read", "list.txt",
         [](const std::string&, const std::string& path) { ReadFileBytes(path); }},
    };
    for (const auto& c : cases) {
        TempFolder tmp;
        const std::string path = tmp.Path() + c.name;
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        EXPECT_TRUE(ComesBack([&] { c.open(tmp.Path(), path); })) << c.what;
    }
}

// The start, with an autosave "mms.mms" in dir that cannot be read.
void ReadUnreadableAutosave(const std::string& dir, RecordingQuestions& q) {
    ScriptedRandom rng;
    TMmsMaker maker(rng, dir);
    ReadAutosave(maker, dir + "mms.mms", q, [] { throw std::runtime_error("unreadable"); });
}

// Taking a name away or keeping a file aside never costs a user's file its text:
// not a file's other name, not what a link points at, not a file that appears
// under a name meanwhile.
TEST(FileSafety, RemovingAndKeepingAsideLoseNoFile) {
    const struct {
        const char* what;
        // Prepares the folder (the autosave "mms.mms", the temporary folder
        // "temp/", the user's file "user.txt"); act is what the program does.
        std::function<void(const std::string& dir)> fixture;
        std::function<void(const std::string& dir, RecordingQuestions& q)> act;
        // The files that must hold these texts afterwards.
        std::vector<std::pair<std::string, std::string>> kept;
        std::vector<std::string> told;  // the start of each box shown
    } cases[] = {
        {"No at the close: the autosave has another name",
         [](const std::string& d) {
             WriteFileBytes(d + "user.mms", "the user's message");
             fs::create_hard_link(d + "user.mms", d + "mms.mms");
         },
         [](const std::string& d, RecordingQuestions&) { TruncateAndRemove(d + "mms.mms"); },
         {{"user.mms", "the user's message"}},
         {}},
        {"the temporary folder holds a hard link",
         [](const std::string& d) {
             WriteFileBytes(d + "user.txt", "precious");
             fs::create_directory(d + "temp");
             fs::create_hard_link(d + "user.txt", d + "temp/1234.txt");
         },
         [](const std::string& d, RecordingQuestions&) { ClearTempFolder(d + "temp/"); },
         {{"user.txt", "precious"}},
         {}},
        {"a link put under the name after the check",
         [](const std::string& d) {
             WriteFileBytes(d + "user.txt", "precious");
             WriteFileBytes(d + "mms.mms", "autosave");
             gAfterLstat.Path = d + "mms.mms";
             gAfterLstat.Then = [d] {
                 fs::remove(d + "mms.mms");
                 fs::create_symlink(d + "user.txt", d + "mms.mms");
             };
         },
         [](const std::string& d, RecordingQuestions&) { TruncateAndRemove(d + "mms.mms"); },
         {{"user.txt", "precious"}},
         {}},
        {"an unread autosave when 999 are kept aside already",
         [](const std::string& d) {
             WriteFileBytes(d + "mms.mms", "unread work");
             for (int n = 1; n <= 999; ++n)
                 WriteFileBytes(d + "mms_未读取_" + std::to_string(n) + ".mms",
                                "kept " + std::to_string(n));
         },
         ReadUnreadableAutosave,
         {{"mms.mms", "unread work"},
          {"mms_未读取_1.mms", "kept 1"},
          {"mms_未读取_999.mms", "kept 999"}},
         {"未能读取上次自动保存的彩信，也无法将它另存；它留在原处，关闭时不会被覆盖：\r\n"}},
        {"a file appears under the keeping name after the check",
         [](const std::string& d) {
             WriteFileBytes(d + "mms.mms", "unread work");
             gBeforeMoveOnto.Path = d + "mms_未读取_1.mms";
             gBeforeMoveOnto.Then = [d] { WriteFileBytes(d + "mms_未读取_1.mms", "appeared"); };
         },
         ReadUnreadableAutosave,
         {{"mms_未读取_1.mms", "appeared"}, {"mms_未读取_2.mms", "unread work"}},
         {"未能读取上次自动保存的彩信，已将它保留为：\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        const std::string d = tmp.Path();
        c.fixture(d);
        RecordingQuestions q;
        c.act(d, q);
        gAfterLstat.Then = nullptr;
        gBeforeMoveOnto.Then = nullptr;
        for (const auto& [name, text] : c.kept) {
            std::string now = "(missing)";
            try {
                now = ReadFileBytes(d + name);
            } catch (const std::exception&) {
            }
            EXPECT_EQ(now, text) << name;
        }
        EXPECT_EQ(q.Texts.size(), c.told.size());
        for (size_t i = 0; i < std::min(c.told.size(), q.Texts.size()); ++i)
            EXPECT_EQ(q.Texts[i].rfind(c.told[i], 0), 0u) << q.Texts[i];
    }
}
