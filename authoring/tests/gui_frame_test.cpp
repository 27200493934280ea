// The page frames' controls and the main menu's text tools and custom compiler,
// driven through their widgets; the choosers, the media player and the file
// dialogs are scripted.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "gui_colours.h"
#include "gui_services.h"
#include "main_window.h"
#include "media_player.h"
#include "mms_frame.h"
#include "text_sel.h"
#include "test_support.h"

namespace fs = std::filesystem;

Q_DECLARE_METATYPE(std::string)

namespace {
struct Asked {
    std::string caption, text;
};

class ScriptedQuestions : public TQuestions {
public:
    std::vector<Asked> Log;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon,
                TAnswer) override {
        Log.push_back({caption, text});
        return buttons == TButtons::Ok ? TAnswer::Ok : TAnswer::No;
    }
};

// Gives the scripted results and records what each chooser was preset with.
class FakeChoosers : public TPageChoosers {
public:
    std::optional<TTextChoice> Text;
    std::optional<TAudioChoice> Audio;
    std::optional<std::string> Picture;
    std::string Attachment;
    std::vector<std::string> Presets;
    int32_t MaxLen = -1;

    std::optional<TTextChoice> ChooseText(const std::string& current, int32_t maxLen) override {
        Presets.push_back(current);
        MaxLen = maxLen;
        return Text;
    }
    std::optional<TAudioChoice> ChooseAudio(const std::string& current) override {
        Presets.push_back(current);
        return Audio;
    }
    std::optional<std::string> ChoosePicture(const std::string& current) override {
        Presets.push_back(current);
        return Picture;
    }
    std::string ChooseAttachment(QWidget*) override { return Attachment; }
};

// Knows the lengths of some clips; any other clip cannot be opened.
class FakePlayer : public MediaPlayer {
public:
    std::map<std::string, int64_t> Lengths;
    std::vector<std::string> Log;
    std::string Current;

    void Open(const std::string& file) override {
        Log.push_back("open " + fs::path(file).filename().string());
        Current.clear();
        if (!Lengths.count(file)) throw EMediaError("cannot open");
        Current = file;
    }
    int64_t LengthMs() override {
        if (Current.empty()) throw EMediaError("not open");
        return Lengths[Current];
    }
    void Play() override { Log.push_back("play"); }
    void Stop() override {
        Log.push_back("stop");
        if (Current.empty()) throw EMediaError("not open");
    }
    void Close() override {
        Log.push_back("close");
        Current.clear();
    }
    bool IsOpen() const override { return !Current.empty(); }
};

std::string Slurp(const std::string& path) {
    try {
        return ReadFileBytes(path);
    } catch (...) {
        return "<missing>";
    }
}

void WritePng(const std::string& path) {
    QImage img(8, 6, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(QString::fromStdString(path), "PNG"));
}

// A working copy: four digits and the extension, in the temporary folder.
bool IsWorkingCopy(const std::string& path, const std::string& tempDir, const std::string& ext) {
    if (path.rfind(tempDir, 0) != 0) return false;
    const std::string name = path.substr(tempDir.size());
    return name.size() == 4 + ext.size() && name.substr(4) == ext &&
           std::all_of(name.begin(), name.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
}
}  // namespace

class TestPageFrame : public QObject {
    Q_OBJECT

    std::unique_ptr<TempFolder> FDir;
    ScriptedQuestions FQuestions;
    TMessagePump FPump;
    ScriptedRandom FRandom;  // every draw 0: names collide unless the copy avoids them
    FakeChoosers FChoosers;
    FakePlayer FPlayer;

    std::unique_ptr<Tfrmmms> Open(int pages = 1) {
        auto w = std::make_unique<Tfrmmms>(FDir->Path(), FQuestions, FPump, FRandom);
        w->FChoosers = &FChoosers;
        w->FMediaPlayer = &FPlayer;
        for (int i = 0; i < pages; ++i) w->findChild<QToolButton*>("SBNewPage")->click();
        return w;
    }
    static TPageModel* Page(Tfrmmms& w, int i) { return w.FMaker->FPages[i]; }
    static TFrameDispaly* Frame(Tfrmmms& w, int i) { return w.FrameOf(Page(w, i)); }
    template <class T>
    static T* Child(Tfrmmms& w, int i, const char* name) {
        T* c = Frame(w, i)->findChild<T*>(name);
        if (!c) qFatal("no %s", name);
        return c;
    }
    static QAction* MenuItem(Tfrmmms& w, int i, const char* name) {
        return Child<QMenu>(w, i, "PopupMenuB")->findChild<QAction*>(name);
    }
    static void DoubleClick(QWidget* target) {
        QMouseEvent e(QEvent::MouseButtonDblClick, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }
    // A drag that enters the target and is dropped there, as the drag manager
    // delivers it.
    static void DragAndDrop(QWidget* target, QMimeData* mime) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        delete mime;
    }
    static QMimeData* MaterialDrag(const std::string& path) {
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        mime->setData(kMaterialDragFormat, "1");
        return mime;
    }
    static TPageChoosers::TTextChoice TextChoice(const std::string& text, int mode) {
        return {text, QColor(Qt::red), QColor(Qt::yellow), mode};
    }

private slots:
    void init() {
        FDir = std::make_unique<TempFolder>();
        FQuestions.Log.clear();
        FChoosers = FakeChoosers();
        FPlayer = FakePlayer();
        FRandom.Draws.clear();
        LastDropFile.clear();
    }
    void cleanup() { FDir.reset(); }

    // ---- choosing the text ----

    void textChoiceSetsTextAndTime_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("chars");
        QTest::addColumn<int>("after");
        // 100 characters and the final line break: 102 at 6 a second.
        QTest::newRow("recompute") << 2 << 612 << 5 << 100 << 17;
        QTest::newRow("add") << 1 << 612 << 5 << 100 << 22;
        QTest::newRow("keep") << 3 << 612 << 5 << 100 << 5;
        QTest::newRow("short text takes one second") << 2 << 612 << 5 << 3 << 1;
        QTest::newRow("no reading speed") << 2 << 99 << 5 << 100 << 5;
        // 122 / 6 = 20 more seconds: stays 1010 seconds, not 1010 ms.
        QTest::newRow("sum past 999 stays seconds") << 1 << 612 << 990 << 120 << 1010;
    }
    void textChoiceSetsTextAndTime() {
        QFETCH(int, mode);
        QFETCH(int, speed);
        QFETCH(int, before);
        QFETCH(int, chars);
        QFETCH(int, after);
        auto w = Open(2);
        w->FTxtTimeOptPs = speed;
        w->FTxtMaxLen = 70;
        // A file of that name belongs to someone else and must survive.
        const std::string taken = w->TempDir + "0000.txt";
        WriteFileBytes(taken, "other page");
        TPageModel* page = Page(*w, 0);
        page->SetPlayTime(before);
        FChoosers.Text = TextChoice(std::string(chars, 'a'), mode);

        Child<QToolButton>(*w, 0, "SBText")->click();

        QCOMPARE(FChoosers.Presets, std::vector<std::string>{""});
        QCOMPARE(FChoosers.MaxLen, 70);
        const std::string file = page->Slot(mkText).File;
        QVERIFY2(IsWorkingCopy(file, w->TempDir, ".txt"), file.c_str());
        QVERIFY(file != taken);
        QCOMPARE(Slurp(taken), std::string("other page"));
        QCOMPARE(Slurp(file), std::string(chars, 'a') + "\r\n");
        QCOMPARE(page->FPlayTime, after);
        QCOMPARE(Child<QLineEdit>(*w, 0, "Editplaytime")->text(),
                 mode == 3 || speed < 100 ? QString::number(before) + "秒" : QString::number(after) + "秒");
        QCOMPARE(Child<QFrame>(*w, 0, "Paneltext")->palette().color(QPalette::Window), QColor(Qt::yellow));
        QCOMPARE(Child<QToolButton>(*w, 0, "SBText")->palette().color(QPalette::ButtonText),
                 QColor(Qt::red));
        QVERIFY(!Page(*w, 0)->FSelected);  // the text button does not select its page
    }

    void textChoiceBlankOrCancelled() {
        auto w = Open();
        TPageModel* page = Page(*w, 0);
        FChoosers.Text = TextChoice("first\nsecond", 2);
        Child<QToolButton>(*w, 0, "SBText")->click();
        const std::string first = page->Slot(mkText).File;
        QCOMPARE(Slurp(first), std::string("first\r\nsecond\r\n"));
        const int duration = page->FPlayTime;

        // Cancelled: nothing changes, colours included.
        FChoosers.Text.reset();
        Child<QFrame>(*w, 0, "Paneltext")->setPalette(QPalette(Qt::blue));
        Child<QToolButton>(*w, 0, "SBText")->click();
        QCOMPARE(FChoosers.Presets.back(), first);
        QCOMPARE(page->Slot(mkText).File, first);
        QCOMPARE(Child<QFrame>(*w, 0, "Paneltext")->palette().color(QPalette::Window), QColor(Qt::blue));

        // Confirmed blank: the text goes, the colours come, the duration stays.
        FChoosers.Text = TextChoice(" \n\t ", 2);
        Child<QToolButton>(*w, 0, "SBText")->click();
        QVERIFY(page->Slot(mkText).File.empty());
        QCOMPARE(Child<QToolButton>(*w, 0, "SBText")->text(), QString("点此添加文字"));
        QCOMPARE(Child<QFrame>(*w, 0, "Paneltext")->palette().color(QPalette::Window), QColor(Qt::yellow));
        QCOMPARE(page->FPlayTime, duration);
    }

    // The program's text chooser is shown only when the page's text could be read.
    void realTextChooserIsPresetOrNotShown() {
        auto w = Open();
        TFrmtextSel textSel(FPump, 612, w->FFolders.TextDir, w.get());
        TChooserWindows windows;
        windows.Text = &textSel;
        w->FChoosers = &windows;
        TPageModel* page = Page(*w, 0);
        w->AddMaterialFile(FDir->File("t.txt", "hello"));
        const std::string copy = page->Slot(mkText).File;

        QString shownText;
        bool shown = false;
        auto closeWhenShown = [&] {
            QTimer::singleShot(0, [&] {
                if (QWidget* m = QApplication::activeModalWidget()) {
                    shown = true;
                    shownText = QString::fromStdString(textSel.Text());
                    static_cast<QDialog*>(m)->reject();
                }
            });
        };
        closeWhenShown();
        Child<QToolButton>(*w, 0, "SBText")->click();
        QVERIFY(shown);
        QCOMPARE(shownText, QString("hello\n"));  // the working copy ends its line
        QCOMPARE(page->Slot(mkText).File, copy);

        // The temporary folder was emptied under the page: no window, no change.
        fs::remove(copy);
        shown = false;
        closeWhenShown();
        Child<QToolButton>(*w, 0, "SBText")->click();
        QVERIFY(!shown);
        QCOMPARE(page->Slot(mkText).File, copy);
        w->FChoosers = nullptr;
    }

    // ---- choosing the audio ----

    void audioChoice_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("lengthMs");  // of the playable file; -1: cannot be opened
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("measured");  // empty: not measured
        QTest::addColumn<int>("after");
        const QStringList songPair{"song.mp3", "song.zur"};
        const QStringList clipSet{"clip.zur", "clip.wav", "clip.mp3"};
        QTest::newRow("mp3 sends its zur") << songPair << "song.mp3" << 2 << 2400 << 5 << "song.zur"
                                          << "song.mp3" << 2;
        QTest::newRow("zur measured by its wav") << clipSet << "clip.zur" << 2 << 7000 << 5
                                                 << "clip.zur" << "clip.wav" << 7;
        QTest::newRow("lone zur") << QStringList{"lone.zur"} << "lone.zur" << 2 << 0 << 5 << "lone.zur"
                                  << "" << 5;
        QTest::newRow("short clip takes one second") << QStringList{"a.wav"} << "a.wav" << 2 << 300
                                                     << 5 << "a.wav" << "a.wav" << 1;
        QTest::newRow("add") << QStringList{"a.wav"} << "a.wav" << 1 << 2400 << 5 << "a.wav"
                             << "a.wav" << 7;
        QTest::newRow("sum past 999 stays seconds") << QStringList{"a.wav"} << "a.wav" << 1 << 20000
                                                    << 990 << "a.wav" << "a.wav" << 1010;
        QTest::newRow("keep") << QStringList{"a.wav"} << "a.wav" << 3 << 2400 << 5 << "a.wav" << ""
                              << 5;
        QTest::newRow("cannot be measured") << QStringList{"bad.wav"} << "bad.wav" << 2 << -1 << 5
                                            << "bad.wav" << "bad.wav" << 5;
    }
    void audioChoice() {
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        QFETCH(int, mode);
        QFETCH(int, lengthMs);
        QFETCH(int, before);
        QFETCH(QString, sent);
        QFETCH(QString, measured);
        QFETCH(int, after);
        TempFolder music;
        for (const QString& f : files) music.File(f.toStdString(), "RIFF");
        if (lengthMs >= 0 && !measured.isEmpty())
            FPlayer.Lengths[music.Path() + measured.toStdString()] = lengthMs;
        auto w = Open();
        TPageModel* page = Page(*w, 0);
        page->SetPlayTime(before);
        FChoosers.Audio = TPageChoosers::TAudioChoice{music.Path() + chosen.toStdString(), mode};

        Child<QToolButton>(*w, 0, "SBAduio")->click();

        // The clip is named where it lies.
        QCOMPARE(page->Slot(mkAudio).File, music.Path() + sent.toStdString());
        QCOMPARE(page->FPlayTime, after);
        std::vector<std::string> expected;
        if (!measured.isEmpty()) expected = {"open " + measured.toStdString(), "stop", "close"};
        QCOMPARE(FPlayer.Log, expected);
        QVERIFY(!FPlayer.IsOpen());
    }

    void audioCancelledOrNothingChosen() {
        auto w = Open();
        TPageModel* page = Page(*w, 0);
        const std::string clip = FDir->File("a.mid", "MThd");
        w->AddMaterialFile(clip);
        const std::string before = page->Slot(mkAudio).File;
        FChoosers.Audio.reset();
        Child<QToolButton>(*w, 0, "SBAduio")->click();
        QCOMPARE(FChoosers.Presets, std::vector<std::string>{before});
        FChoosers.Audio = TPageChoosers::TAudioChoice{"", 2};
        Child<QToolButton>(*w, 0, "SBAduio")->click();
        QCOMPARE(page->Slot(mkAudio).File, before);
        QVERIFY(FPlayer.Log.empty());
    }

    // ---- picture and attachment ----

    void pictureAndAttachmentAreCopiedUnderFreeNames() {
        auto w = Open();
        TPageModel* page = Page(*w, 0);
        WriteFileBytes(w->TempDir + "0000.PNG", "someone's");
        WriteFileBytes(w->TempDir + "0000.Txt", "someone's");
        const std::string picture = FDir->Path() + "P.PNG";
        WritePng(picture);
        FChoosers.Picture = picture;
        DoubleClick(Child<QLabel>(*w, 0, "ImageA"));
        // The chosen picture's extension is kept as it was written.
        const std::string copy = page->Slot(mkPicture).File;
        QVERIFY2(IsWorkingCopy(copy, w->TempDir, ".PNG"), copy.c_str());
        QCOMPARE(page->Slot(mkPicture).Ext, std::string(".PNG"));
        QCOMPARE(Slurp(copy), Slurp(picture));
        QVERIFY(!Child<QLabel>(*w, 0, "ImageA")->pixmap().isNull());
        QCOMPARE(Slurp(w->TempDir + "0000.PNG"), std::string("someone's"));

        // A picture that cannot be copied leaves the page as it was, and says why.
        FChoosers.Picture = FDir->Path() + "gone.png";
        DoubleClick(Child<QLabel>(*w, 0, "ImageA"));
        QCOMPARE(FChoosers.Presets.back(), copy);
        QCOMPARE(page->Slot(mkPicture).File, copy);
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        QCOMPARE(FQuestions.Log[0].text, "素材未能加入：" + *FChoosers.Picture + "\r\n文件或文件夹不存在");
        // Cancelled, or confirmed with nothing chosen.
        for (auto result : {std::optional<std::string>(), std::optional<std::string>("")}) {
            FChoosers.Picture = result;
            DoubleClick(Child<QLabel>(*w, 0, "ImageA"));
            QCOMPARE(page->Slot(mkPicture).File, copy);
        }

        // A text chosen as attachment stays an attachment.
        FChoosers.Attachment = FDir->File("note.Txt", "note");
        MenuItem(*w, 0, "N3")->trigger();
        const std::string attached = page->Slot(mkAttach).File;
        QVERIFY2(IsWorkingCopy(attached, w->TempDir, ".Txt"), attached.c_str());
        QCOMPARE(Slurp(attached), std::string("note"));
        QVERIFY(page->Slot(mkText).File.empty());
        FChoosers.Attachment.clear();
        MenuItem(*w, 0, "N3")->trigger();
        QCOMPARE(page->Slot(mkAttach).File, attached);
    }

    // ---- duration ----

    void spinButtons_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("seconds");
        QTest::newRow("design text up") << "5 秒" << true << "6秒" << 6;
        QTest::newRow("no upper bound") << "999" << true << "1000秒" << 1000;
        QTest::newRow("shown over 999 up") << "1000秒" << true << "1001秒" << 1001;
        QTest::newRow("down on 1") << "1" << false << "1秒" << 1;
        QTest::newRow("down on 0") << "0" << false << "1秒" << 1;
        QTest::newRow("typed 20 up") << "20" << true << "21秒" << 21;
        QTest::newRow("hexadecimal") << "$1F" << true << "32秒" << 32;
        QTest::newRow("negative up") << "-5" << true << "1秒" << 1;
        QTest::newRow("not a number") << "abc" << false << "abc" << 5;
        QTest::newRow("empty") << "秒" << true << "秒" << 5;
    }
    void spinButtons() {
        QFETCH(QString, typed);
        QFETCH(bool, up);
        QFETCH(QString, shown);
        QFETCH(int, seconds);
        auto w = Open();
        auto* edit = Child<QLineEdit>(*w, 0, "Editplaytime");
        edit->setText(typed);
        Child<QToolButton>(*w, 0, up ? "SpinButton1Up" : "SpinButton1Down")->click();
        QCOMPARE(edit->text(), shown);
        QCOMPARE(Page(*w, 0)->FPlayTime, seconds);
    }

    void typingAloneChangesNothing() {
        auto w = Open(2);
        auto* edit = Child<QLineEdit>(*w, 0, "Editplaytime");
        edit->clear();
        QTest::keyClicks(edit, "2045");
        QCOMPARE(edit->text(), QString("204"));  // three characters at most
        Page(*w, 0)->SelectPage();               // the page repaints; the typed text stays
        QCOMPARE(edit->text(), QString("204"));
        QCOMPARE(Page(*w, 0)->FPlayTime, 5);
        Child<QToolButton>(*w, 0, "SpinButton1Up")->click();
        QCOMPARE(Page(*w, 0)->FPlayTime, 205);
        // A longer text that the program showed can still be shortened.
        edit->setText("1000秒");
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString("1000"));
    }

    // ---- each page keeps its own look ----

    // Frames are handed from page to page as the strip scrolls: the text panel's
    // colours and a typed, unconfirmed duration go with the page, and a page that
    // has none shows none of another's.
    void lookStaysWithItsPageAlongTheStrip() {
        struct Look {
            std::optional<QColor> panel, font;
            std::optional<QString> typed;
        };
        const int n = 32;
        auto w = Open(n);
        const QColor plainFont = QToolButton().palette().color(QPalette::ButtonText);
        auto* next = w->findChild<QToolButton*>("SBNEXT");
        auto* back = w->findChild<QToolButton*>("SBBack");
        while (w->FStrip->FFirstVisiblePage > 0) back->click();

        // Every third page from the second keeps the plain look, the first is
        // yellow, the others have colours of their own; every fourth from the
        // third holds a typed duration.
        std::vector<Look> looks(n);
        for (int i = 0; i < n; ++i) {
            if (i - w->FStrip->FFirstVisiblePage >= 4) next->click();
            if (i % 3 != 1) {
                const QColor panel =
                    i == 0 ? QColor(Qt::yellow) : QColor(QColor::fromHsv(i * 11, 255, 255).rgb());
                const QColor font = QColor(QColor::fromHsv((i * 11 + 180) % 360, 200, 120).rgb());
                FChoosers.Text = TPageChoosers::TTextChoice{i % 2 ? "" : "text", font, panel, 3};
                Child<QToolButton>(*w, i, "SBText")->click();
                looks[i].panel = panel;
                looks[i].font = font;
            }
            if (i % 4 == 2) {
                auto* edit = Child<QLineEdit>(*w, i, "Editplaytime");
                edit->selectAll();
                QTest::keyClicks(edit, QString::number(100 + i));
                looks[i].typed = QString::number(100 + i);
            }
        }
        auto check = [&] {
            for (int s = 0; s < 4; ++s) {
                const int i = w->FStrip->FFirstVisiblePage + s;
                const Look& look = looks[i];
                QCOMPARE(Child<QFrame>(*w, i, "Paneltext")->palette().color(QPalette::Window),
                         look.panel.value_or(ColorFromBgr(clCream)));
                QCOMPARE(Child<QToolButton>(*w, i, "SBText")->palette().color(QPalette::ButtonText),
                         look.font.value_or(plainFont));
                QCOMPARE(Child<QLineEdit>(*w, i, "Editplaytime")->text(),
                         look.typed.value_or("5 秒"));
            }
        };
        while (w->FStrip->FFirstVisiblePage > 0) {
            back->click();
            check();
        }
        for (int k = 0; k < n; ++k) {
            next->click();
            check();
        }
        QCOMPARE(w->FStrip->FFirstVisiblePage, n - 4);

        // A typed duration counts when its page's arrow is pressed, back on show.
        while (w->FStrip->FFirstVisiblePage > n - 6) back->click();
        QVERIFY(looks[n - 6].typed);
        QCOMPARE(Page(*w, n - 6)->FPlayTime, 5);
        Child<QToolButton>(*w, n - 6, "SpinButton1Up")->click();
        QCOMPARE(Page(*w, n - 6)->FPlayTime, 100 + (n - 6) + 1);
        // A duration set while its page is off the strip replaces what was typed.
        Page(*w, 2)->SetPlayTime(9);
        while (w->FStrip->FFirstVisiblePage > 0) back->click();
        QCOMPARE(Child<QLineEdit>(*w, 2, "Editplaytime")->text(), QString("9秒"));
        Child<QToolButton>(*w, 2, "SpinButton1Up")->click();
        QCOMPARE(Page(*w, 2)->FPlayTime, 10);
    }

    // ---- page menu ----

    void pageMenuFollowsTheSlots() {
        auto w = Open(2);
        TPageModel* page = Page(*w, 0);
        const char* names[] = {"NDeltext", "NDelpic", "NDelAduio", "NDelotherapp"};
        auto menu = Child<QMenu>(*w, 0, "PopupMenuB");
        emit menu->aboutToShow();
        const char* empty[] = {"删除文本", "删除图片", "删除音频", "删除附件"};
        for (int k = 0; k < 4; ++k) {
            QVERIFY(!MenuItem(*w, 0, names[k])->isEnabled());
            QCOMPARE(MenuItem(*w, 0, names[k])->text(), QString::fromUtf8(empty[k]));
        }

        page->SelectPage();
        const std::string picture = FDir->Path() + "p.png";
        WritePng(picture);
        w->AddMaterialFile(picture);
        FChoosers.Attachment = FDir->File("x.bin", "x");
        MenuItem(*w, 0, "N3")->trigger();
        emit menu->aboutToShow();
        const QString pic = QString::fromStdString(fs::path(page->Slot(mkPicture).File).filename());
        const QString att = QString::fromStdString(fs::path(page->Slot(mkAttach).File).filename());
        QCOMPARE(MenuItem(*w, 0, "NDelpic")->text(), "删除 " + pic);
        QCOMPARE(MenuItem(*w, 0, "NDelotherapp")->text(), "删除附件 " + att);
        QVERIFY(MenuItem(*w, 0, "NDelpic")->isEnabled());
        QVERIFY(!MenuItem(*w, 0, "NDeltext")->isEnabled());

        MenuItem(*w, 0, "NDelpic")->trigger();
        MenuItem(*w, 0, "NDelotherapp")->trigger();
        QVERIFY(page->Slot(mkPicture).File.empty());
        QVERIFY(page->Slot(mkAttach).File.empty());
        QVERIFY(Child<QLabel>(*w, 0, "ImageA")->pixmap().isNull());

        // Double-clicks on the text and audio buttons remove them.
        w->AddMaterialFile(FDir->File("t.txt", "t"));
        w->AddMaterialFile(FDir->File("s.mid", "MThd"));
        DoubleClick(Child<QToolButton>(*w, 0, "SBText"));
        DoubleClick(Child<QToolButton>(*w, 0, "SBAduio"));
        QVERIFY(page->Slot(mkText).File.empty());
        QVERIFY(page->Slot(mkAudio).File.empty());

        // The menu opens on a release over its button.
        QTest::mouseClick(Child<QToolButton>(*w, 0, "SBMemu"), Qt::RightButton);
        QVERIFY(menu->isVisible());
        menu->hide();

        // "删除当前页" from a page that is not current deletes the current one.
        TPageModel* second = Page(*w, 1);
        second->SelectPage();
        MenuItem(*w, 0, "N2")->trigger();
        QCOMPARE(w->FMaker->FPages.Count(), 1);
        QCOMPARE(Page(*w, 0), page);
        QVERIFY(page->FSelected);
    }

    // ---- drags ----

    void dragsOntoThePicture() {
        auto w = Open(2);
        Page(*w, 1)->SelectPage();
        // A material folder is ignored, though the drag selects the page.
        DragAndDrop(Child<QLabel>(*w, 0, "ImageA"), MaterialDrag(FDir->Path()));
        QVERIFY(Page(*w, 0)->FSelected);
        QVERIFY(Page(*w, 0)->Slot(mkText).File.empty());

        Page(*w, 1)->SelectPage();
        const std::string text = FDir->File("a.txt", "hello");
        DragAndDrop(Child<QLabel>(*w, 0, "ImageA"), MaterialDrag(text));
        QVERIFY(Page(*w, 0)->FSelected);
        QVERIFY(IsWorkingCopy(Page(*w, 0)->Slot(mkText).File, w->TempDir, ".txt"));
        QVERIFY(Page(*w, 1)->Slot(mkText).File.empty());

        // Material dropped elsewhere on a page adds nothing.
        const std::string other = FDir->File("b.txt", "other");
        DragAndDrop(Child<QToolButton>(*w, 1, "SBAduio"), MaterialDrag(other));
        DragAndDrop(w->PanelmmsEdit, MaterialDrag(other));
        QVERIFY(Page(*w, 1)->Slot(mkText).File.empty());

        // Another page dropped on the picture forgets the last dropped file.
        LastDropFile = "/somewhere/x.txt";
        auto* page = new QMimeData;
        page->setData(kPageDragFormat, "1");
        DragAndDrop(Child<QLabel>(*w, 1, "ImageA"), page);
        QVERIFY(LastDropFile.empty());
        QVERIFY(Page(*w, 1)->FSelected);
        QVERIFY(Page(*w, 1)->Slot(mkText).File.empty());
    }

    // ---- main menu: text tools and custom compiler ----

    void conversionsRunOverTheChosenFiles_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<std::string>("result");
        QTest::newRow("ANSI") << "N31" << std::string("a\r\nb\r\n");
        QTest::newRow("UTF-8") << "UTF81" << std::string("\xEF\xBB\xBF" "a\nb");
        QTest::newRow("Unicode") << "Unicode1" << B({0xFF, 0xFE, 'a', 0, '\n', 0, 'b', 0});
    }
    void conversionsRunOverTheChosenFiles() {
        QFETCH(QString, item);
        QFETCH(std::string, result);
        auto w = Open(0);
        QAction* action = w->menuBar()->findChild<QAction*>(item);
        QVERIFY(action);
        QStringList files;
        for (const char* n : {"1.txt", "2.txt", "3.txt"})
            files << QString::fromStdString(FDir->File(n, "a\nb"));
        int asked = 0;
        w->FChooseTextFiles = [&] {
            ++asked;
            return files;
        };
        action->trigger();
        QCOMPARE(asked, 1);
        for (const QString& f : files) QCOMPARE(Slurp(f.toStdString()), result);
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QCOMPARE(FQuestions.Log[0].caption, std::string("提示"));
        QCOMPARE(FQuestions.Log[0].text, std::string("文件格式转换完成！"));

        // Cancelled: no box.
        w->FChooseTextFiles = [] { return QStringList(); };
        action->trigger();
        QCOMPARE(FQuestions.Log.size(), size_t(1));

        // A file that cannot be read ends the run there, with one box saying why.
        const std::string first = FDir->File("4.txt", "c\nd");
        const std::string last = FDir->File("5.txt", "e\nf");
        w->FChooseTextFiles = [&] {
            return QStringList{QString::fromStdString(first), QString::fromStdString(FDir->Path() + "no.txt"),
                               QString::fromStdString(last)};
        };
        action->trigger();
        QVERIFY(Slurp(first) != "c\nd");
        QCOMPARE(Slurp(last), std::string("e\nf"));
        QCOMPARE(FQuestions.Log.size(), size_t(2));
        QCOMPARE(FQuestions.Log[1].text, "文件格式转换失败：无法打开文件 " + FDir->Path() +
                                             "no.txt: 文件或文件夹不存在\r\n已转换 1 个文件。");
    }

    void splitCutsIntoPartsOfTheLimit() {
        auto w = Open(0);
        w->FTxtMaxLen = 612;
        // 1300 characters with the line breaks: 612 + 612 + 76.
        const std::string story = FDir->File("story.txt", std::string(649, 'x') + "\r\n" + std::string(647, 'y'));
        QString openedAt;
        w->FChooseSplitFiles = [&](const QString& dir) {
            openedAt = dir;
            return QStringList{QString::fromStdString(story)};
        };
        w->menuBar()->findChild<QAction*>("N29")->trigger();
        QCOMPARE(openedAt, QString::fromStdString(w->FFolders.TextDir));
        QVERIFY(fs::exists(FDir->Path() + "story.0001.txt"));
        QVERIFY(fs::exists(FDir->Path() + "story.0002.txt"));
        QCOMPARE(Slurp(FDir->Path() + "story.0003.txt"), std::string(74, 'y') + "\r\n");
        QVERIFY(!fs::exists(FDir->Path() + "story.0004.txt"));
        QVERIFY(FQuestions.Log.empty());

        // Without a usable limit nothing is asked and nothing written.
        fs::remove(FDir->Path() + "story.0001.txt");
        openedAt.clear();
        w->FTxtMaxLen = 0;
        w->menuBar()->findChild<QAction*>("N29")->trigger();
        QVERIFY(openedAt.isEmpty());
        QVERIFY(!fs::exists(FDir->Path() + "story.0001.txt"));
    }

    void customCompileShowsItsBoxes() {
        auto w = Open(0);
        QList<QUrl> opened;
        w->FOpenUrl = [&](const QUrl& u) { opened << u; };
        QAction* n32 = w->menuBar()->findChild<QAction*>("N32");
        n32->trigger();
        QCOMPARE(FQuestions.Log.size(), size_t(1));
        QVERIFY(FQuestions.Log[0].text.rfind("未找到相关的smil文件。\r\n", 0) == 0);
        QVERIFY(opened.isEmpty());
        QVERIFY(!fs::exists(w->CustomDir + "自定义彩信.mms"));

        WriteFileBytes(w->CustomDir + "a.smil", "<smil><text src=\"t.txt\"/></smil>");
        WriteFileBytes(w->CustomDir + "t.txt", "hi");
        n32->trigger();
        QCOMPARE(FQuestions.Log.size(), size_t(2));
        QCOMPARE(FQuestions.Log[1].text, std::string("自定义彩信制作完成！"));
        QVERIFY(fs::file_size(w->CustomDir + "自定义彩信.mms") > 0);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(w->CustomDir))});
    }
};

int main(int argc, char** argv) {
    TQuilmarApplication app(argc, argv);
    TestPageFrame t;
    return QTest::qExec(&t, argc, argv);
}

#include "gui_frame_test.moc"
