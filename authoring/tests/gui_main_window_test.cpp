// The main window and its pages, driven as a user would: buttons, menu items and
// drops, found by objectName; questions answered by a script.
#include <langinfo.h>
#include <locale.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "gui_colours.h"
#include "gui_services.h"
#include "main_window.h"
#include "mms_frame.h"
#include "output_tab.h"
#include "picture_codecs.h"
#include "picture_test_support.h"
#include "scripted_questions.h"
#include "settings_controls.h"
#include "shared_procs.h"
#include "smil_tab.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {
std::string Slurp(const std::string& path) {
    try {
        return ReadFileBytes(path);
    } catch (...) {
        return "<missing>";
    }
}

void WritePng(const std::string& path, Qt::GlobalColor colour) {
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(colour);
    QVERIFY(img.save(QString::fromStdString(path), "PNG"));
}

// Runs one scripted event, as a user's click arriving while a page is selected.
class HookedPump : public TMessagePump {
public:
    std::function<void()> Hook;
    void ProcessMessages() override {
        if (!Hook) return;
        auto hook = std::move(Hook);
        Hook = nullptr;
        hook();
    }
};

int FilesWithExt(const std::string& dir, const std::string& ext) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ext) ++n;
    return n;
}
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TempFolder> FDir;
    ScriptedQuestions FQuestions;
    TMessagePump FPump;
    TClockRandom FRandom;

    std::unique_ptr<Tfrmmms> Open() {
        return std::make_unique<Tfrmmms>(FDir->Path(), FQuestions, FPump, FRandom);
    }
    static TPageList& Pages(Tfrmmms& w) { return w.FMaker->FPages; }
    static void AddPages(Tfrmmms& w, int n) {
        for (int i = 0; i < n; ++i) w.findChild<QToolButton*>("SBNewPage")->click();
    }
    static QString Label(Tfrmmms& w) { return w.findChild<QLabel*>("LabelPageInfo")->text(); }
    // A page off the strip has no frame, and so no place.
    static QRect Geometry(Tfrmmms& w, int i) {
        TFrameDispaly* frame = w.FrameOf(Pages(w)[i]);
        return frame ? frame->geometry() : QRect(0, 0, 0, 0);
    }
    static int FramesLeft(Tfrmmms& w) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return static_cast<int>(w.PanelmmsEdit->findChildren<TFrameDispaly*>().size());
    }
    static QRect Slot(int s) { return QRect(s * 170 + 3, 3, 167, 245); }
    // A message of pages pages, made apart from the window, the first withPicture
    // of them with a picture.
    static std::string PictureMessage(const TempFolder& dir, int pages, int withPicture) {
        const std::string message = dir.Path() + "pages.mms";
        const std::string picture = dir.Path() + "p.png";
        WritePng(picture, Qt::red);
        TClockRandom rng;
        TMmsMaker maker(rng, dir.Path());
        for (int i = 0; i < pages; ++i) {
            maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
            if (i < withPicture) maker.FPages[i]->SetMedia("", picture, "", "", 0);
        }
        maker.MakeMms(message);
        return message;
    }
    static void Trigger(Tfrmmms& w, const char* name) {
        // Main-menu items only: the pages' own menus reuse some names.
        QAction* a = w.menuBar()->findChild<QAction*>(name);
        QVERIFY2(a, name);
        a->trigger();
    }
    // Points the cursor at x (panel coordinates) over the page panel.
    static void CursorAt(Tfrmmms& w, int x) {
        QPoint global = w.PanelmmsEdit->mapToGlobal(QPoint(x, 100));
        w.FCursorPos = [global] { return global; };
    }
    static void Drop(QWidget* target, const QStringList& files) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files) urls << QUrl::fromLocalFile(f);
        mime->setUrls(urls);
        // As the desktop delivers it: the drag enters where the drop then falls.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        delete mime;
    }

private slots:
    // Naming Chinese for the dates and numbers before the application is made
    // never costs the C library the desktop's own locale (and its UTF-8), on a
    // system with or without the Chinese locale installed.
    void chineseFormatsKeepTheDesktopLocale() {
        const char* const names[] = {"LC_ALL", "LANG", "LC_TIME", "LC_NUMERIC", "LC_MESSAGES"};
        std::vector<std::pair<QByteArray, bool>> saved;
        for (const char* name : names)
            saved.emplace_back(qgetenv(name), qEnvironmentVariableIsSet(name));
        const auto restore = qScopeGuard([&] {
            for (size_t i = 0; i < saved.size(); ++i) {
                if (saved[i].second)
                    qputenv(names[i], saved[i].first);
                else
                    qunsetenv(names[i]);
            }
        });
        const struct {
            const char* All;
            const char* Lang;
        } cases[] = {{nullptr, "C.UTF-8"}, {"C.UTF-8", nullptr}, {"C.UTF-8", "C"}};
        locale_t chinese = ::newlocale(LC_TIME_MASK, "zh_CN.UTF-8", locale_t(0));
        const bool haveChinese = chinese != locale_t(0);
        if (chinese) ::freelocale(chinese);
        for (const auto& c : cases) {
            for (const char* name : names) qunsetenv(name);
            if (c.All) qputenv("LC_ALL", c.All);
            if (c.Lang) qputenv("LANG", c.Lang);
            TChineseToolkit::UseChineseFormats();
            const locale_t desktop = ::newlocale(LC_ALL_MASK, "", locale_t(0));
            const QByteArray what =
                QByteArray("LC_ALL=") + (c.All ? c.All : "") + " LANG=" + (c.Lang ? c.Lang : "");
            QVERIFY2(desktop != locale_t(0), what.constData());
            QCOMPARE(QByteArray(::nl_langinfo_l(CODESET, desktop)), QByteArray("UTF-8"));
            ::freelocale(desktop);
            QCOMPARE(qgetenv("LC_TIME") == "zh_CN.UTF-8", haveChinese);
        }
    }

    void init() {
        FDir = std::make_unique<TempFolder>();
        FQuestions.Answers.clear();
        FQuestions.Log.clear();
    }
    void cleanup() { FDir.reset(); }

    void firstStartBuildsTheTreeAndTheWindow() {
        auto w = Open();
        auto f = TProgramFolders::Form(FDir->Path());
        for (const std::string* d : {&f.TempDir, &f.MaterialDir, &f.PictureDir, &f.MusicDir,
                                     &f.TextDir, &f.AttachDir, &f.OutputDir, &f.ConfigDir,
                                     &f.CustomDir})
            QVERIFY2(fs::is_directory(*d), d->c_str());
        QCOMPARE(Slurp(f.CustomDir + "彩信头信息.txt").substr(0, 8), std::string("mmsTo=\r\n"));
        QCOMPARE(Pages(*w).Count(), 0);
        QCOMPARE(Label(*w), QString("总页数:0"));
        QVERIFY(FQuestions.Log.empty());
        QCOMPARE(w->windowTitle(), QString("Quilmar 1.3"));
        QVERIFY(w->findChild<QLineEdit*>("EditmmsTitle")->isHidden());

        auto* tabs = w->findChild<QTabWidget*>("PageControl1");
        const char* names[] = {"TabSheet6", "TabSheet7", "TabSheet1", "TabSheet2", "TabSheet3"};
        const char* captions[] = {"彩信头", "SMIL代码", " 素材 ", "输出设置", "系统配置"};
        QCOMPARE(tabs->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(tabs->widget(i)->objectName(), QString(names[i]));
            QCOMPARE(tabs->tabText(i), QString::fromUtf8(captions[i]));
        }
        struct {
            const char* name;
            const char* caption;
        } items[] = {{"N5", "打开彩信文件"}, {"N10", "关闭"}, {"N8", "新建彩信"},
                     {"N24", "彩信页向前切换"}, {"N4", "彩信页向后切换"}, {"N31", "文本->ANSI文本"},
                     {"UTF81", "文本->UTF8文本"}, {"Unicode1", "文本->Unicode文本"},
                     {"N29", "文本分割"}, {"N7", "系统文件夹"}, {"N14", "临时目录"},
                     {"N11", "彩信目录"}, {"N12", "素材目录"}, {"N13", "配置目录"},
                     {"N15", "删除临时目录内容 "}, {"N3", "音频转换工具"},
                     {"N32", "自定义彩信制作"}, {"N27", "说明"}};
        for (const auto& it : items) {
            auto* a = w->menuBar()->findChild<QAction*>(it.name);
            QVERIFY2(a, it.name);
            QCOMPARE(a->text(), QString::fromUtf8(it.caption));
        }
        QCOMPARE(w->findChild<QMenu*>("N28")->title(), QString("文件夹"));
        QCOMPARE(w->findChild<QMenu*>("N30")->title(), QString("文本格式转换"));

        // Menus and items in their order; separators count as items.
        auto order = [](QMenu* m) {
            QStringList names;
            for (QAction* a : m->actions()) names << a->objectName();
            return names;
        };
        QStringList menus;
        for (QAction* a : w->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"文件", "工具", "帮助"}));
        QMenu* const bar[] = {w->menuBar()->actions()[0]->menu(), w->menuBar()->actions()[1]->menu(),
                              w->menuBar()->actions()[2]->menu()};
        QCOMPARE(order(bar[0]), (QStringList{"N5", "N26", "N10"}));
        QCOMPARE(order(bar[1]), (QStringList{"N8", "N24", "N4", "N9", "N30Action", "N29", "N17",
                                             "N28Action", "N16", "N15", "N25", "N3", "N33", "N32"}));
        QCOMPARE(order(bar[2]), (QStringList{"N27"}));
        QCOMPARE(order(w->findChild<QMenu*>("N30")), (QStringList{"N31", "UTF81", "Unicode1"}));
        QCOMPARE(order(w->findChild<QMenu*>("N28")), (QStringList{"N7", "N14", "N11", "N12", "N13"}));
    }

    void customFolderWithoutTemplateStaysWithout() {
        fs::create_directories(FDir->Path() + "自定义彩信");
        auto w = Open();
        QVERIFY(!fs::exists(FDir->Path() + "自定义彩信/彩信头信息.txt"));
    }

    void closeByMode_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("answer");  // -1: no question expected
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("autosave");  // old, new or gone
        QTest::newRow("0 keeps an earlier autosave") << 0 << -1 << true << "old";
        QTest::newRow("1 saves") << 1 << -1 << true << "new";
        QTest::newRow("2 Yes saves") << 2 << int(TAnswer::Yes) << true << "new";
        QTest::newRow("2 No removes") << 2 << int(TAnswer::No) << true << "gone";
        QTest::newRow("2 Cancel stays open") << 2 << int(TAnswer::Cancel) << false << "old";
        QTest::newRow("7 asks as 2") << 7 << int(TAnswer::Cancel) << false << "old";
    }
    void closeByMode() {
        QFETCH(int, mode);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(QString, autosave);
        auto w = Open();
        const std::string path = w->ConfigDir + "mms.mms";
        WriteFileBytes(path, "old");
        const std::string settings = w->ConfigDir + "mms.ini";
        fs::remove(settings);
        w->FCloseHintMode = mode;
        if (answer >= 0) FQuestions.Answers = {TAnswer(answer)};
        QCOMPARE(w->close(), closes);
        if (answer >= 0) {
            QCOMPARE(FQuestions.Log.size(), size_t(1));
            QCOMPARE(FQuestions.Log[0].caption, std::string("退出提示"));
            QCOMPARE(FQuestions.Log[0].text, std::string("是否保存制作内容"));
            QVERIFY(FQuestions.Log[0].buttons == TButtons::YesNoCancel);
        } else {
            QVERIFY(FQuestions.Log.empty());
        }
        // The settings are written along with the autosave, and only then.
        QCOMPARE(fs::exists(settings), autosave == "new");
        std::string bytes = Slurp(path);
        if (autosave == "old") QCOMPARE(bytes, std::string("old"));
        if (autosave == "gone") QVERIFY(!fs::exists(path));
        if (autosave == "new") {
            // A whole message even without pages: an m-send-req holding the SMIL part.
            QVERIFY(bytes.size() > 2);
            QCOMPARE(uint8_t(bytes[0]), uint8_t(0x8C));
            QCOMPARE(uint8_t(bytes[1]), uint8_t(0x80));
        }
    }

    void failedAutosaveKeepsTheWindowOpenAndSaysWhy() {
        auto w = Open();
        fs::create_directories(w->ConfigDir + "mms.mms/blocked");
        w->FCloseHintMode = 1;
        QVERIFY(!w->close());
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        QVERIFY(FQuestions.Log[0].buttons == TButtons::YesNo);
        QCOMPARE(FQuestions.Log[0].text, "无法保存制作内容：无法创建文件 " + w->ConfigDir +
                                             "mms.mms: 该名称是一个文件夹\r\n\r\n是否不保存，直接退出？");

        // The settings file that cannot be written is named too.
        fs::remove_all(w->ConfigDir + "mms.mms");
        fs::remove(w->ConfigDir + "mms.ini");
        fs::create_directories(w->ConfigDir + "mms.ini/blocked");
        FQuestions.Log.clear();
        QVERIFY(!w->close());
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QVERIFY2(FQuestions.Log[0].text.rfind("无法保存制作内容：", 0) == 0 &&
                     FQuestions.Log[0].text.find("mms.ini") != std::string::npos,
                 FQuestions.Log[0].text.c_str());
        w->FCloseHintMode = 0;
        QVERIFY(w->close());
    }

    // A make that stops on an error says so in one box: the file and the reason,
    // and for a batch how many files were made. No folder window follows.
    void makeFailureIsTold_data() {
        QTest::addColumn<bool>("batch");
        QTest::newRow("single into an output folder that is a file") << false;
        QTest::newRow("batch stopped at its third file") << true;
    }
    void makeFailureIsTold() {
        QFETCH(bool, batch);
        auto w = Open();
        QList<QUrl> opened;
        w->FOpenUrl = [&](const QUrl& u) { opened << u; };
        AddPages(*w, 1);
        QVERIFY(w->AddMaterialFile(FDir->File("a.txt", "hello")));
        w->FSmilTab->MemoSmil->setPlainText("<smil><head><layout/></head></smil>");
        std::string expected;
        if (batch) {
            w->FOutputTab->CBMake->setChecked(true);
            w->FOutputTab->EditAddSource->setText("1;2;3;4;5");
            fs::create_directory(w->OutputDir + "0003.mms");
            expected = "彩信制作失败：无法创建文件 " + w->OutputDir +
                       "0003.mms: 该名称是一个文件夹\r\n已生成 2个彩信文件。";
        } else {
            // Not writable (as root, permission bits would not stop the write).
            fs::remove_all(w->OutputDir);
            WriteFileBytes(FDir->Path() + "彩信目录", "a file");
            expected = "彩信制作失败：无法创建文件 " + w->OutputDir + "0001.mms: 路径中有一项不是文件夹";
        }
        w->findChild<QToolButton*>("SBMakemms")->click();
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        QCOMPARE(FQuestions.Log[0].text, expected);
        QVERIFY(opened.isEmpty());
        if (batch) {
            QVERIFY(fs::exists(w->OutputDir + "0001.mms"));
            QVERIFY(fs::exists(w->OutputDir + "0002.mms"));
        }
    }

    void autosaveBringsTheMessageBackUntilRefused() {
        {
            auto w = Open();
            AddPages(*w, 2);
            w->AddMaterialFile(FDir->File("a.txt", "kept text"));
            w->FCloseHintMode = 1;
            QVERIFY(w->close());
        }
        {
            auto w = Open();
            QCOMPARE(Pages(*w).Count(), 2);
            QCOMPARE(Label(*w), QString("总页数:2"));
            QCOMPARE(Slurp(Pages(*w)[1]->Slot(mkText).File), std::string("kept text\r\n"));
            QCOMPARE(w->FrameOf(Pages(*w)[1])->findChild<QToolButton*>("SBText")->text(),
                     QString("kept text..."));
            w->FCloseHintMode = 2;
            FQuestions.Answers = {TAnswer::No};
            QVERIFY(w->close());
        }
        auto w = Open();
        QCOMPARE(Pages(*w).Count(), 0);
    }

    void autosaveAboveTheUserLimitComesBackAndSurvivesAClose() {
        std::string config;
        {
            auto w = Open();
            config = w->ConfigDir;
            w->FCloseHintMode = 0;
        }
        // A page whose attachment makes the message larger than a user's file may be.
        const std::string big(400000, '\x5A');
        {
            TempFolder other;
            TClockRandom rng;
            TMmsMaker maker(rng, other.Path());
            maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
            maker.FPages[0]->SetMedia(other.File("t.txt", "kept"), "", "", other.File("a.zip", big),
                                      0);
            maker.MakeMms(config + "mms.mms");
        }
        QVERIFY(fs::file_size(config + "mms.mms") > 307200u);
        FQuestions.Log.clear();
        for (int start = 0; start < 2; ++start) {
            auto w = Open();
            QVERIFY(FQuestions.Log.empty());
            QCOMPARE(Pages(*w).Count(), 1);
            QCOMPARE(Slurp(Pages(*w)[0]->Slot(mkAttach).File), big);
            // A close in mode 1 writes the work back, as large as it was.
            w->FCloseHintMode = 1;
            QVERIFY(w->close());
            QVERIFY(fs::file_size(config + "mms.mms") > 307200u);
        }
        // The same file opened by the user is still refused.
        auto w = Open();
        w->FChooseMessageFile = [&] { return QString::fromStdString(config + "mms.mms"); };
        Trigger(*w, "N5");
        QCOMPARE(FQuestions.Log.size(), size_t{1});
        QCOMPARE(FQuestions.Log[0].text, std::string("彩信文件太大"));
        QCOMPARE(Pages(*w).Count(), 1);
        FQuestions.Log.clear();
        w->FCloseHintMode = 0;
    }

    void readMessageGetsFramesForThePagesOnShow() {
        // Six pages, a picture on the first, made apart from the window.
        TempFolder other;
        const std::string message = PictureMessage(other, 6, 1);
        auto w = Open();
        w->FChooseMessageFile = [&] { return QString::fromStdString(message); };
        Trigger(*w, "N5");
        QCOMPARE(Pages(*w).Count(), 6);
        QCOMPARE(Label(*w), QString("总页数:6"));
        QVERIFY(w->PanelmmsEdit->updatesEnabled());
        QCOMPARE(FramesLeft(*w), 4);
        for (int i = 0; i < 6; ++i) {
            const int s = i - w->FStrip->FFirstVisiblePage;
            QCOMPARE(Geometry(*w, i), s >= 0 && s < 4 ? Slot(s) : QRect(0, 0, 0, 0));
        }
        while (w->FStrip->FFirstVisiblePage > 0) w->findChild<QToolButton*>("SBBack")->click();
        QVERIFY(!w->FrameOf(Pages(*w)[0])->findChild<QLabel*>("ImageA")->pixmap().isNull());
        QVERIFY(w->FrameOf(Pages(*w)[1])->findChild<QLabel*>("ImageA")->pixmap().isNull());
    }

    // While a message is read no page it makes is bound to a frame: a page on
    // show would decode its picture, and only the four on show at the end need to.
    void readingAMessageBindsFramesOnlyAtItsEnd() {
        TempFolder other;
        const std::string message = PictureMessage(other, 8, 8);
        // Looks at the pages each time the read lets window messages run.
        struct Watch : TMessagePump {
            TPageList* Pages = nullptr;
            int Bound = 0;
            void ProcessMessages() override {
                if (!Pages) return;
                for (const auto& p : Pages->Items) Bound += p->FView ? 1 : 0;
            }
        } watch;
        Tfrmmms w(FDir->Path(), FQuestions, watch, FRandom);
        watch.Pages = &Pages(w);
        w.ReadMessage(message);
        watch.Pages = nullptr;
        QCOMPARE(Pages(w).Count(), 8);
        QCOMPARE(watch.Bound, 0);
        for (int s = 0; s < 4; ++s) {
            TFrameDispaly* frame = w.FrameOf(Pages(w)[w.FStrip->FFirstVisiblePage + s]);
            QVERIFY(frame);
            QVERIFY(!frame->findChild<QLabel*>("ImageA")->pixmap().isNull());
        }
    }

    void dropWithMessageFileSecond_data() {
        QTest::addColumn<bool>("open");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }
    void dropWithMessageFileSecond() {
        QFETCH(bool, open);
        // A message of two pages, made apart from the window.
        TempFolder other;
        const std::string message = other.Path() + "msg.MMS";
        {
            TClockRandom rng;
            TMmsMaker maker(rng, other.Path());
            for (int i = 0; i < 2; ++i)
                maker.FPages.Items.push_back(std::make_unique<TPageModel>(&maker.FPages));
            maker.MakeMms(message);
        }
        const std::string text = FDir->File("a.txt", "hello");
        const std::string picture = FDir->Path() + "c.png";
        WritePng(picture, Qt::red);

        auto w = Open();
        AddPages(*w, 1);
        CursorAt(*w, 50);
        FQuestions.Answers = {open ? TAnswer::Yes : TAnswer::No, TAnswer::Yes};
        Drop(w->PanelmmsEdit, {QString::fromStdString(text), QString::fromStdString(message),
                               QString::fromStdString(picture)});

        QCOMPARE(FQuestions.Log.at(0).text, std::string("是否要显示彩信内容"));
        QCOMPARE(FQuestions.Log.at(0).caption, std::string("提示"));
        QCOMPARE(FilesWithExt(w->TempDir, ".txt"), 1);  // the first file went onto a page
        if (open) {
            QCOMPARE(FQuestions.Log.size(), size_t(1));
            QCOMPARE(FilesWithExt(w->TempDir, ".png"), 0);  // the third was not processed
            QCOMPARE(LastDropFile, message);
            QCOMPARE(Pages(*w).Count(), 2);  // the message's pages replaced the first
            QVERIFY(Pages(*w)[0]->Slot(mkText).File.empty());
            QCOMPARE(Label(*w), QString("总页数:2"));
        } else {
            QCOMPARE(FQuestions.Log.size(), size_t(2));
            QCOMPARE(FQuestions.Log[1].text, std::string("确定增加附件吗"));
            TPageModel* page = Pages(*w)[0];
            QCOMPARE(page->Slot(mkAttach).Ext, std::string(".mms"));
            QCOMPARE(page->Slot(mkPicture).Ext, std::string(".png"));
            QVERIFY(!page->Slot(mkText).File.empty());
            QCOMPARE(LastDropFile, picture);
        }
    }

    void dropOnAPageArrivesAtThePanel() {
        const std::string text = FDir->File("a.txt", "hello");
        auto w = Open();
        AddPages(*w, 2);
        CursorAt(*w, 50);  // over the first page
        Drop(w->FrameOf(Pages(*w)[0])->findChild<QLabel*>("ImageA"), {QString::fromStdString(text)});
        QVERIFY(Pages(*w)[0]->FSelected);
        QVERIFY(!Pages(*w)[0]->Slot(mkText).File.empty());
        QVERIFY(Pages(*w)[1]->Slot(mkText).File.empty());
    }

    // A dropped file that cannot be taken whole is told, leaves the page and the
    // temporary folder as they were, and ends the drop.
    void failedIntakeEndsTheDropAndIsTold_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("limit");  // bytes a file may grow to; 0: no limit
        QTest::newRow("unreadable text") << "missing.txt" << "文件或文件夹不存在" << 0;
        QTest::newRow("folder") << "pictures" << "这是一个文件夹，不是素材文件" << 0;
        QTest::newRow("folder named as a text") << "notes.txt" << "这是一个文件夹，不是素材文件" << 0;
        QTest::newRow("disk full after 4 KB") << "photo.jpg" << "无法写入文件" << 4096;
    }
    void failedIntakeEndsTheDropAndIsTold() {
        QFETCH(QString, source);
        QFETCH(QString, reason);
        QFETCH(int, limit);
        const std::string path = FDir->Path() + source.toStdString();
        if (source == "pictures" || source == "notes.txt") fs::create_directory(path);
        if (source == "photo.jpg") {
            QImage img(300, 300, QImage::Format_RGB32);
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 300; ++x) img.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x * y) % 256));
            QVERIFY(img.save(QString::fromStdString(path), "JPEG", 95));
            QVERIFY(fs::file_size(path) > 20000);
        }
        const std::string picture = FDir->Path() + "b.png";
        WritePng(picture, Qt::blue);
        auto w = Open();
        AddPages(*w, 1);
        CursorAt(*w, 50);
        FQuestions.Answers = {TAnswer::Yes};  // an attachment would be taken
        {
            std::optional<TFileSizeLimit> full;
            if (limit) full.emplace(limit);
            Drop(w->PanelmmsEdit, {QString::fromStdString(path), QString::fromStdString(picture)});
        }
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        const std::string text = FQuestions.Log[0].text;
        QVERIFY2(text.rfind("素材未能加入：" + path + "\r\n", 0) == 0, text.c_str());
        QVERIFY2(text.find(reason.toStdString()) != std::string::npos, text.c_str());
        for (const TMediaSlot& slot : Pages(*w)[0]->FSlots) QVERIFY(slot.File.empty());
        QVERIFY(fs::is_empty(w->TempDir));
    }

    void pageUnderCursor_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("current");
        QTest::newRow("leftmost column of page 1") << 3 << 2;
        QTest::newRow("inside page 1") << 4 << 0;
        QTest::newRow("last column of page 1") << 169 << 0;
        QTest::newRow("gap") << 171 << 2;
        QTest::newRow("inside page 2") << 174 << 1;
        QTest::newRow("right of the last visible page") << 690 << 2;
    }
    void pageUnderCursor() {
        QFETCH(int, x);
        QFETCH(int, current);
        auto w = Open();
        AddPages(*w, 3);
        CursorAt(*w, x);
        w->SelectPageUnderCursor();
        QCOMPARE(Pages(*w).SelectedIndex(), current);
    }

    void newPagePlacesAndScrolls() {
        auto w = Open();
        AddPages(*w, 1);
        QCOMPARE(Pages(*w).SelectedIndex(), 0);
        QCOMPARE(Geometry(*w, 0), Slot(0));
        QCOMPARE(Label(*w), QString("总页数:1"));

        AddPages(*w, 4);  // five pages
        w->FStrip->FFirstVisiblePage = 0;
        w->FStrip->LayoutPages(0);
        TPageModel* oldFourth = Pages(*w)[3];
        Pages(*w)[2]->SelectPage();
        AddPages(*w, 1);
        QCOMPARE(Pages(*w).SelectedIndex(), 3);
        QCOMPARE(Pages(*w)[4], oldFourth);
        QCOMPARE(w->FStrip->FFirstVisiblePage, 0);
        QCOMPARE(Geometry(*w, 4), QRect(0, 0, 0, 0));

        // The rightmost visible page is current: the row scrolls by one.
        AddPages(*w, 1);
        QCOMPARE(Pages(*w).SelectedIndex(), 4);
        QCOMPARE(w->FStrip->FFirstVisiblePage, 1);
        QCOMPARE(Geometry(*w, 4), Slot(3));
        QCOMPARE(Geometry(*w, 0), QRect(0, 0, 0, 0));
        QCOMPARE(Label(*w), QString("总页数:7"));
    }

    // The reader fills the page it just made, whatever a click during the
    // selection did; a page deleted meanwhile is not handed out.
    void readerGetsTheNewPageItself() {
        HookedPump pump;
        Tfrmmms w(FDir->Path(), FQuestions, pump, FRandom);
        AddPages(w, 2);
        TPageModel* first = Pages(w)[0];
        pump.Hook = [&] { first->SelectPage(); };
        TPageModel* made = w.NewPage();
        QCOMPARE(Pages(w).Count(), 3);
        QCOMPARE(made, Pages(w)[2]);
        QVERIFY(first->FSelected);

        pump.Hook = [&] { w.SBDelCurrentPageClick(); };
        QVERIFY(w.NewPage() == nullptr);
        QCOMPARE(Pages(w).Count(), 3);
    }

    void scrollingStopsAtTheEdges() {
        auto w = Open();
        AddPages(*w, 4);
        w->findChild<QToolButton*>("SBNEXT")->click();
        QCOMPARE(w->FStrip->FFirstVisiblePage, 0);
        AddPages(*w, 2);  // six pages; the new ones scrolled the row to 2
        QCOMPARE(w->FStrip->FFirstVisiblePage, 2);
        w->findChild<QToolButton*>("SBNEXT")->click();
        QCOMPARE(w->FStrip->FFirstVisiblePage, 2);
        for (int expected : {1, 0, 0}) {
            w->findChild<QToolButton*>("SBBack")->click();
            QCOMPARE(w->FStrip->FFirstVisiblePage, expected);
        }
        QCOMPARE(Geometry(*w, 0), Slot(0));
        QCOMPARE(Geometry(*w, 4), QRect(0, 0, 0, 0));
    }

    void onlyTheFourPagesOnShowHaveAPlace() {
        // Only the pages on show have a frame; every other page must be out of
        // sight after pages are added, scrolled and deleted.
        auto w = Open();
        AddPages(*w, 40);
        auto check = [&] {
            for (int i = 0; i < Pages(*w).Count(); ++i) {
                const int s = i - w->FStrip->FFirstVisiblePage;
                const QRect expected = s >= 0 && s < 4 ? Slot(s) : QRect(0, 0, 0, 0);
                QCOMPARE(Geometry(*w, i), expected);
            }
            QCOMPARE(FramesLeft(*w), 4);
        };
        check();
        for (int k = 0; k < 5; ++k) w->findChild<QToolButton*>("SBBack")->click();
        check();
        w->findChild<QToolButton*>("SBDelCurrentPage")->click();
        check();
        int selected = 0;
        for (const auto& p : Pages(*w).Items) selected += p->FSelected ? 1 : 0;
        QCOMPARE(selected, 1);
    }

    void pageBackOnShowShowsWhatItHolds() {
        // A photo taken sideways: 8 x 4 as stored, its EXIF tag turns it upright.
        const std::string picture = FDir->Path() + "p.jpg";
        QImage img(8, 4, QImage::Format_RGB888);
        img.fill(Qt::blue);
        WriteFileBytes(picture, WithExifOrientation(EncodeJpeg(img, 90), 6, false));
        auto w = Open();
        AddPages(*w, 6);  // row at 2
        TPageModel* first = Pages(*w)[0];
        first->SelectPage();
        first->SetMedia(FDir->File("t.txt", "hello"), picture, "", "", 0);
        first->SetPlayTime(9);
        QVERIFY(!w->FrameOf(first));
        QVERIFY(first->FView == nullptr);

        w->findChild<QToolButton*>("SBBack")->click();
        w->findChild<QToolButton*>("SBBack")->click();
        TFrameDispaly* frame = w->FrameOf(first);
        QVERIFY(frame);
        QCOMPARE(frame->geometry(), Slot(0));
        QCOMPARE(frame->findChild<QLabel*>("ImageA")->pixmap().size(), QSize(4, 8));
        QCOMPARE(frame->findChild<QToolButton*>("SBText")->text(), QString("hello..."));
        QCOMPARE(frame->findChild<QLineEdit*>("Editplaytime")->text(), QString("9秒"));
        QCOMPARE(frame->findChild<QGroupBox*>("GB1")->title(), QString("第1页"));
        QCOMPARE(frame->palette().color(QPalette::Window), QColor(0, 255, 0));

        // A page that leaves the strip lets go of its frame.
        TPageModel* fifth = Pages(*w)[4];
        QVERIFY(fifth->FView == nullptr);
        QCOMPARE(FramesLeft(*w), 4);
    }

    void movingPages() {
        auto w = Open();
        AddPages(*w, 3);
        TPageModel* first = Pages(*w)[0];
        first->SelectPage();
        Trigger(*w, "N24");  // forward on the first page: nothing
        QCOMPARE(Pages(*w)[0], first);
        Trigger(*w, "N4");  // backward: it becomes the second page
        QCOMPARE(Pages(*w)[1], first);
        QVERIFY(first->FSelected);
        QCOMPARE(w->FrameOf(first)->findChild<QGroupBox*>("GB1")->title(), QString("第2页"));
        Trigger(*w, "N4");
        Trigger(*w, "N4");  // already last: nothing
        QCOMPARE(Pages(*w)[2], first);
        QCOMPARE(Label(*w), QString("总页数:3"));

        // Moving forward from the leftmost visible place keeps the page in view.
        AddPages(*w, 3);  // six pages, row scrolled
        w->FStrip->FFirstVisiblePage = 2;
        Pages(*w)[2]->SelectPage();
        Trigger(*w, "N24");
        QCOMPARE(w->FStrip->FFirstVisiblePage, 1);
        QCOMPARE(Pages(*w).SelectedIndex(), 1);
        QCOMPARE(Geometry(*w, 1), Slot(0));
    }

    void deletingPages() {
        auto w = Open();
        // No pages: nothing changes, not even the label.
        w->findChild<QLabel*>("LabelPageInfo")->setText("x");
        w->findChild<QToolButton*>("SBDelCurrentPage")->click();
        QCOMPARE(Label(*w), QString("x"));

        AddPages(*w, 1);
        w->findChild<QToolButton*>("SBDelCurrentPage")->click();
        QCOMPARE(Pages(*w).Count(), 0);
        QCOMPARE(Label(*w), QString("总页数:0"));

        // The last of six pages with the row at 2.
        AddPages(*w, 6);
        w->FStrip->FFirstVisiblePage = 2;
        TPageModel* fifth = Pages(*w)[4];
        Pages(*w)[5]->SelectPage();
        w->findChild<QToolButton*>("SBDelCurrentPage")->click();
        QCOMPARE(Pages(*w).Count(), 5);
        QVERIFY(fifth->FSelected);
        QCOMPARE(w->FStrip->FFirstVisiblePage, 1);
        QCOMPARE(Geometry(*w, 4), Slot(3));
        QCOMPARE(Label(*w), QString("总页数:5"));
        QCOMPARE(w->FrameOf(fifth)->findChild<QGroupBox*>("GB1")->title(), QString("第5页"));
    }

    void newMessageFreesEveryPage() {
        auto w = Open();
        AddPages(*w, 5);
        w->ShowSubject("hello");
        Trigger(*w, "N8");
        QCOMPARE(Pages(*w).Count(), 0);
        QCOMPARE(w->FStrip->FFirstVisiblePage, 0);
        QCOMPARE(Label(*w), QString("总页数:0"));
        QVERIFY(!w->findChild<QLineEdit*>("EditmmsTitle")->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(w->PanelmmsEdit->findChildren<TFrameDispaly*>().size(), 0);
    }

    void materialGoesToTheRightPageUnderAFreeName() {
        const std::string picture = FDir->Path() + "Photo.JPG";
        QImage img(4, 4, QImage::Format_RGB32);
        img.fill(Qt::green);
        img.save(QString::fromStdString(picture), "JPEG");
        const std::string bare = FDir->File("README", "notes");

        auto w = Open();
        AddPages(*w, 6);  // row at 2
        Pages(*w)[0]->SelectPage();  // current page left of the window
        w->AddMaterialFile(picture);
        TPageModel* last = Pages(*w)[5];
        const std::string firstCopy = last->Slot(mkPicture).File;
        QCOMPARE(firstCopy.substr(0, w->TempDir.size()), w->TempDir);
        QCOMPARE(ExtractFileName(firstCopy).size(), size_t(8));
        QCOMPARE(ExtractFileExt(firstCopy), std::string(".jpg"));
        QVERIFY(!w->FrameOf(last)->findChild<QLabel*>("ImageA")->pixmap().isNull());

        // A second picture replaces the first; its working copy stays.
        w->AddMaterialFile(picture);
        QVERIFY(last->Slot(mkPicture).File != firstCopy);
        QVERIFY(fs::exists(firstCopy));

        FQuestions.Answers = {TAnswer::Yes};
        w->AddMaterialFile(bare);
        const std::string attach = last->Slot(mkAttach).File;
        QCOMPARE(ExtractFileName(attach).size(), size_t(4));
        QCOMPARE(Slurp(attach), std::string("notes"));

        // Refused: nothing changes.
        FQuestions.Answers = {TAnswer::No};
        w->AddMaterialFile(FDir->File("x.zip", "zip"));
        QCOMPARE(last->Slot(mkAttach).File, attach);
    }

    void takenWorkingCopyNameIsDrawnAgain() {
        ScriptedRandom rng;
        rng.Draws = {1, 1, 1, 1, 2, 2, 2, 2};
        Tfrmmms w(FDir->Path(), FQuestions, FPump, rng);
        WriteFileBytes(w.TempDir + "1111.txt", "another page's text");
        AddPages(w, 1);
        w.AddMaterialFile(FDir->File("a.txt", "new text"));
        QCOMPARE(Slurp(w.TempDir + "1111.txt"), std::string("another page's text"));
        QCOMPARE(Pages(w)[0]->Slot(mkText).File, w.TempDir + "2222.txt");
        QCOMPARE(Slurp(w.TempDir + "2222.txt"), std::string("new text\r\n"));
    }

    void messageFileInTheBrowserIsOffered() {
        auto w = Open();
        AddPages(*w, 1);
        FQuestions.Answers = {TAnswer::No, TAnswer::Yes};
        w->SLVDataDblClick(FDir->File("old.DAT", "data"));
        QCOMPARE(FQuestions.Log.size(), size_t(2));
        QCOMPARE(FQuestions.Log[0].text, std::string("是否要显示彩信内容"));
        QCOMPARE(FQuestions.Log[1].text, std::string("确定增加附件吗"));
        QCOMPARE(Pages(*w)[0]->Slot(mkAttach).Ext, std::string(".dat"));
    }

    void noPageTakesNoMaterial() {
        auto w = Open();
        w->AddMaterialFile(FDir->File("a.txt", "x"));
        QCOMPARE(FilesWithExt(w->TempDir, ".txt"), 0);
        QVERIFY(FQuestions.Log.empty());
    }

    void frameShowsItsPage() {
        auto w = Open();
        AddPages(*w, 2);
        TPageModel* first = Pages(*w)[0];
        TFrameDispaly* frame = w->FrameOf(first);
        first->SelectPage();
        QCOMPARE(frame->palette().color(QPalette::Window), QColor(0, 255, 0));
        QCOMPARE(w->FrameOf(Pages(*w)[1])->palette().color(QPalette::Window),
                 ColorFromBgr(0xF0FBFF));
        // Clicking the other page's group box makes it current.
        QTest::mouseClick(w->FrameOf(Pages(*w)[1])->findChild<QGroupBox*>("GB1"), Qt::LeftButton);
        QVERIFY(Pages(*w)[1]->FSelected);
        QCOMPARE(frame->palette().color(QPalette::Window), ColorFromBgr(0xF0FBFF));

        first->SelectPage();
        w->AddMaterialFile(FDir->File("t.txt", std::string(40, 'a')));
        w->AddMaterialFile(FDir->File("song.mid", "MThd"));
        first->SetPlayTime(7500);
        auto* text = frame->findChild<QToolButton*>("SBText");
        QCOMPARE(text->text(), QString(20, 'a') + "\n" + QString(16, 'a') + "...");
        QVERIFY(text->font().bold() && text->font().italic());
        QVERIFY(frame->findChild<QToolButton*>("SBAduio")->text().endsWith(".mid ..."));
        QCOMPARE(frame->findChild<QLineEdit*>("Editplaytime")->text(), QString("7秒"));
        QCOMPARE(frame->findChild<QLabel*>("Panel3")->text(), QString("双击添加图片"));
        first->ClearMedia(mkText);
        QCOMPARE(text->text(), QString("点此添加文字"));
        QVERIFY(!text->font().bold());
    }

    void menuShortcutsAndHelp() {
        auto w = Open();
        QList<QUrl> opened;
        QStringList started;
        w->FOpenUrl = [&](const QUrl& u) { opened << u; };
        w->FStartDetached = [&](const QString& p) {
            started << p;
            return true;
        };
        for (const char* item : {"N7", "N14", "N11", "N12", "N13"}) Trigger(*w, item);
        QCOMPARE(opened.size(), 5);
        QCOMPARE(opened[0].toLocalFile().toStdString(), w->ProgramDir);
        QCOMPARE(opened[1].toLocalFile().toStdString(), w->TempDir);
        QCOMPARE(opened[2].toLocalFile().toStdString(), w->OutputDir);
        QCOMPARE(opened[3].toLocalFile().toStdString(), w->MaterialDir);
        QCOMPARE(opened[4].toLocalFile().toStdString(), w->ConfigDir);

        Trigger(*w, "N3");  // no converter beside the program: nothing
        QVERIFY(started.isEmpty());
        WriteFileBytes(w->ProgramDir + "zur", "#!/bin/sh\n");
        Trigger(*w, "N3");
        QCOMPARE(started, QStringList{QString::fromStdString(w->ProgramDir + "zur")});

        Trigger(*w, "N27");
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        QVERIFY(FQuestions.Log[0].buttons == TButtons::Ok);
        QCOMPARE(FQuestions.Log[0].text,
                 std::string("【使用帮助】 \r\n\r\n1。支持拖放选择素材 \r\n"
                             "2。支持的素材格式文本(txt),音频(zur,wav,mid,mp3),图片(jpg,png,bmp,gif),"
                             "其它类型将于附件格式发送 \r\n3。彩信大小不建议超过100K \r\n"
                             "4。如果采用自定义彩信制作，需要把所有的彩信素材放到自定义彩信目录,"
                             "包括smil文件"));
    }

    // The program's boxes: a result listing many oversize files stays on the
    // screen with its button in reach, the text scrolling, word for word the same.
    void longBoxStaysOnTheScreenAndScrolls_data() {
        QTest::addColumn<int>("files");
        QTest::newRow("three oversize files") << 3;
        QTest::newRow("two hundred oversize files") << 200;
    }
    void longBoxStaysOnTheScreenAndScrolls() {
        QFETCH(int, files);
        std::string text = "制作完成，共生成 " + std::to_string(files) +
                           "个彩信文件。\r\n\r\n以下文件偏大,如果不适合发送的话，请删除\r\n";
        for (int i = 1; i <= files; ++i) text += "【" + std::to_string(1000 + i) + ".mms】 120K\r\n";
        const QString shown = QString::fromStdString(text).replace("\r\n", "\n");

        QString caption, boxText;
        QRect box, area, button;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            poll.stop();
            caption = dialog->windowTitle();
            box = dialog->frameGeometry();
            area = dialog->screen()->availableGeometry();
            if (auto* m = qobject_cast<QMessageBox*>(dialog)) boxText = m->text();
            if (auto* label = dialog->findChild<QLabel*>("MessageText")) {
                boxText = label->text();
                QVERIFY(dialog->findChild<QScrollArea*>("MessageScroll"));
            }
            for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
                if (b->text().contains("OK", Qt::CaseInsensitive))
                    button = QRect(b->mapToGlobal(QPoint(0, 0)), b->size());
            dialog->done(QMessageBox::Ok);
        });
        poll.start();
        TMessageBoxQuestions boxes;
        QVERIFY(boxes.Ask("提示", text, TButtons::Ok, TIcon::Information) == TAnswer::Ok);
        QCOMPARE(caption, QString("提示"));
        QCOMPARE(boxText, shown);
        QVERIFY2(area.contains(box), qPrintable(QString("box %1 x %2 on a screen of %3 x %4")
                                                    .arg(box.width()).arg(box.height())
                                                    .arg(area.width()).arg(area.height())));
        QVERIFY(!button.isEmpty());
        QVERIFY(area.contains(button));
    }

    // Enter presses the button the question names as its default, in a box of
    // either kind (a long text gets a scrolling one).
    void enterPressesTheOfferedDefault_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("offered");
        for (int lines : {1, 300}) {
            const QByteArray kind = lines == 1 ? "short, " : "scrolling, ";
            QTest::newRow(kind + "Yes/No, No") << lines << int(TButtons::YesNo) << int(TAnswer::No);
            QTest::newRow(kind + "Yes/No, Yes")
                << lines << int(TButtons::YesNo) << int(TAnswer::Yes);
            QTest::newRow(kind + "Yes/No/Cancel, Cancel")
                << lines << int(TButtons::YesNoCancel) << int(TAnswer::Cancel);
            QTest::newRow(kind + "Yes/No/Cancel, No")
                << lines << int(TButtons::YesNoCancel) << int(TAnswer::No);
        }
    }
    void enterPressesTheOfferedDefault() {
        QFETCH(int, lines);
        QFETCH(int, buttons);
        QFETCH(int, offered);
        std::string text;
        for (int i = 0; i < lines; ++i) text += "是否不保存，直接退出？\r\n";
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            poll.stop();
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus && dialog->isAncestorOf(focus) ? focus : dialog, Qt::Key_Return);
        });
        poll.start();
        TMessageBoxQuestions boxes;
        QCOMPARE(
            int(boxes.Ask("提示", text, TButtons(buttons), TIcon::Information, TAnswer(offered))),
            offered);
    }

    // Every question of the window whose Yes can lose work offers its safe answer
    // to Enter; the others keep Yes there.
    void questionsOfferTheSafeAnswerToEnter() {
        struct Row {
            const char* name;
            std::function<void(Tfrmmms&)> act;
            std::string text;  // the question's text, or how it begins
            TButtons buttons;
            TAnswer offered;
        };
        const std::string zip = FDir->File("x.zip", "zip");
        const std::string mms = FDir->File("old.mms", "data");
        const std::vector<Row> rows = {
            {"close, mode 2: Yes saves",
             [](Tfrmmms& w) {
                 w.FCloseHintMode = 2;
                 w.close();
             },
             "是否保存制作内容", TButtons::YesNoCancel, TAnswer::Yes},
            {"close that cannot save: Yes leaves without the pages",
             [](Tfrmmms& w) {
                 fs::create_directories(w.ConfigDir + "mms.mms/blocked");
                 w.FCloseHintMode = 1;
                 w.close();
                 fs::remove_all(w.ConfigDir + "mms.mms");
             },
             "无法保存制作内容：", TButtons::YesNo, TAnswer::No},
            {"message file over pages: Yes replaces them",
             [mms](Tfrmmms& w) {
                 AddPages(w, 1);
                 w.SLVDataDblClick(mms);
             },
             "是否要显示彩信内容", TButtons::YesNo, TAnswer::No},
            {"message file without pages", [mms](Tfrmmms& w) { w.SLVDataDblClick(mms); },
             "是否要显示彩信内容", TButtons::YesNo, TAnswer::Yes},
            {"attachment over one: Yes replaces it",
             [zip](Tfrmmms& w) {
                 AddPages(w, 1);
                 w.FMaker->FPages[0]->SetMedia("", "", "", zip, 0);
                 w.AddMaterialFile(zip);
             },
             "确定增加附件吗", TButtons::YesNo, TAnswer::No},
            {"attachment into an empty slot",
             [zip](Tfrmmms& w) {
                 AddPages(w, 1);
                 w.AddMaterialFile(zip);
             },
             "确定增加附件吗", TButtons::YesNo, TAnswer::Yes},
        };
        for (const Row& row : rows) {
            FQuestions.Log.clear();
            FQuestions.Answers.clear();  // every question refused
            auto w = Open();
            row.act(*w);
            QVERIFY2(!FQuestions.Log.empty(), row.name);
            const Asked& asked = FQuestions.Log.front();
            QVERIFY2(asked.text.rfind(row.text, 0) == 0, row.name);
            QVERIFY2(asked.buttons == row.buttons, row.name);
            QVERIFY2(asked.defaultAnswer == row.offered, row.name);
            w->FCloseHintMode = 0;
        }
    }

    // Frames are reused as the strip scrolls: however many pages the message has,
    // the panel holds the four frames it started with, each bound to a page on show.
    void framesAreReusedAsTheStripScrolls() {
        auto w = Open();
        AddPages(*w, 5000);
        QCOMPARE(FramesLeft(*w), 4);
        std::vector<QPointer<TFrameDispaly>> frames;
        for (TFrameDispaly* f : w->PanelmmsEdit->findChildren<TFrameDispaly*>())
            frames.push_back(f);
        for (int k = 0; k < 10; ++k) w->findChild<QToolButton*>("SBBack")->click();
        for (int k = 0; k < 3; ++k) w->findChild<QToolButton*>("SBNEXT")->click();
        QCOMPARE(FramesLeft(*w), 4);
        std::set<TFrameDispaly*> onShow;
        for (int s = 0; s < 4; ++s)
            onShow.insert(w->FrameOf(Pages(*w)[w->FStrip->FFirstVisiblePage + s]));
        for (const QPointer<TFrameDispaly>& f : frames) {
            QVERIFY(f);
            QVERIFY(onShow.count(f.data()) == 1);
        }
    }

    // A frame that takes another page shows that page's data, whatever it showed.
    void aReusedFrameShowsItsNewPage() {
        auto w = Open();
        AddPages(*w, 9);
        for (int i = 0; i < 9; ++i) {
            Pages(*w)[i]->SetMedia(
                FDir->File("t" + std::to_string(i) + ".txt", "text " + std::to_string(i)), "", "",
                "", 0);
            Pages(*w)[i]->SetPlayTime(10 + i);
        }
        auto check = [&] {
            for (int s = 0; s < 4; ++s) {
                TPageModel* page = Pages(*w)[w->FStrip->FFirstVisiblePage + s];
                TFrameDispaly* frame = w->FrameOf(page);
                QVERIFY(frame);
                QCOMPARE(frame->Page(), page);
                QCOMPARE(frame->findChild<QLineEdit*>("Editplaytime")->text(),
                         QString::fromStdString(page->FPlayTimeText));
                QCOMPARE(frame->findChild<QToolButton*>("SBText")->text(),
                         QString::fromStdString(page->FTextCaption));
                QCOMPARE(frame->findChild<QGroupBox*>("GB1")->title(),
                         QString("第%1页").arg(w->FStrip->FFirstVisiblePage + s + 1));
            }
        };
        const char* steps[] = {"SBBack", "SBBack", "SBBack", "SBNEXT",
                               "SBBack", "SBBack", "SBNEXT", "SBNEXT"};
        for (const char* step : steps) {
            w->findChild<QToolButton*>(step)->click();
            check();
            if (QTest::currentTestFailed()) return;
        }
    }

    // The pages changed behind the strip's back: those on show freed, new ones
    // made, which the allocator mostly puts where the freed ones were. A frame
    // whose old page had a new one's address is bound to it all the same, and
    // shows it.
    void aFrameIsBoundAnewToAPageAtItsOldPagesAddress() {
        auto w = Open();
        AddPages(*w, 4);
        std::set<const TPageModel*> before;
        for (int i = 0; i < 4; ++i) before.insert(Pages(*w)[i]);
        Pages(*w).Items.clear();
        for (int i = 0; i < 4; ++i) {
            Pages(*w).Items.push_back(std::make_unique<TPageModel>(&Pages(*w)));
            Pages(*w)[i]->SetPlayTime(11 + i);
        }
        w->FStrip->SyncFrames();
        int reused = 0;
        for (int s = 0; s < 4; ++s) {
            TPageModel* page = Pages(*w)[s];
            reused += before.count(page) ? 1 : 0;
            TFrameDispaly* frame = w->FrameOf(page);
            QVERIFY(frame);
            QCOMPARE(frame->Page(), page);
            QVERIFY(page->FView == frame);
            QCOMPARE(frame->findChild<QLineEdit*>("Editplaytime")->text(),
                     QString::fromStdString(page->FPlayTimeText));
        }
        if (reused == 0) qInfo("no new page took a freed page's address");
    }

    // The caret in a page's duration box, the page scrolled out of view: what is
    // typed then goes to that page or nowhere, never to the page the frame took.
    void typingAfterAScrollNeverLandsOnAnotherPage() {
        auto w = Open();
        AddPages(*w, 8);
        while (w->FStrip->FFirstVisiblePage > 0) w->findChild<QToolButton*>("SBBack")->click();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        TPageModel* third = Pages(*w)[2];
        TPageModel* seventh = Pages(*w)[6];
        QLineEdit* box = w->FrameOf(third)->findChild<QLineEdit*>("Editplaytime");
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        for (int k = 0; k < 3; ++k) w->findChild<QToolButton*>("SBNEXT")->click();
        QVERIFY(!w->FrameOf(third));
        TFrameDispaly* frame = w->FrameOf(seventh);
        QVERIFY(frame);
        const QString shown = frame->findChild<QLineEdit*>("Editplaytime")->text();
        // The box holds at most three characters: the user selects what is there first.
        QTest::keyClick(w->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        for (Qt::Key key : {Qt::Key_4, Qt::Key_2}) QTest::keyClick(w->windowHandle(), key);
        QCoreApplication::processEvents();
        QVERIFY(!seventh->FTypedPlayTime);
        QCOMPARE(frame->findChild<QLineEdit*>("Editplaytime")->text(), shown);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(!focus || !w->PanelmmsEdit->isAncestorOf(focus) || w->FrameOf(third));
    }

    // The page with the caret freed behind the strip's back, its frame let go: a
    // hidden focus widget would hand the caret on to another page's box.
    void aFrameLetGoHandsTheCaretToNoOtherPage() {
        auto w = Open();
        AddPages(*w, 4);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QLineEdit* box = w->FrameOf(Pages(*w)[2])->findChild<QLineEdit*>("Editplaytime");
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        Pages(*w).Items.erase(Pages(*w).Items.begin() + 2);
        w->FStrip->SyncFrames();
        QCOMPARE(FramesLeft(*w), 3);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY2(!focus || !w->PanelmmsEdit->isAncestorOf(focus),
                 qPrintable(focus ? focus->objectName() : QString()));
    }

    // A split that fails at part 4 says what it left: three parts, and where.
    void failedSplitSaysWhatIsOnDisk() {
        auto w = Open();
        w->FTxtMaxLen = 10;
        const std::string story = FDir->File("story.txt", std::string(48, 'x'));  // 50 with CR LF
        fs::create_directories(FDir->Path() + "story.0004.txt/occupied");
        w->FChooseSplitFiles = [&](const QString&) {
            return QStringList{QString::fromStdString(story)};
        };
        Trigger(*w, "N29");
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        const std::string& text = FQuestions.Log[0].text;
        QVERIFY2(text.rfind("文本分割失败：" + story, 0) == 0, text.c_str());
        QVERIFY2(text.find("已写入 3 个分割文件（story.0001.txt 至 story.0003.txt），保留在 " +
                           FDir->Path()) != std::string::npos,
                 text.c_str());
        for (int k = 1; k <= 3; ++k)
            QVERIFY(fs::is_regular_file(FDir->Path() + "story.000" + std::to_string(k) + ".txt"));
        QVERIFY(!fs::exists(FDir->Path() + "story.0005.txt"));
    }

    void temporaryFolderIsEmptiedOnDemandAndAtTheEnd() {
        std::string temp;
        {
            auto w = Open();
            temp = w->TempDir;
            AddPages(*w, 1);
            w->AddMaterialFile(FDir->File("a.txt", "x"));
            const std::string copy = Pages(*w)[0]->Slot(mkText).File;
            Trigger(*w, "N15");
            QVERIFY(!fs::exists(copy));
            QCOMPARE(Pages(*w)[0]->Slot(mkText).File, copy);  // the page keeps its path
            WriteFileBytes(temp + "0000.smil", "<smil>");
            WriteFileBytes(temp + "1234", "no extension");
        }
        QVERIFY(!fs::exists(temp + "0000.smil"));
        QVERIFY(fs::exists(temp + "1234"));
    }
};

int main(int argc, char** argv) {
    TQuilmarApplication app(argc, argv);
    TestMainWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "gui_main_window_test.moc"
