#include "settings_store.h"

#include <gtest/gtest.h>

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

TEST_F(SettingsTest, FailedKeyEndsTheSaveAndIsReported) {
    store.LoadSettings();
    settings.MmsMaxSize = 77;         // before the refused key
    maker.FPicEncodeInfo = "1X1";     // the refused key
    settings.TxtMaxLen = 99;          // after it
    access.WritesAllowed = 16;  // "PicEncodeInfo" is the 17th key
    EXPECT_THROW(store.SaveSettings(), EIniWriteError);
    const std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("MmsMaxSize=77\r\n"), std::string::npos);
    EXPECT_NE(saved.find("PicEncodeInfo=176X210\r\n"), std::string::npos);
    EXPECT_NE(saved.find("TxtMaxLen=612\r\n"), std::string::npos);
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

}  // namespace
