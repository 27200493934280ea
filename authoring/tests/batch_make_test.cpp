#include "batch_make.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "mms_maker.h"
#include "test_support.h"
#include "text_codec.h"

namespace {

namespace fs = std::filesystem;

class RecordingQuestions : public TQuestions {
public:
    std::vector<std::string> Texts;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon icon,
                TAnswer) override {
        EXPECT_EQ(caption, "提示");
        EXPECT_EQ(buttons, TButtons::Ok);
        EXPECT_EQ(icon, TIcon::Information);
        Texts.push_back(text);
        return TAnswer::Ok;
    }
};

// The addresses of one header field (0x97 To, 0x82 Cc, 0x81 Bcc) of a written file.
std::vector<std::string> Field(const std::string& mms, char field) {
    std::vector<std::string> out;
    const std::string tail = std::string("/TYPE=PLMN") + '\0';
    for (size_t at = mms.find(tail); at != std::string::npos; at = mms.find(tail, at + 1)) {
        size_t b = at;
        while (b > 0 && (std::isdigit(static_cast<unsigned char>(mms[b - 1])) || mms[b - 1] == '+')) --b;
        if (b > 0 && mms[b - 1] == field) out.push_back(mms.substr(b, at - b));
    }
    return out;
}

class MakeTest : public ::testing::Test {
public:
    TempFolder tmp;
    ScriptedRandom rng;
    std::string work = tmp.Path() + "work/";
    std::string out = tmp.Path() + "out/";
    TMmsMaker maker{rng, (fs::create_directory(work), work)};
    TMmsSettings settings;
    RecordingQuestions questions;
    std::vector<std::string> opened;
    TMessageMake make{maker, settings, (fs::create_directory(out), out), questions,
                      [this](const std::string& dir) { opened.push_back(dir); }};
    TMakeInput input;

    void SetUp() override {
        settings.MmsMaxSize = 100;
        make.Now = [] { return QDateTime(QDate(2026, 12, 7), QTime(23, 55, 14)); };
        input.SmilText = "<smil><head><layout/></head></smil>\r\n";
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages[0]->SetMedia(tmp.File("t.txt", "hello"), "", "", "", 5);
    }
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Out(const std::string& name) const { return ReadFileBytes(out + name); }
    void Batch(const char* to, const char* cc, const char* bcc, const std::string& addresses,
               const std::string& subjects = "") {
        input.Batch = true;
        input.ToCount = to;
        input.CcCount = cc;
        input.BccCount = bcc;
        input.AddressSource = addresses;
        input.SubjectSource = subjects;
    }
};

TEST_F(MakeTest, RefusalsWriteNothing) {
    struct Case {
        const char* what;
        std::function<void(MakeTest&)> prepare;
        const char* message;
    } cases[] = {
        {"blank editor", [](MakeTest& t) { t.input.SmilText = " \r\n\t"; }, "请设置好smil文件"},
        {"no pages", [](MakeTest& t) { t.maker.FPages.Clear(); }, "请设置好彩信内容"},
        {"zero counts", [](MakeTest& t) { t.Batch("0", "0", "0", "101"); }, "请输入相关参数"},
        {"negative count", [](MakeTest& t) { t.Batch("-1", "1", "0", "101,102"); }, "请输入相关参数"},
        {"all negative", [](MakeTest& t) { t.Batch("-1", "-1", "-1", "101"); }, "请输入相关参数"},
    };
    for (const auto& c : cases) {
        maker.FPages.Clear();
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        input = TMakeInput{"<smil/>", false, "", "", "", "", ""};
        c.prepare(*this);
        questions.Texts.clear();
        TMakeResult r = make.SBNewmmsClick(input);
        EXPECT_EQ(r.Outcome, TMakeOutcome::Refused) << c.what;
        EXPECT_EQ(questions.Texts, std::vector<std::string>{c.message}) << c.what;
        EXPECT_TRUE(OutFiles().empty()) << c.what;
        EXPECT_TRUE(opened.empty()) << c.what;
    }
}

TEST_F(MakeTest, SingleModeAlwaysWritesNumberOne) {
    maker.FSubject = "hi";
    for (int i = 0; i < 2; ++i) {
        TMakeResult r = make.SBNewmmsClick(input);
        EXPECT_EQ(r.Outcome, TMakeOutcome::Made);
    }
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"0001.mms"});
    EXPECT_EQ(questions.Texts,
              (std::vector<std::string>{"制作完成：0001.mms。", "制作完成：0001.mms。"}));
    EXPECT_EQ(opened, (std::vector<std::string>{out, out}));
    EXPECT_NE(Out("0001.mms").find("hi"), std::string::npos);
}

TEST_F(MakeTest, SizeCheckListsOnlyFilesOverTheLimit) {
    maker.FPages[0]->SetMedia(tmp.File("big.txt", std::string(1500, 'x')), "", "", "", 5);
    settings.MmsMaxSize = 1;  // the file is 1 K: equal is not over
    make.SBNewmmsClick(input);
    EXPECT_TRUE(make.FOversizeList.empty());
    settings.MmsMaxSize = 0;
    make.SBNewmmsClick(input);
    EXPECT_EQ(make.FOversizeList, TStringList{"【0001.mms】 1K"});
    EXPECT_EQ(questions.Texts.back(),
              "制作完成：0001.mms。\r\n\r\n以下文件偏大,如果不适合发送的话，请删除\r\n【0001.mms】 1K\r\n");
}

TEST_F(MakeTest, BatchGroupsAddresses) {
    Batch("2", "1", "0", " 101 102;103,104,105 ");
    TMakeResult r = make.SBNewmmsClick(input);
    EXPECT_EQ(r.Made, 2);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"0001.mms", "0002.mms"}));
    EXPECT_EQ(Field(Out("0001.mms"), '\x97'), (std::vector<std::string>{"101", "102"}));
    EXPECT_EQ(Field(Out("0001.mms"), '\x82'), std::vector<std::string>{"103"});
    EXPECT_EQ(Field(Out("0002.mms"), '\x97'), (std::vector<std::string>{"104", "105"}));
    EXPECT_TRUE(Field(Out("0002.mms"), '\x82').empty());
    EXPECT_EQ(questions.Texts, std::vector<std::string>{"制作完成，共生成 2个彩信文件。"});
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(maker.FTo + maker.FCc + maker.FBcc + maker.FSubject, "");
}

TEST_F(MakeTest, EmptyEntryIsAnAddressAndBadEntriesAreDropped) {
    Batch("1", "0", "0", "101, 102;abc;1-2;+86139");
    make.SBNewmmsClick(input);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"0001.mms", "0002.mms", "0003.mms", "0004.mms"}));
    EXPECT_TRUE(Field(Out("0002.mms"), '\x97').empty()) << "the lone comma holds no address";
    EXPECT_EQ(Field(Out("0004.mms"), '\x97'), std::vector<std::string>{"+86139"});
}

TEST_F(MakeTest, SubjectsInTurnFromARewrittenFile) {
    settings.MmsOutFormat = "随机数字_彩信主题";
    const std::string subjects = tmp.File("s.txt", "\xEF\xBB\xBFone\n  \ntwo");
    const std::string addresses = tmp.File("a.txt", "\xEF\xBB\xBF" "101\n102\n103,\n104\r105\n106");
    Batch("1", "0", "0", addresses, subjects);
    TMakeResult r = make.SBNewmmsClick(input);
    EXPECT_EQ(r.Made, 5);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"0001_one.mms", "0002_two.mms", "0003_one.mms",
                                                    "0004_two.mms", "0005_one.mms"}));
    EXPECT_EQ(ReadFileBytes(addresses), "101\r\n102\r\n103,\r\n104\r\n105\r\n106\r\n");
    EXPECT_EQ(ReadFileBytes(subjects), "one\r\n  \r\ntwo\r\n");
}

TEST_F(MakeTest, SubjectFileInUtf8WithoutAMark) {
    // Read as UTF-8 and rewritten as ANSI, as a file with the mark is.
    settings.MmsOutFormat = "随机数字_彩信主题";
    const std::string subjects = tmp.File("s.txt", "无标记UTF8\n");
    EXPECT_EQ(LoadSubjectSource(subjects), TStringList{"无标记UTF8"});
    EXPECT_EQ(ReadFileBytes(subjects), Utf8ToCp936("无标记UTF8\r\n"));
    WriteFileBytes(subjects, "无标记UTF8\n");
    Batch("1", "0", "0", tmp.File("a.txt", "101\n"), subjects);
    EXPECT_EQ(make.SBNewmmsClick(input).Made, 1);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"0001_无标记UTF8.mms"});
}

TEST_F(MakeTest, ListFileTheAnsiCodePageCannotHoldIsOnlyRead) {
    // Rewriting it as ANSI would turn the emoji into "?" for good.
    const std::string bytes = "\xEF\xBB\xBF\xF0\x9F\x98\x80hi\n";
    const std::string path = tmp.File("s.txt", bytes);
    EXPECT_EQ(LoadSubjectSource(path), TStringList{"\xF0\x9F\x98\x80hi"});
    EXPECT_EQ(ReadFileBytes(path), bytes);
}

TEST_F(MakeTest, TypedSubjectServesEveryFile) {
    settings.MmsOutFormat = "随机数字_彩信主题";
    Batch("1", "0", "0", "1;2", "  问候 ");
    make.SBNewmmsClick(input);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"0001_问候.mms", "0002_问候.mms"}));
}

TEST_F(MakeTest, FailureIsToldInOneBoxKeepingFilesMade) {
    struct Case {
        const char* what;
        std::function<void(MakeTest&)> prepare;
        std::function<std::string(MakeTest&)> text;
        std::vector<std::string> files;  // made before the failure, and kept
    } cases[] = {
        {"count not a number",
         [](MakeTest& t) {
             t.Batch("1", "0", "0", "1;2");
             t.input.ToCount = "x";
         },
         [](MakeTest&) { return std::string("彩信制作失败：接收个数“x”不是有效的整数\r\n已生成 0个彩信文件。"); },
         {}},
        {"material gone",
         [](MakeTest& t) { fs::remove(t.maker.FPages[0]->FSlots[mkText].File); },
         [](MakeTest& t) {
             return "彩信制作失败：无法打开文件 " + t.maker.FPages[0]->FSlots[mkText].File +
                    ": 文件或文件夹不存在";
         },
         {}},
        {"output folder is a file",
         [](MakeTest& t) {
             fs::remove_all(t.out);
             WriteFileBytes(t.tmp.Path() + "out", "a file");
         },
         [](MakeTest& t) { return "彩信制作失败：无法创建文件 " + t.out + "0001.mms: 路径中有一项不是文件夹"; },
         {}},
        // A batch stopped at its third file: the two made stay and are counted.
        {"batch stopped at the third file",
         [](MakeTest& t) {
             t.Batch("1", "0", "0", "1;2;3;4;5");
             fs::create_directory(t.out + "0003.mms");
         },
         [](MakeTest& t) {
             return "彩信制作失败：无法创建文件 " + t.out +
                    "0003.mms: 该名称是一个文件夹\r\n已生成 2个彩信文件。";
         },
         {"0001.mms", "0002.mms", "0003.mms"}},
    };
    // Each case in a fresh program tree.
    struct Fresh : MakeTest {
        void TestBody() override {}
    };
    for (const Case& c : cases) {
        Fresh t;
        t.SetUp();
        c.prepare(t);
        const TMakeResult r = t.make.SBNewmmsClick(t.input);
        EXPECT_EQ(r.Outcome, TMakeOutcome::Failed) << c.what;
        EXPECT_EQ(t.questions.Texts, std::vector<std::string>{c.text(t)}) << c.what;
        EXPECT_TRUE(t.opened.empty()) << c.what;
        if (fs::is_directory(t.out)) {
            EXPECT_EQ(t.OutFiles(), c.files) << c.what;
        }
    }

    TMessageMake refusing(maker, settings, out, questions, {}, [] { return false; });
    EXPECT_EQ(refusing.SBNewmmsClick(input).Outcome, TMakeOutcome::Failed);
    EXPECT_EQ(questions.Texts, std::vector<std::string>{"彩信制作失败：“系统配置”中有数值不是有效的整数"});
    EXPECT_TRUE(OutFiles().empty());
}

// Every name the naming can give is written: a long Chinese subject with the
// number in front fills the 255 bytes a file name may hold.
TEST_F(MakeTest, LongestOutputNamesAreWritten) {
    settings.MmsOutFormat = "随机数字_彩信主题";
    std::string subject;
    for (int i = 0; i < 90; ++i) subject += "问";
    maker.FSubject = subject;
    const std::string first = MakeOutputName(settings.MmsOutFormat, 1, subject, "", "");
    const std::string second = MakeOutputName(settings.MmsOutFormat, 2, subject, "", "");
    ASSERT_GE(first.size(), 250u);
    ASSERT_LE(first.size(), 255u);

    EXPECT_EQ(make.SBNewmmsClick(input).Outcome, TMakeOutcome::Made);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{first});
    EXPECT_EQ(questions.Texts.back(), "制作完成：" + first + "。");

    fs::remove(out + first);
    Batch("1", "0", "0", "101;102", subject);
    const TMakeResult r = make.SBNewmmsClick(input);
    EXPECT_EQ(r.Outcome, TMakeOutcome::Made);
    EXPECT_EQ(r.Made, 2);
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{first, second}));
}

TEST_F(MakeTest, EmptyAddressListMakesNoFileButReports) {
    Batch("1", "0", "0", "abc");
    EXPECT_EQ(make.SBNewmmsClick(input).Outcome, TMakeOutcome::Made);
    EXPECT_EQ(questions.Texts, std::vector<std::string>{"制作完成，共生成 0个彩信文件。"});
    EXPECT_EQ(opened.size(), 1u);
}

TEST(OutputName, Patterns) {
    const std::string date = "2026年12月07日", time = "23时55分14秒";
    struct Case {
        std::string pattern, subject;
        int n;
        std::string name;
    } cases[] = {
        {"随机数字", "x", 1, "0001.mms"},
        {"随机数字", "", 12345, "12345.mms"},
        {"随机数字_彩信主题_日期_时间", "问候", 3, "0003_问候_2026年12月07日_23时55分14秒.mms"},
        {"随机数字_彩信主题", "日期时间随机", 7, "0007_2026年12月07日23时55分14秒7.mms"},
        {"随机_彩信主题", "../../etc/passwd", 2, "2_.._.._etc_passwd.mms"},
        {"a/随机数字", "", 1, "a_0001.mms"},
        {"彩信主题", "a\\b:c*d?e\"f<g>h|i\tj", 1, "a_b_c_d_e_f_g_h_i_j.mms"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeOutputName(c.pattern, c.n, c.subject, date, time), c.name) << c.pattern;
    const std::string longName = MakeOutputName("彩信主题", 1, std::string(200, 'a') + std::string(100, '\xE4'), "", "");
    EXPECT_LE(longName.size(), 255u);
    const std::string cjk = MakeOutputName("彩信主题", 1, [] {
        std::string s;
        for (int i = 0; i < 100; ++i) s += "中";
        return s;
    }(), "", "");
    EXPECT_EQ(cjk.size(), 83u * 3 + 4) << "cut at a character boundary";
}

TEST(FilterPhoneNumbers, KeepsDigitsPlusAndEmpty) {
    TStringList l{"13800138000", "+86", "", "1 2", "12a", "1-2", "139,", "全角１"};
    FilterPhoneNumbers(l);
    EXPECT_EQ(l, (TStringList{"13800138000", "+86", ""}));
}

}  // namespace
