// The settings, SMIL, output tabs and the make, driven as a user would, offscreen.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "header_tab.h"
#include "main_window.h"
#include "make_controller.h"
#include "mms_maker.h"
#include "output_tab.h"
#include "settings_controller.h"
#include "settings_controls.h"
#include "settings_store.h"
#include "smil_tab.h"
#include "string_list.h"
#include "system_tab.h"
#include "text_codec.h"

namespace {

class RecordingQuestions : public TQuestions {
public:
    QStringList Texts;
    TAnswer Ask(const std::string&, const std::string& text, TButtons, TIcon, TAnswer) override {
        Texts << QString::fromStdString(text);
        return TAnswer::Ok;
    }
};

class FixedRandom : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t) override { return 0; }
};

// One window's worth of tabs over a fresh program tree.
struct Window {
    QTemporaryDir dir;
    std::string config = dir.path().toStdString() + "/config/";
    std::string output = dir.path().toStdString() + "/out/";
    std::string temp = dir.path().toStdString() + "/temp/";
    FixedRandom rng;
    RecordingQuestions questions;
    TMmsMaker maker{rng, (std::filesystem::create_directories(temp), temp)};
    TMmsSettings settings;
    THeaderTab header;
    TSystemTab system{maker, settings};
    TOutputTab outputTab;
    TSettingsController controller{config + "mms.ini", maker, settings, header, system};
    TSmilTab smil{config, maker, settings, questions, [this] { return controller.SaveSettings(); }};
    TMakeController make{maker, settings, output, questions, smil, outputTab, controller};
    QStringList status;
    std::vector<std::string> opened;

    Window() {
        std::filesystem::create_directories(config);
        std::filesystem::create_directories(output);
        smil.FShowStatus = [this](const QString& s) { status << s; };
        smil.FOpenFolder = [this](const std::string& d) { opened.push_back(d); };
        make.FOpenFolder = [this](const std::string& d) { opened.push_back(d); };
    }
    std::string Ini() const { return Cp936ToUtf8(ReadFileBytes(config + "mms.ini")); }
    void WriteIni(const std::string& text) const { WriteFileBytes(config + "mms.ini", Utf8ToCp936(text)); }
    void Start() {
        QVERIFY(controller.LoadSettings());
        controller.ShowSettings();
    }
    void AddTextPage() {
        WriteFileBytes(temp + "t.txt", "hello");
        maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
        maker.FPages[0]->SetMedia(temp + "t.txt", "", "", "", 5);
    }
};

QStringList Items(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}

}  // namespace

class GuiTabsTest : public QObject {
    Q_OBJECT
private slots:
    void controlsStartAsLaidOut() {
        Window w;
        QCOMPARE(Items(w.header.CbMessageClass), QStringList({"默认", "个人", "广告", "通知", "自动"}));
        QCOMPARE(Items(w.header.CBPriority), QStringList({"默认", "低", "正常", "高"}));
        QCOMPARE(Items(w.header.CBSenderVisibility), QStringList({"默认", "隐藏", "显示"}));
        QCOMPARE(Items(w.header.CBReadReply), QStringList({"默认", "打开", "关闭"}));
        for (QComboBox* c : {w.header.CBExpiryTime, w.header.CBDeliveryTime, w.header.ComboBox14}) {
            QCOMPARE(c->currentText(), QString("默认"));
            QVERIFY(!c->isEnabled());
        }
        QVERIFY(!w.header.SBExpiryTime->isEnabled());
        QCOMPARE(w.system.CBPicEncodeInfo->count(), 19);
        QCOMPARE(w.system.CBPicEncodeInfo->currentText(), QString("128X128"));
        QCOMPARE(w.system.CBCloseApphint->currentIndex(), -1);
        QCOMPARE(Items(w.system.CBMMsNameFormat).last(), QString("随机数字_彩信主题_日期_时间"));
        QCOMPARE(w.system.UpDownJPG->Max(), 100);
        QCOMPARE(w.system.UpDownMmsMaxSize->Max(), 1000);
        QVERIFY(w.system.RBPicmode1->isChecked());
        QCOMPARE(w.outputTab.EdittoNum->text(), QString("1"));
        QCOMPARE(w.outputTab.EditBBCNum->text(), QString("0"));
        QVERIFY(!w.outputTab.CBMake->isChecked());
        QVERIFY(w.outputTab.PanelMake->isEnabled());
    }

    void firstRunShowsItsValues() {
        Window w;
        w.Start();
        QVERIFY(w.system.RBPicmode1->isChecked());
        QCOMPARE(w.system.CBPicEncodeInfo->currentText(), QString("176X210"));
        QCOMPARE(w.system.EditJPG->text(), QString("90"));
        QCOMPARE(w.system.Edithaizinum->text(), QString("612"));
        QCOMPARE(w.system.EditHanziLen->text(), QString("612"));
        QCOMPARE(w.system.EditMmsMaxSize->text(), QString("50"));
        QCOMPARE(w.system.Panelcolor->Color(), 0x00FF00u);
        QCOMPARE(w.system.CBCloseApphint->currentText(), QString("不保存编辑信息"));
        QCOMPARE(w.system.CBMMsNameFormat->currentText(), QString("随机数字"));
        QCOMPARE(w.header.CbMessageClass->currentText(), QString("默认"));
    }

    void pictureModeFromFileAndRadioClicks() {
        Window w;
        w.WriteIni("[mms]\r\nPicEncodeMode=5\r\n");
        w.Start();
        QCOMPARE(w.maker.FPicEncodeMode, 5);
        QVERIFY(w.system.RBPicmode1->isChecked());
        QTest::mouseClick(w.system.RBPicmode3, Qt::LeftButton);
        QCOMPARE(w.maker.FPicEncodeMode, 3);
        w.WriteIni("[mms]\r\n");
        w.Start();
        QVERIFY(w.system.RBPicmode3->isChecked());
    }

    void liveRulesAndAStoppedGather() {
        Window w;
        w.Start();
        const std::string before = w.Ini();
        w.system.Edithaizinum->setText("700");
        QCOMPARE(w.settings.TxtTimeOptPs, 700);
        w.system.EditJPG->setText("abc");
        QCOMPARE(w.maker.FJpegQuality, 90);
        w.system.EditHanziLen->setText("300");
        QCOMPARE(w.settings.TxtMaxLen, 612);
        w.system.CBPicEncodeInfo->setCurrentText("240X320");
        QCOMPARE(w.maker.FPicEncodeInfo, std::string("240X320"));
        w.header.EditSubject->setText("  hi  ");

        QTest::mouseClick(w.header.SBSavecfg, Qt::LeftButton);
        QCOMPARE(w.Ini(), before);
        QCOMPARE(w.maker.FSubject, std::string("hi"));
        QCOMPARE(w.settings.TxtMaxLen, 612);

        w.system.EditJPG->setText("80");
        QTest::mouseClick(w.system.SpeedButton5, Qt::LeftButton);
        const std::string saved = w.Ini();
        for (const char* line : {"mmsSubject=hi\r\n", "TxtMaxLen=300\r\n", "JPGCompressionQuality=80\r\n",
                                 "TxtTimeOptPs=700\r\n", "PicEncodeInfo=240X320\r\n"})
            QVERIFY2(saved.find(line) != std::string::npos, line);
    }

    void defaultResetsTheHeaderAndShowsHeldValues() {
        Window w;
        w.Start();
        w.header.EditTo->setText("13800138000");
        w.header.CBPriority->setCurrentIndex(3);
        QVERIFY(w.controller.SBSavecfgClick());
        w.system.CBCloseApphint->setCurrentIndex(2);
        w.system.CBMMsNameFormat->setCurrentText("随机数字_彩信主题");
        QTest::mouseClick(w.header.SBDefault, Qt::LeftButton);
        QCOMPARE(w.header.EditTo->text(), QString());
        QCOMPARE(w.header.CBPriority->currentIndex(), 0);
        QVERIFY(w.Ini().find("mmsTo=\r\n") != std::string::npos);
        QVERIFY(w.Ini().find("mmsPriority=0\r\n") != std::string::npos);
        QCOMPARE(w.system.CBCloseApphint->currentIndex(), 0);
        QCOMPARE(w.system.CBMMsNameFormat->currentText(), QString("随机数字"));
    }

    void datesShowAndSurvive() {
        Window w;
        w.WriteIni("[mms]\r\nmmsExpiryTime=2026-12-07 23:55:14\r\nmmsDeliveryTime=soon\r\n");
        w.Start();
        QCOMPARE(w.header.CBExpiryTime->currentText(), QString("2026-12-07 23:55:14"));
        QCOMPARE(w.header.CBDeliveryTime->currentText(), QString("默认"));
        QVERIFY(w.controller.SBSavecfgClick());
        QVERIFY(w.Ini().find("mmsExpiryTime=2026-12-07 23:55:14\r\n") != std::string::npos);
        QVERIFY(w.Ini().find("mmsDeliveryTime=1899-12-30\r\n") != std::string::npos);
        w.header.SBExpiryTimeClick();
        QVERIFY(TextToDateTime(tabs::S(w.header.CBExpiryTime->currentText())).isValid());
    }

    void colourDialog() {
        Window w;
        w.Start();
        std::vector<uint32_t> initials;
        std::optional<uint32_t> answer;
        w.system.FChooseColor = [&](uint32_t initial) {
            initials.push_back(initial);
            return answer;
        };
        QTest::mouseClick(w.system.Panelcolor, Qt::LeftButton);
        QCOMPARE(w.system.Panelcolor->Color(), 0x00FF00u);
        answer = 0xFF0000u;
        QTest::mouseClick(w.system.Panelcolor, Qt::LeftButton);
        QCOMPARE(w.system.Panelcolor->Color(), 0xFF0000u);
        QCOMPARE(w.maker.FPages.FrameColor, 0xFF0000u);
        QTest::mouseDClick(w.system.Panelcolor, Qt::LeftButton);
        QCOMPARE(initials.front(), 0u);
        QCOMPARE(initials.back(), 0xFF0000u);
    }

    void doubleClicksClear() {
        Window w;
        for (QLineEdit* e : std::initializer_list<QLineEdit*>{w.header.EditTo, w.header.EditCC, w.header.EditBCC,
                                                              w.header.EditSubject, w.outputTab.EditAddSource,
                                                              w.outputTab.EdittitleSource}) {
            e->setText("x");
            QTest::mouseDClick(e, Qt::LeftButton);
            QCOMPARE(e->text(), QString());
        }
        w.smil.MemoSmil->setPlainText("<smil/>");
        QTest::mouseDClick(w.smil.MemoSmil->viewport(), Qt::LeftButton);
        QCOMPARE(w.smil.MemoSmil->toPlainText(), QString());
    }

    void templatesAtStartPickAndSaveAs() {
        Window w;
        WriteFileBytes(w.config + "a.smil", "<smil><head>A</head></smil>\r\n");
        WriteFileBytes(w.config + "b.smil", "<SMIL><HEAD>B</HEAD></SMIL>\r\n");
        w.Start();
        w.settings.SmilTemplateName = "gone.smil";
        w.smil.LoadSmilTemplates();
        const QString first = w.smil.CBsmillist->itemText(0);
        QCOMPARE(w.smil.CBsmillist->currentIndex(), 0);
        QCOMPARE(QString::fromStdString(w.settings.SmilTemplateName), first);
        QVERIFY(w.Ini().find("SmilName=" + first.toStdString() + "\r\n") != std::string::npos);
        QCOMPARE(w.status.last(), first);
        QVERIFY(!w.maker.FSmilHead.empty());

        w.smil.CBsmillist->setCurrentIndex(1);  // as the user's pick leaves it
        emit w.smil.CBsmillist->activated(1);
        const QString second = w.smil.CBsmillist->itemText(1);
        QCOMPARE(w.status.last(), second);
        QVERIFY(w.Ini().find("SmilName=" + second.toStdString() + "\r\n") != std::string::npos);

        w.smil.MemoSmil->setPlainText("<smil>\n<head>mine</head>");
        w.smil.N20->trigger();
        QCOMPARE(ReadFileBytes(w.config + "自定义0000.smil"), std::string("<smil>\r\n<head>mine</head>\r\n"));
        QCOMPARE(w.smil.CBsmillist->count(), 3);
        QCOMPARE(w.smil.CBsmillist->currentIndex(), -1);
        QCOMPARE(w.status.last(), second);
        w.smil.N19->trigger();  // nothing selected: nothing written
        QCOMPARE(ReadFileBytes(w.config + second.toStdString()).find("mine"), std::string::npos);

        w.smil.sbsmilhelp->click();
        QCOMPARE(w.questions.Texts.last().split("\r\n").size(), 30);
        w.smil.N22->trigger();
        QCOMPARE(w.opened.back(), w.config);
        QVERIFY(!w.smil.Image1->pixmap().isNull());
    }

    void templatePickWithUnwritableSettingsKeepsTheStatus() {
        Window w;
        WriteFileBytes(w.config + "a.smil", "<smil>A</smil>\r\n");
        w.Start();
        w.smil.LoadSmilTemplates();
        QCOMPARE(w.status.last(), QString("a.smil"));
        std::filesystem::remove(w.config + "mms.ini");
        std::filesystem::create_directory(w.config + "mms.ini");  // no key can be written
        w.status.clear();
        w.smil.MemoSmil->clear();
        emit w.smil.CBsmillist->activated(0);
        QCOMPARE(w.smil.MemoSmil->toPlainText(), QString("<smil>A</smil>"));
        QVERIFY2(w.status.isEmpty(), "the failed write ends the pick before the status panel");
    }

    void menuButtonOpensOnAnyMouseButton() {
        Window w;
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
            QTest::mouseClick(w.smil.SpeedButton1, b);
            QVERIFY(w.smil.PopupMenuB->isVisible());
            w.smil.PopupMenuB->hide();
        }
    }

    // The tabs inside the main window: start-up order, the make button, the values
    // other parts of the window read, and a close whose settings write fails.
    void mainWindowWiring() {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString() + "/";
        const std::string config = root + "配置目录/";
        std::filesystem::create_directories(config);
        WriteFileBytes(config + "mms.ini",
                       Utf8ToCp936("[mms]\r\nmmsSubject=问候\r\nSmilName=b.smil\r\nCloseHintMode=2\r\n"));
        WriteFileBytes(config + "a.smil", "<smil><head>A</head></smil>\r\n");
        WriteFileBytes(config + "b.smil", "<smil><head>B</head></smil>\r\n");
        RecordingQuestions questions;
        TMessagePump pump;
        FixedRandom rng;
        Tfrmmms w(root, questions, pump, rng);
        std::vector<QUrl> opened;
        w.FOpenUrl = [&](const QUrl& u) { opened.push_back(u); };

        QCOMPARE(w.FHeaderTab->EditSubject->text(), QString("问候"));
        QCOMPARE(w.FSystemTab->CBCloseApphint->currentIndex(), 2);
        QCOMPARE(w.FSmilTab->CBsmillist->currentText(), QString("b.smil"));
        QCOMPARE(w.FSmilTab->MemoSmil->toPlainText(), QString("<smil><head>B</head></smil>"));
        QLabel* panel = w.statusBar()->findChild<QLabel*>("StatusPanel1");
        QVERIFY(panel);
        QCOMPARE(panel->text(), QString("b.smil"));
        QCOMPARE(panel->minimumWidth(), 250);
        QCOMPARE(w.FPicMaxW, 80);

        w.FSystemTab->EditJPG->setText("70");
        w.FSystemTab->Edithaizinum->setText("500");
        w.FSystemTab->EditHanziLen->setText("300");
        w.FSystemTab->CBCloseApphint->setCurrentIndex(1);
        w.FSystemTab->FChooseColor = [](uint32_t) { return std::optional<uint32_t>(0xFF0000u); };
        QTest::mouseClick(w.FSystemTab->Panelcolor, Qt::LeftButton);
        QTest::mouseClick(w.FSystemTab->SpeedButton5, Qt::LeftButton);
        QCOMPARE(w.FMaker->FJpegQuality, 70);
        QCOMPARE(w.FTxtTimeOptPs, 500);
        QCOMPARE(w.FTxtMaxLen, 300);
        QCOMPARE(w.FCloseHintMode, 1);
        QCOMPARE(w.FMaker->FPages.FrameColor, 0xFF0000u);

        w.findChild<QToolButton*>("SBNewPage")->click();
        w.findChild<QToolButton*>("SBMakemms")->click();
        QCOMPARE(questions.Texts.last(), QString("制作完成：0001.mms。"));
        QVERIFY(std::filesystem::exists(w.OutputDir + "0001.mms"));
        QCOMPARE(opened.size(), size_t(1));

        std::filesystem::remove(config + "mms.ini");
        std::filesystem::create_directory(config + "mms.ini");
        QVERIFY2(!w.close(), "a settings file that cannot be written keeps the window open");
        std::filesystem::remove(config + "mms.ini");
        QVERIFY(w.close());
        QVERIFY(Cp936ToUtf8(ReadFileBytes(config + "mms.ini")).find("TxtMaxLen=300\r\n") != std::string::npos);
    }

    void outputTabControls() {
        Window w;
        QTest::mouseClick(w.outputTab.CBMake, Qt::LeftButton);
        QVERIFY(w.outputTab.CBMake->isChecked());
        QVERIFY(w.outputTab.PanelMake->isEnabled());
        QTest::mouseClick(w.outputTab.CBMake, Qt::LeftButton);
        QVERIFY(!w.outputTab.PanelMake->isEnabled());
        QTest::mouseClick(w.outputTab.CBMake, Qt::LeftButton);
        QString answer = "/tmp/list.txt";
        w.outputTab.FChooseFile = [&] { return answer; };
        w.outputTab.SpeedButton2->click();
        QCOMPARE(w.outputTab.EditAddSource->text(), answer);
        answer.clear();
        w.outputTab.SpeedButton2->click();
        QCOMPARE(w.outputTab.EditAddSource->text(), QString("/tmp/list.txt"));
        answer = "/tmp/s.txt";
        w.outputTab.SpeedButton3->click();
        QCOMPARE(w.outputTab.EdittitleSource->text(), answer);
    }

    void makeThroughTheTabs() {
        Window w;
        w.Start();
        w.AddTextPage();
        w.smil.MemoSmil->setPlainText("<smil><head><layout/></head></smil>");
        w.system.EditJPG->setText("x");
        QCOMPARE(w.make.SBNewmmsClick().Outcome, TMakeOutcome::Failed);
        QCOMPARE(w.questions.Texts, QStringList{"彩信制作失败：“系统配置”中有数值不是有效的整数"});
        QVERIFY(std::filesystem::is_empty(w.output));
        QVERIFY(w.opened.empty());

        w.system.EditJPG->setText("90");
        w.header.EditSubject->setText("问候");
        QCOMPARE(w.make.SBNewmmsClick().Outcome, TMakeOutcome::Made);
        QCOMPARE(w.questions.Texts.last(), QString("制作完成：0001.mms。"));
        QCOMPARE(w.opened.back(), w.output);

        w.outputTab.CBMake->setChecked(true);
        w.outputTab.EditAddSource->setText("101;102;103");
        w.outputTab.EdittoNum->setText("2");
        QCOMPARE(w.make.SBNewmmsClick().Made, 2);
        QCOMPARE(w.questions.Texts.last(), QString("制作完成，共生成 2个彩信文件。"));
        QCOMPARE(w.maker.FTo, std::string());
        QCOMPARE(w.header.EditSubject->text(), QString("问候"));
    }

    // The toolkit's line edit holds 32,767 characters unless told otherwise: the
    // list would lose its tail and its last number would pass cut short.
    void typedAddressListIsNotCut() {
        Window w;
        w.Start();
        w.AddTextPage();
        w.smil.MemoSmil->setPlainText("<smil><head><layout/></head></smil>");
        QString typed;
        for (int i = 0; i < 3000; ++i) typed += QString("1390000%1;").arg(i, 4, 10, QChar('0'));
        QCOMPARE(typed.size(), 36000);
        w.outputTab.CBMake->setChecked(true);
        w.outputTab.EditAddSource->setText(typed);
        QCOMPARE(w.outputTab.EditAddSource->text(), typed);
        w.outputTab.EdittoNum->setText("3000");  // one file for the whole list
        QCOMPARE(w.make.SBNewmmsClick().Made, 1);
        const std::string mms = ReadFileBytes(w.output + "0001.mms");
        size_t addresses = 0;
        for (size_t at = mms.find("/TYPE=PLMN"); at != std::string::npos; at = mms.find("/TYPE=PLMN", at + 1))
            ++addresses;
        QCOMPARE(addresses, size_t(3000));
        QVERIFY(mms.find(std::string("\x97") + "13900002999/TYPE=PLMN") != std::string::npos);
    }
};

QTEST_MAIN(GuiTabsTest)
#include "gui_tabs_test.moc"
