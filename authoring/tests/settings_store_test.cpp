#include "settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <vector>

#include "ini_profile.h"
#include "mms_maker.h"
#include "test_support.h"
#include "text_codec.h"

namespace {

TEST(IniProfile, WritesByTheProfileRules) {
    struct Case {
        const char* what;
        std::string before, key, value, after;
    } cases[] = {
        {"no file yet", "", "A", "1", "[mms]\r\nA=1\r\n"},
        {"section missing, last line unended", "[other]\nx=1", "A", "1",
         "[other]\nx=1\r\n[mms]\r\nA=1\r\n"},
        {"key replaced in place, case ignored, other lines and breaks kept",
         "; note\n[MMS]\nfoo = bar\nmmsto=old\n\n[z]\nmmsTo=other\n", "mmsTo", "new",
         "; note\n[MMS]\nfoo = bar\nmmsto=new\n\n[z]\nmmsTo=other\n"},
        {"new key after the section's last line, before blank lines",
         "[mms]\r\nA=1\r\n\r\n[z]\r\nB=2\r\n", "B", "3",
         "[mms]\r\nA=1\r\nB=3\r\n\r\n[z]\r\nB=2\r\n"},
        {"new key into an unended last line", "[mms]\r\nA=1", "B", "2", "[mms]\r\nA=1\r\nB=2\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TIniProfile::SetValue(c.before, "mms", c.key, c.value), c.after) << c.what;
}

TEST(IniProfile, ReadsWithoutCaseAndCutsLongValues) {
    TempFolder tmp;
    const std::string longValue(3000, 'x');
    std::string path = tmp.File("a.ini", "[other]\nKey=no\n[Mms]\n  KEY  =  yes  \nlong=" + longValue +
                                             "\nwide=" + std::string(2046, 'y') + Utf8ToCp936("中") + "\n");
    TIniProfile ini(path);
    EXPECT_EQ(ini.ReadString("mms", "key", "def"), "yes");
    EXPECT_EQ(ini.ReadString("mms", "missing", "def"), "def");
    EXPECT_EQ(ini.ReadString("nosection", "key", "def"), "def");
    EXPECT_EQ(ini.ReadString("mms", "long", "").size(), 2047u);
    // A double-byte character that would straddle the cut is dropped whole.
    EXPECT_EQ(ini.ReadString("mms", "wide", ""), std::string(2046, 'y'));
    EXPECT_EQ(TIniProfile(tmp.Path() + "none.ini").ReadString("mms", "key", "def"), "def");
}

// The disk, with every write after the first WritesAllowed refused (file
// permissions do not stop root, so the failure is injected here).
class RefusingAccess : public TIniFileAccess {
public:
    int WritesAllowed = -1;  // -1: no limit
    TDiskIniAccess Disk;
    bool Read(const std::string& path, std::string& bytes) override { return Disk.Read(path, bytes); }
    void Write(const std::string& path, std::string_view bytes) override {
        if (WritesAllowed == 0) throw std::runtime_error("read-only");
        if (WritesAllowed > 0) --WritesAllowed;
        Disk.Write(path, bytes);
    }
};

class SettingsTest : public ::testing::Test {
protected:
    TempFolder tmp;
    ScriptedRandom rng;
    TMmsMaker maker{rng, tmp.Path()};
    TMmsSettings settings;
    RefusingAccess access;
    std::string path = tmp.Path() + "mms.ini";
    TSettingsStore store{path, maker, settings, &access};
};

const char* const kFirstRun =
    "[mms]\r\nmmsTo=\r\nmmsCC=\r\nmmsBCC=\r\nmmsSubject=\r\nmmsClass=0\r\n"
    "mmsExpiryTime=1899-12-30\r\nmmsDeliveryTime=1899-12-30\r\nmmsPriority=0\r\n"
    "mmsSenderVisibility=0\r\nmmsDeliveryReport=0\r\nmmsReadReply=0\r\nmmsPicwidth=0\r\n"
    "mmspicHeight=0\r\nSmilName=\r\nMmsMaxSize=50\r\nPicEncodeMode=1\r\n"
    "PicEncodeInfo=176X210\r\nTxtTimeOptPs=612\r\nJPGCompressionQuality=90\r\n"
    "Framecolor=65280\r\nAudioEx=1\r\nCloseHintMode=0\r\nMmsOutFormat=随机数字\r\n"
    "TxtMaxLen=612\r\nPicMAX_H=100\r\nPicMAX_W=100\r\nNameMode=0\r\nmmsSmilName_=0000.smil\r\n";

TEST_F(SettingsTest, FirstRunWritesAll28KeysInOrder) {
    maker.FTo = "stale";
    maker.FJpegQuality = 10;
    store.LoadSettings();
    EXPECT_EQ(ReadFileBytes(path), Utf8ToCp936(kFirstRun));
    EXPECT_EQ(maker.FTo, "");
    EXPECT_EQ(settings.MmsMaxSize, 50);
    EXPECT_EQ(maker.FPicEncodeMode, 1);
    EXPECT_EQ(maker.FJpegQuality, 90);
    EXPECT_EQ(maker.FPages.FrameColor, 0x00FF00u);
    EXPECT_EQ(settings.PicMaxH, 100);
    EXPECT_EQ(settings.MmsOutFormat, "随机数字");
}

TEST_F(SettingsTest, ExistingFileWithoutSectionIsNotAFirstRun) {
    for (const char* content : {"", "[other]\r\nMmsMaxSize=7\r\n"}) {
        WriteFileBytes(path, content);
        store.LoadSettings();
        EXPECT_EQ(ReadFileBytes(path), content) << "nothing is written on load";
        EXPECT_EQ(settings.MmsMaxSize, 100);
        EXPECT_EQ(maker.FPicEncodeMode, 3);
        EXPECT_EQ(settings.PicMaxH, 80);
        EXPECT_EQ(settings.PicMaxW, 80);
        EXPECT_EQ(maker.FPicEncodeInfo, "176X210");
        EXPECT_TRUE(settings.AudioEx);
        EXPECT_EQ(maker.FSmilPartName, "0000.smil");
    }
}

TEST_F(SettingsTest, ValuesReadBackWithDefaultsForBadOnes) {
    WriteFileBytes(path, Utf8ToCp936(
        "; kept\r\n[mms]\r\nMMSTO=13800 ,139\r\nmmsSubject=问候\r\nmmsClass=258\r\n"
        "mmsExpiryTime=2026-12-07 23:55:14\r\nmmsDeliveryTime=tomorrow\r\n"
        "MmsMaxSize=abc\r\nPicEncodeMode=5\r\nFramecolor=$FF\r\nAudioEx=7\r\nTxtMaxLen= 300\r\n"
        "PicMAX_H=\r\nNameMode=1\r\nunknown=keep me\r\n[tail]\r\nx=y\r\n"));
    store.LoadSettings();
    EXPECT_EQ(maker.FTo, "13800 ,139");
    EXPECT_EQ(maker.FSubject, "问候");
    EXPECT_EQ(maker.FMessageClass, 2) << "low byte";
    EXPECT_EQ(maker.FExpiryTime, QDateTime(QDate(2026, 12, 7), QTime(23, 55, 14)));
    EXPECT_FALSE(maker.FDeliveryTime.isValid());
    EXPECT_EQ(settings.MmsMaxSize, 100);
    EXPECT_EQ(maker.FPicEncodeMode, 5);
    EXPECT_EQ(maker.FPages.FrameColor, 0xFFu);
    EXPECT_TRUE(settings.AudioEx);
    EXPECT_EQ(settings.TxtMaxLen, 300);
    EXPECT_EQ(settings.PicMaxH, 80);
    EXPECT_EQ(maker.NameMode, 1);

    store.SaveSettings();
    const std::string saved = Cp936ToUtf8(ReadFileBytes(path));
    EXPECT_EQ(saved.rfind("; kept\r\n[mms]\r\nMMSTO=13800 ,139\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("mmsExpiryTime=2026-12-07 23:55:14\r\n"), std::string::npos);
    EXPECT_NE(saved.find("mmsDeliveryTime=1899-12-30\r\n"), std::string::npos);
    EXPECT_NE(saved.find("unknown=keep me\r\n"), std::string::npos);
    EXPECT_NE(saved.find("mmsSmilName_=0000.smil\r\n[tail]\r\nx=y\r\n"), std::string::npos)
        << "keys that were missing are appended at the end of the section";
}

TEST_F(SettingsTest, ASaveIsOneWriteAndAFailedOneChangesNothing) {
    store.LoadSettings();
    const std::string before = ReadFileBytes(path);
    settings.MmsMaxSize = 77;
    maker.FPicEncodeInfo = "1X1";
    settings.TxtMaxLen = 99;
    access.WritesAllowed = 0;
    EXPECT_THROW(store.SaveSettings(), EIniWriteError);
    EXPECT_EQ(ReadFileBytes(path), before);
    // One write is all a save takes: the 28 keys go out together.
    access.WritesAllowed = 1;
    store.SaveSettings();
    const std::string saved = ReadFileBytes(path);
    for (const char* line : {"MmsMaxSize=77\r\n", "PicEncodeInfo=1X1\r\n", "TxtMaxLen=99\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    EXPECT_THROW(store.SaveSettings(), EIniWriteError);
}

TEST_F(SettingsTest, FirstRunWriteFailureStopsBeforeReading) {
    access.WritesAllowed = 0;
    EXPECT_THROW(store.LoadSettings(), EIniWriteError);
    EXPECT_EQ(settings.MmsMaxSize, 50);
    EXPECT_EQ(maker.FPicEncodeMode, 1);
}

TEST(DateTimeText, RoundTripsToTheSecond) {
    const QDateTime t(QDate(2026, 12, 7), QTime(23, 55, 14, 600));
    EXPECT_EQ(DateTimeToText(t), "2026-12-07 23:55:14");
    EXPECT_EQ(TextToDateTime(DateTimeToText(t)), QDateTime(QDate(2026, 12, 7), QTime(23, 55, 14)));
    EXPECT_EQ(DateTimeToText(QDateTime(QDate(2026, 1, 2), QTime(0, 0))), "2026-01-02");
    EXPECT_EQ(TextToDateTime("2026-01-02"), QDateTime(QDate(2026, 1, 2), QTime(0, 0)));
    EXPECT_EQ(DateTimeToText(QDateTime()), "1899-12-30");
    for (const char* zero : {"1899-12-30", "", "默认", "2026-13-01"})
        EXPECT_FALSE(TextToDateTime(zero).isValid()) << zero;
}

// The file text in a form: ANSI, UTF-8 with or without its mark, UTF-16LE with its mark.
std::string InForm(const std::string& utf8, TTextForm form, bool marked = true) {
    switch (form) {
        case TTextForm::Ansi: return Utf8ToCp936(utf8);
        case TTextForm::Utf8: return utf8;
        case TTextForm::Utf8Marked: return "\xEF\xBB\xBF" + utf8;
        default: break;
    }
    const bool big = form == TTextForm::Utf16Be;
    std::string out = !marked ? "" : big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : Utf8ToUtf16(utf8)) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        out += big ? high : low;
        out += big ? low : high;
    }
    return out;
}

TEST(IniProfile, AFileInAUnicodeFormIsReadAndWrittenInThatForm) {
    TempFolder tmp;
    const struct {
        TTextForm Form;
        bool Marked;
    } cases[] = {{TTextForm::Ansi, false},   {TTextForm::Utf8, false},    {TTextForm::Utf8Marked, true},
                 {TTextForm::Utf16Le, true}, {TTextForm::Utf16Le, false}, {TTextForm::Utf16Be, false}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(c.Form) << " marked " << c.Marked);
        const std::string path = tmp.File("f" + std::to_string(n++) + ".ini",
                                          InForm("[mms]\r\nmmsSubject=主题\r\n", c.Form, c.Marked));
        TIniProfile ini(path);
        // A mark at the start never hides the section line; a UTF-16 file without
        // one is read by its zero bytes, and no section of another form is added.
        EXPECT_EQ(ini.ReadString("mms", "mmsSubject", "none"), "主题");
        ini.WriteString("mms", "mmsTo", "138");
        ini.WriteString("mms", "mmsSubject", "新主题");
        EXPECT_EQ(ReadFileBytes(path), InForm("[mms]\r\nmmsSubject=新主题\r\nmmsTo=138\r\n", c.Form, c.Marked));
    }
}

TEST(IniProfile, AnAnsiFileThatWouldReadAsUtf8GoesOverToUtf8) {
    TempFolder tmp;
    // "caf茅" in the code page is also the UTF-8 of "café", and would read as that;
    // a character the code page lacks would become "?". The bare UTF-8 of "ʱ" (CA B1)
    // reads as the code page's "时", so that file carries the UTF-8 mark.
    const struct {
        const char* value;
        const char* mark;
    } cases[] = {{"caf茅", ""}, {"表情😀", ""}, {"ʱ", "\xEF\xBB\xBF"}};
    for (const auto& c : cases) {
        const std::string path = tmp.Path() + "a.ini";
        std::filesystem::remove(path);
        TIniProfile ini(path);
        ini.WriteString("mms", "mmsSubject", c.value);
        ini.WriteString("mms", "mmsTo", "138");
        EXPECT_EQ(TIniProfile(path).ReadString("mms", "mmsSubject", ""), c.value);
        EXPECT_EQ(ReadFileBytes(path),
                  std::string(c.mark) + "[mms]\r\nmmsSubject=" + c.value + "\r\nmmsTo=138\r\n");
    }
}

TEST_F(SettingsTest, AMarkedFileKeepsEverySettingAndItsOneSection) {
    std::string text = kFirstRun;
    text.replace(text.find("MmsMaxSize=50"), 13, "MmsMaxSize=77");
    WriteFileBytes(path, "\xEF\xBB\xBF" + text);
    store.LoadSettings();
    EXPECT_EQ(settings.MmsMaxSize, 77);
    EXPECT_EQ(maker.FPicEncodeMode, 1);
    EXPECT_EQ(settings.PicMaxH, 100);
    store.SaveSettings();
    EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBF" + text);
}

TEST(IniProfile, WritesIntoTheFileItself) {
    namespace fs = std::filesystem;
    TempFolder tmp;
    const std::string d = tmp.Path();
    auto entries = [](const std::string& dir) {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename() != "" ? 1 : 0;
        return n;
    };

    // Through a (relative) link to its target; the link stays a link.
    fs::create_directories(d + "real");
    fs::create_directories(d + "conf");
    WriteFileBytes(d + "real/mms.ini", "[mms]\r\nA=1\r\n");
    fs::create_symlink("../real/mms.ini", d + "conf/mms.ini");
    TIniProfile(d + "conf/mms.ini").WriteString("mms", "A", "2");
    EXPECT_TRUE(fs::is_symlink(d + "conf/mms.ini"));
    EXPECT_EQ(ReadFileBytes(d + "real/mms.ini"), "[mms]\r\nA=2\r\n");
    EXPECT_EQ(entries(d + "real"), 1);

    // Its mode, and its other names, are kept.
    const std::string own = d + "own.ini";
    WriteFileBytes(own, "[mms]\r\nA=1\r\n");
    fs::permissions(own, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_hard_link(own, d + "other-name.ini");
    TIniProfile(own).WriteString("mms", "A", "2");
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadFileBytes(d + "other-name.ini"), "[mms]\r\nA=2\r\n");

    // A folder that may not be written, with a file that may: written in place.
    // A file that may not be written is refused and keeps its text.
    fs::create_directories(d + "locked");
    WriteFileBytes(d + "locked/mms.ini", "[mms]\r\nA=1\r\n");
    WriteFileBytes(d + "locked/ro.ini", "[mms]\r\nA=1\r\n");
    ASSERT_EQ(::chmod(d.c_str(), 0755), 0);
    ASSERT_EQ(::chmod((d + "locked/mms.ini").c_str(), 0666), 0);
    ASSERT_EQ(::chmod((d + "locked/ro.ini").c_str(), 0444), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((d + "locked/mms.ini").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown((d + "locked/ro.ini").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod((d + "locked").c_str(), 0555), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        TIniProfile(d + "locked/mms.ini").WriteString("mms", "Longer", "value");
        try {
            TIniProfile(d + "locked/ro.ini").WriteString("mms", "A", "2");
            return false;
        } catch (const EIniWriteError&) {
        }
        return true;
    }));
    ::chmod((d + "locked").c_str(), 0755);
    EXPECT_EQ(ReadFileBytes(d + "locked/mms.ini"), "[mms]\r\nA=1\r\nLonger=value\r\n");
    EXPECT_EQ(ReadFileBytes(d + "locked/ro.ini"), "[mms]\r\nA=1\r\n");
    EXPECT_EQ(entries(d + "locked"), 2);
}

// Two sets of values that differ in the first, a middle and the last key, and in
// length, so that a text written over the other shifts everything after it.
void SetValues(int v, TMmsMaker& maker, TMmsSettings& settings) {
    maker.FTo = "to" + std::string(static_cast<size_t>(v) * 5, static_cast<char>('a' + v));
    settings.MmsMaxSize = v;
    maker.FSmilPartName = std::to_string(v) + ".smil";
}

// How a save finds the file: alone under its name (replaced as a whole), or with
// another name as well (written into the file itself).
enum class TSaveRoute { Whole, InPlace };

// Prepares path for the route: a second name for the in-place one.
void PrepareRoute(TSaveRoute route, const std::string& path) {
    if (route == TSaveRoute::InPlace) std::filesystem::create_hard_link(path, path + ".other");
}

// What the next start reads of the file (it first mends what a killed save left).
std::string NextStartReads(const std::string& path) {
    std::string bytes;
    TDiskIniAccess disk;
    EXPECT_TRUE(disk.Read(path, bytes));
    return bytes;
}

// A settings file with many lines the program does not know, so that a save takes
// long enough for a kill to land inside it; and what a save of the values 1 and
// of 2 makes of it.
struct TBigSettings {
    std::string initial, one, two;
    std::chrono::microseconds saveTime{0};  // of one save, to spread the kills over
    TBigSettings(const std::string& dir, TSaveRoute route) {
        initial = "[mms]\r\nmmsTo=first\r\n[notes]\r\n";
        for (int i = 0; i < 60000; ++i)
            initial += "note" + std::to_string(i) + "=kept as it is\r\n";
        const std::string p = dir + "probe.ini";
        WriteFileBytes(p, initial);
        PrepareRoute(route, p);
        ScriptedRandom rng;
        TMmsMaker maker(rng, dir);
        TMmsSettings settings;
        TSettingsStore store(p, maker, settings);
        SetValues(1, maker, settings);
        store.SaveSettings();
        one = ReadFileBytes(p);
        // The slowest of a few saves, so that the kills reach past the first.
        for (int v : {2, 1, 2}) {
            SetValues(v, maker, settings);
            const auto start = std::chrono::steady_clock::now();
            store.SaveSettings();
            saveTime = std::max(saveTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                              std::chrono::steady_clock::now() - start));
        }
        two = ReadFileBytes(p);
        std::filesystem::remove(p);
        std::filesystem::remove(p + ".other");
    }
};

// Runs save(i) for i = 0, 1, ... in a child until it is killed; gives its pid once
// the first save is about to begin.
pid_t SaveUntilKilled(const std::function<void(int)>& save) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        for (int i = 0;; ++i) {
            if (i == 0 && ::write(ready[1], "r", 1) != 1) ::_exit(2);
            try {
                save(i);
            } catch (...) {
                ::_exit(3);
            }
        }
    }
    ::close(ready[1]);
    char c;
    if (pid < 0 || ::read(ready[0], &c, 1) != 1) return -1;
    ::close(ready[0]);
    return pid;
}

// A save killed at any point leaves what the next start reads as the old file or
// the new one whole, never a mixture, whether the save replaces the file or, where
// it has another name, writes into it; and the other name reads the same.
TEST(SettingsSave, AKilledSaveLeavesOneWholeFile) {
    for (const TSaveRoute route : {TSaveRoute::Whole, TSaveRoute::InPlace}) {
        SCOPED_TRACE(route == TSaveRoute::Whole ? "replaced whole" : "written in place");
        TempFolder tmp;
        const TBigSettings big(tmp.Path(), route);
        const std::string path = tmp.Path() + "mms.ini";
        WriteFileBytes(path, big.initial);
        PrepareRoute(route, path);
        for (int round = 0; round < 48; ++round) {
            ScriptedRandom rng;
            TMmsMaker maker(rng, tmp.Path());
            TMmsSettings settings;
            TSettingsStore store(path, maker, settings);
            const pid_t pid = SaveUntilKilled([&](int i) {
                SetValues(1 + i % 2, maker, settings);
                store.SaveSettings();
            });
            ASSERT_GT(pid, 0);
            // From the start of the first save to well into the eighth.
            ::usleep(static_cast<useconds_t>(round * big.saveTime.count() / 6));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself: " << status;
            const std::string now = NextStartReads(path);
            EXPECT_TRUE(now == big.initial || now == big.one || now == big.two)
                << "round " << round << ": " << now.size() << " bytes, not a whole file";
            if (route == TSaveRoute::InPlace) {
                EXPECT_EQ(ReadFileBytes(path + ".other"), now);
            }
        }
    }
}

// Two programs save at once, each its own keys, the one into the file as a
// whole, the other, where it has another name, into the file itself: neither
// loses a key the other wrote.
TEST(SettingsSave, TwoProgramsSavingAtOnceKeepEachOthersKeys) {
    for (const TSaveRoute route : {TSaveRoute::Whole, TSaveRoute::InPlace}) {
        SCOPED_TRACE(route == TSaveRoute::Whole ? "replaced whole" : "written in place");
        TempFolder tmp;
        const std::string path = tmp.File("mms.ini", "[mms]\r\nmmsTo=\r\n");
        PrepareRoute(route, path);
        constexpr int kSaves = 150;
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        std::vector<pid_t> savers;
        for (const char* section : {"first", "second"}) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(go[1]);
                char c;
                if (::read(go[0], &c, 1) != 0) ::_exit(2);  // both begin together
                try {
                    TIniProfile ini(path);
                    for (int i = 0; i < kSaves; ++i)
                        ini.WriteString(section, "k" + std::to_string(i), "v");
                } catch (...) {
                    ::_exit(3);
                }
                ::_exit(0);
            }
            savers.push_back(pid);
        }
        ::close(go[0]);
        ::close(go[1]);
        for (const pid_t pid : savers) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        TIniProfile ini(path);
        int lost = 0;
        for (const char* section : {"first", "second"})
            for (int i = 0; i < kSaves; ++i)
                lost += ini.ReadString(section, "k" + std::to_string(i), "") != "v";
        EXPECT_EQ(lost, 0);
        EXPECT_EQ(ini.ReadString("mms", "mmsTo", "gone"), "");
    }
}

// Files in the folder whose names have the form of the atomic writer's temporaries.
std::vector<std::string> Temporaries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(".w", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".tmp")
            out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The temporary a writer leaves when it is killed before its rename (here by
// the size limit of its files, which ends it at its first write), under a name
// of the writer's own making; its name.
std::string KilledWritersTemporary(const std::string& path) {
    const std::vector<std::string> before = Temporaries(std::filesystem::path(path).parent_path());
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit none{1, 1};
        ::setrlimit(RLIMIT_FSIZE, &none);
        WriteFileAtomically(path, "[mms]\r\nmmsTo=a new text\r\n");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    for (const std::string& n : Temporaries(std::filesystem::path(path).parent_path()))
        if (std::find(before.begin(), before.end(), n) == before.end()) return n;
    ADD_FAILURE() << "the writer left no temporary";
    return "";
}

// The start takes away what a killed save left beside the settings, and nothing
// else: not a temporary that may be a live writer's (a writer in a sandbox has a
// process id that means nothing here, but is seconds old), not one another host
// made in a shared folder, not a name no writer of this host gives.
TEST(SettingsSave, TheStartRemovesOnlyOldTemporariesOfThisHost) {
    const long old = kStaleTemporaryAge + 60;
    const struct {
        const char* what;
        std::function<std::string(const std::string& path)> make;  // gives the name
        long age;                                                  // in seconds
        bool removed;
    } cases[] = {
        {"a killed writer's, fresh", KilledWritersTemporary, 0, false},
        {"a killed writer's, old", KilledWritersTemporary, old, true},
        {"another host's, old",
         [](const std::string& path) {
             const std::string mine = KilledWritersTemporary(path);
             const std::string dir = std::filesystem::path(path).parent_path().string() + "/";
             const std::string theirs = ".welsewhere-" + mine.substr(2);
             std::filesystem::rename(dir + mine, dir + theirs);
             return theirs;
         },
         old, false},
        {"a name no writer gives here, old",
         [](const std::string& path) {
             WriteFileBytes(
                 std::filesystem::path(path).parent_path().string() + "/.w7fffffe000.tmp", "x");
             return std::string(".w7fffffe000.tmp");
         },
         old, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder tmp;
        const std::string path = tmp.File("mms.ini", "[mms]\r\nmmsTo=old\r\n");
        const std::string name = c.make(path);
        ASSERT_FALSE(name.empty());
        const std::string full = tmp.Path() + name;
        const timespec times[2] = {{std::time(nullptr) - c.age, 0},
                                   {std::time(nullptr) - c.age, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, full.c_str(), times, 0), 0);
        ScriptedRandom rng;
        TMmsMaker maker(rng, tmp.Path());
        TMmsSettings settings;
        TSettingsStore(path, maker, settings).LoadSettings();
        EXPECT_EQ(std::filesystem::exists(full), !c.removed);
        EXPECT_EQ(ReadFileBytes(path), "[mms]\r\nmmsTo=old\r\n");
    }
}

// A write that fails midway (the file may not grow past a limit, as on a full
// disk) leaves the file as it was and nothing beside it.
TEST(SettingsSave, AWriteFailingMidwayLeavesTheFileAsItWas) {
    TempFolder tmp;
    const std::string path = tmp.Path() + "mms.ini";
    std::string initial = "[mms]\r\nmmsSubject=old\r\n";
    while (initial.size() < 100000) initial += "; a comment the program keeps\r\n";
    WriteFileBytes(path, initial);
    ScriptedRandom rng;
    TMmsMaker maker(rng, tmp.Path());
    TMmsSettings settings;
    TSettingsStore store(path, maker, settings);
    maker.FSubject = "new";
    {
        TFileSizeLimit limit(50000);
        EXPECT_THROW(store.SaveSettings(), EIniWriteError);
    }
    EXPECT_EQ(ReadFileBytes(path), initial);
    EXPECT_TRUE(Temporaries(tmp.Path()).empty());
}

}  // namespace