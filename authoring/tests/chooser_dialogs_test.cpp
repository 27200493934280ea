// The three material choosers driven offscreen: widgets found by name, modal boxes
// answered by a recorder, a scripted media player.
#include <QAction>
#include <QFileSystemModel>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "audio_sel.h"
#include "chooser_browser.h"
#include "chooser_rules.h"
#include "pic_sel.h"
#include "string_list.h"
#include "test_support.h"
#include "text_codec.h"
#include "text_sel.h"

namespace fs = std::filesystem;

namespace {

class TFakePlayer : public MediaPlayer {
public:
    std::map<std::string, int64_t> Lengths;  // files that open, with their lengths
    std::vector<std::string> Log;
    std::string OpenFile;
    void Open(const std::string& file) override {
        Close();
        Log.push_back("open " + file);
        auto it = Lengths.find(file);
        if (it == Lengths.end()) throw EMediaError("cannot open " + file + ".");
        OpenFile = file;
    }
    int64_t LengthMs() override {
        if (OpenFile.empty()) throw EMediaError("closed");
        return Lengths[OpenFile];
    }
    void Play() override {
        if (OpenFile.empty()) throw EMediaError("closed");
        Log.push_back("play");
    }
    void Stop() override {
        Log.push_back("stop");
        if (OpenFile.empty()) throw EMediaError("closed");
    }
    void Close() override { OpenFile.clear(); }
    bool IsOpen() const override { return !OpenFile.empty(); }
};

struct TAsked {
    std::string caption, text;
    TButtons buttons;
    TIcon icon;
};

class TRecordingQuestions : public TQuestions {
public:
    std::vector<TAsked> Asked;
    TAnswer Ask(const std::string& caption, const std::string& text, TButtons buttons, TIcon icon,
                TAnswer) override {
        Asked.push_back({caption, text, buttons, icon});
        return TAnswer::Ok;
    }
};

class TCountingPump : public TMessagePump {
public:
    int Calls = 0;
    std::function<void()> OnPump;
    void ProcessMessages() override {
        ++Calls;
        if (OnPump) OnPump();
    }
};

template <class T>
T* Find(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(name);
    if (!child) qFatal("no widget %s", name);
    return child;
}

QString Panel(QWidget* w, const char* name) { return Find<QLabel>(w, name)->text(); }
QColor PanelColour(QWidget* w, const char* name) {
    return Find<QLabel>(w, name)->palette().color(QPalette::WindowText);
}

// Selects path in the file list "SLVData" as a click would, and sends the click.
void ClickInList(QWidget* w, const std::string& path, bool twice = false) {
    auto* list = Find<QListView>(w, "SLVData");
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    QModelIndex idx = model->index(QString::fromStdString(path));
    QVERIFY(idx.isValid());
    list->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect);
    list->setCurrentIndex(idx);
    emit list->clicked(idx);
    if (twice) emit list->doubleClicked(idx);
}

std::string ListFolder(QWidget* w) {
    auto* list = Find<QListView>(w, "SLVData");
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    return model->filePath(list->rootIndex()).toStdString();
}

void SaveImage(const std::string& path, int w, int h, const char* format) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    QVERIFY(img.save(QString::fromStdString(path), format));
}

QStringList Captions(QListWidget* lv) {
    QStringList out;
    for (int i = 0; i < lv->count(); ++i) out << lv->item(i)->text();
    return out;
}

const QColor kBlue(0, 0, 255), kRed(255, 0, 0);

// The picture chooser's thumbnails made by the real loader, with chosen files held
// on their worker until released, and every file asked for counted. It releases
// everything when it goes, so that no worker is left waiting.
class TThumbnailGate {
public:
    TThumbnailGate() : state_(std::make_shared<TState>()) {}
    ~TThumbnailGate() { ReleaseAll(); }
    TThumbnailLoader Loader() const {
        return [st = state_](const std::string& path, int bw, int bh) -> std::optional<QImage> {
            {
                std::unique_lock lock(st->M);
                st->Asked.push_back(path);
                st->Cv.wait(lock, [&] { return !st->Held.count(path); });
            }
            std::optional<QImage> made = LoadThumbnail(path, bw, bh);
            if (!made) return made;
            // The thumbnail's pixels are let go with its last copy: a result that
            // is dropped goes at once, one on its way to a window goes when it
            // arrives.
            auto* pixels = new TPixels{st, path, *made};
            const QImage& p = pixels->Image;
            return QImage(p.constBits(), p.width(), p.height(), p.bytesPerLine(), p.format(),
                          &TThumbnailGate::LetGo, pixels);
        };
    }
    // True once the thumbnail made of path has gone, with every copy of it.
    bool Gone(const std::string& path) const {
        std::lock_guard lock(state_->M);
        return state_->Gone.count(path) > 0;
    }
    // Waits, without letting window messages run, for the thumbnail of path to go;
    // false when it is still held after a long while (it waits to be delivered).
    bool WaitGone(const std::string& path) const {
        std::unique_lock lock(state_->M);
        return state_->Cv.wait_for(lock, std::chrono::seconds(20),
                                   [&] { return state_->Gone.count(path) > 0; });
    }
    void Hold(const std::string& path) {
        std::lock_guard lock(state_->M);
        state_->Held.insert(path);
    }
    void Release(const std::string& path) {
        std::lock_guard lock(state_->M);
        state_->Held.erase(path);
        state_->Cv.notify_all();
    }
    void ReleaseAll() {
        std::lock_guard lock(state_->M);
        state_->Held.clear();
        state_->Cv.notify_all();
    }
    bool WasAsked(const std::string& path) const {
        std::lock_guard lock(state_->M);
        return std::count(state_->Asked.begin(), state_->Asked.end(), path) > 0;
    }
    size_t AskedCount() const {
        std::lock_guard lock(state_->M);
        return state_->Asked.size();
    }

private:
    struct TState {
        mutable std::mutex M;
        std::condition_variable Cv;
        std::set<std::string> Held;
        std::vector<std::string> Asked;
        std::set<std::string> Gone;
    };
    struct TPixels {
        std::shared_ptr<TState> State;
        std::string Path;
        QImage Image;
    };
    static void LetGo(void* info) {
        std::unique_ptr<TPixels> pixels(static_cast<TPixels*>(info));
        std::lock_guard lock(pixels->State->M);
        pixels->State->Gone.insert(pixels->Path);
        pixels->State->Cv.notify_all();
    }
    std::shared_ptr<TState> state_;
};

// The colour at the middle of a list item's thumbnail.
QColor IconCentre(QListWidgetItem* item, int side) {
    const QImage img = item->icon().pixmap(side, side).toImage();
    return img.pixelColor(img.width() / 2, img.height() / 2);
}

}  // namespace

class ChooserDialogsTest : public QObject {
    Q_OBJECT

private slots:
    // ---- all three (first, while no folder has been read yet) ------------------

    // The tree opens on the chooser's folder and shows it, also when the folder
    // lies deep and its parents are read in the background.
    void treesShowTheirFolder() {
        TempFolder t;
        const std::string deep = t.Path() + "a/b/c/d/";
        fs::create_directories(deep);
        TFakePlayer player;
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel audio(player, q, pump, t.Path(), deep);
        TfrmPicsel pic(pump, 80, 80, deep);
        TFrmtextSel text(pump, 612, deep);
        // The folders above the chosen one; the tree reads each in the background.
        QStringList parents;
        for (fs::path p = fs::path(deep).parent_path().parent_path();; p = p.parent_path()) {
            parents << QString::fromStdString(p.string());
            if (p == p.root_path()) break;
        }
        std::vector<std::unique_ptr<QSignalSpy>> loads;
        for (QDialog* dlg : std::initializer_list<QDialog*>{&audio, &pic, &text})
            loads.push_back(std::make_unique<QSignalSpy>(
                qobject_cast<QFileSystemModel*>(Find<QTreeView>(dlg, "STVData")->model()),
                &QFileSystemModel::directoryLoaded));
        size_t n = 0;
        for (QDialog* dlg : std::initializer_list<QDialog*>{&audio, &pic, &text}) {
            auto* tree = Find<QTreeView>(dlg, "STVData");
            auto* model = qobject_cast<QFileSystemModel*>(tree->model());
            auto& spy = *loads[n++];
            dlg->show();
            QCOMPARE(model->filePath(tree->currentIndex()).toStdString() + "/", deep);
            auto allRead = [&] {
                QStringList seen;
                for (const auto& args : spy) seen << args.at(0).toString();
                for (const QString& p : parents)
                    if (!seen.contains(p)) return false;
                return true;
            };
            QTRY_VERIFY(allRead());
            QTest::qWait(50);
            QVERIFY2(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())),
                     dlg->objectName().toUtf8());
            dlg->reject();
        }
    }

    // ---- sound clips ------------------------------------------------------------

    void audioPresetAndClicks() {
        TempFolder t;
        const std::string d = t.Path();
        for (const char* n : {"song.mp3", "song.zur", "tune.mid", "x.wma", "solo.wav"}) t.File(n, "x");
        fs::create_directory(d + "sub");
        TFakePlayer player;
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel dlg(player, q, pump, d, d);
        QCOMPARE(dlg.windowTitle(), QString("音频选择"));
        QCOMPARE(ListFolder(&dlg), d.substr(0, d.size() - 1));
        // No clip looked at yet: the design text, unlinked.
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("OK"));
        QCOMPARE(PanelColour(&dlg, "StatusPanel1"), kRed);

        dlg.SetCurrentFile("");
        QCOMPARE(dlg.SelAudioFile(), std::string());
        QCOMPARE(dlg.CurFile(), std::string());
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("无关联文件"));
        QCOMPARE(PanelColour(&dlg, "StatusPanel1"), kRed);
        QCOMPARE(Panel(&dlg, "StatusPanel2"), QString());
        QVERIFY(pump.Calls > 0);

        struct Case {
            std::string click, curFile;
            const char* status;
            QColor colour;
        } cases[] = {
            {d + "song.mp3", d + "song.mp3", "有关联文件", kBlue},
            {d + "solo.wav", d + "solo.wav", "无关联文件", kRed},
            {d + "tune.mid", d + "tune.mid", "有关联文件", kBlue},
            // No clip to the chooser: the previous one stays.
            {d + "x.wma", d + "tune.mid", "有关联文件", kBlue},
            {d + "sub", d + "tune.mid", "有关联文件", kBlue},
        };
        for (const auto& c : cases) {
            ClickInList(&dlg, c.click);
            QCOMPARE(dlg.CurFile(), c.curFile);
            QCOMPARE(Panel(&dlg, "StatusPanel1"), QString(c.status));
            QCOMPARE(PanelColour(&dlg, "StatusPanel1"), c.colour);
            QCOMPARE(Panel(&dlg, "StatusPanel2"), QString::fromStdString(c.curFile));
        }
    }

    void audioPlay() {
        TempFolder t;
        const std::string d = t.Path();
        for (const char* n : {"clip.zur", "clip.mp3", "clip.wav", "lone.zur", "long.mp3"}) t.File(n, "x");
        TFakePlayer player;
        player.Lengths = {{d + "clip.wav", 65400}, {d + "long.mp3", 6000000}};
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel dlg(player, q, pump, d, d);
        auto* label = Find<QLabel>(&dlg, "lbl_TotalTime");
        QCOMPARE(label->text(), QString("播放时间 00:00"));

        // A ZUR clip plays through its partner, ".wav" first.
        dlg.SetCurrentFile(d + "clip.zur");
        Find<QAbstractButton>(&dlg, "SBPlay")->click();
        QCOMPARE(player.Log, (std::vector<std::string>{"open " + d + "clip.wav", "play"}));
        QCOMPARE(label->text(), QString("播放时间 01:05 /共65秒"));
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("有关联文件"));

        dlg.SetCurrentFile(d + "long.mp3");
        Find<QAbstractButton>(&dlg, "SBPlay")->click();
        QCOMPARE(label->text(), QString("播放时间 100:00 /共6000秒"));

        // Without a partner nothing at all happens.
        player.Log.clear();
        dlg.SetCurrentFile(d + "lone.zur");
        Find<QAbstractButton>(&dlg, "SBPlay")->click();
        QVERIFY(player.Log.empty());
        QVERIFY(q.Asked.empty());
        QCOMPARE(label->text(), QString("播放时间 100:00 /共6000秒"));

        // A clip the player cannot open: zero time and the player's text with the hint.
        dlg.SetCurrentFile("");
        Find<QAbstractButton>(&dlg, "SBPlay")->click();
        QCOMPARE(label->text(), QString("播放时间 00:00"));
        QCOMPARE(q.Asked.size(), size_t{1});
        QCOMPARE(q.Asked[0].caption, std::string("提示"));
        QCOMPARE(q.Asked[0].text,
                 std::string("cannot open .如果是播放zur，请用户上面工具進行转换,并放在同一目录下"));
        QVERIFY(q.Asked[0].buttons == TButtons::Ok && q.Asked[0].icon == TIcon::Information);

        // Stopping a closed player is quiet.
        Find<QAbstractButton>(&dlg, "SBStop")->click();
        QCOMPARE(q.Asked.size(), size_t{1});
    }

    void audioConfirmCommands() {
        TempFolder t;
        const std::string d = t.Path();
        for (const char* n : {"song.mp3", "x.wma"}) t.File(n, "x");
        fs::create_directory(d + "sub");
        fs::create_directory(d + "dir.mp3");
        struct Case {
            std::string select;  // empty: nothing selected
            const char* control;
            int result;
            std::string sel;
            int mode;
        } cases[] = {
            {"", "BitBtn1", -1, "preset", 0},  // nothing selected: the window stays
            {"song.mp3", "BitBtn1", QDialog::Accepted, "song.mp3", 3},
            {"song.mp3", "N2", QDialog::Accepted, "song.mp3", 2},
            {"song.mp3", "N1", QDialog::Accepted, "song.mp3", 1},
            {"x.wma", "BitBtn1", QDialog::Accepted, "", 3},
            {"sub", "BitBtn1", QDialog::Accepted, "", 3},
            {"dir.mp3", "N1", QDialog::Accepted, "", 1},  // a folder is no clip
            {"song.mp3", "BitBtn2", QDialog::Rejected, "preset", 0},
        };
        for (const auto& c : cases) {
            TFakePlayer player;
            TRecordingQuestions q;
            TCountingPump pump;
            TFrmAudioSel dlg(player, q, pump, d, d);
            dlg.SetCurrentFile(d + "preset.mp3");
            dlg.show();
            dlg.setResult(-1);
            if (!c.select.empty()) ClickInList(&dlg, d + c.select);
            if (QAction* a = dlg.findChild<QAction*>(c.control)) a->trigger();
            else Find<QPushButton>(&dlg, c.control)->click();
            QCOMPARE(dlg.result(), c.result);
            QCOMPARE(dlg.isVisible(), c.result == -1);
            const std::string want = c.sel == "preset" ? d + "preset.mp3" : c.sel.empty() ? "" : d + c.sel;
            QCOMPARE(dlg.SelAudioFile(), want);
            QCOMPARE(dlg.TimeMode(), c.mode);
            // Every close stops playback.
            if (c.result != -1) QCOMPARE(player.Log, std::vector<std::string>{"stop"});
        }
    }

    void audioCloseBoxAndEscapeStopPlayback() {
        TempFolder t;
        const std::string d = t.Path();
        t.File("a.wav", "x");
        TFakePlayer player;
        player.Lengths = {{d + "a.wav", 1000}};
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel dlg(player, q, pump, d, d);
        dlg.SetCurrentFile(d + "a.wav");
        dlg.show();
        Find<QAbstractButton>(&dlg, "SBPlay")->click();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(player.Log.back(), std::string("stop"));

        dlg.show();
        player.Log.clear();
        dlg.close();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(player.Log, std::vector<std::string>{"stop"});
        QCOMPARE(dlg.SelAudioFile(), d + "a.wav");
    }

    void audioDoubleClicks() {
        TempFolder t;
        const std::string d = t.Path();
        fs::create_directory(d + "sub");
        t.File("sub/in.wav", "x");
        t.File("song.mp3", "x");
        TFakePlayer player;
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel dlg(player, q, pump, d, d);
        dlg.show();
        dlg.setResult(-1);
        // A folder opens and the window stays.
        ClickInList(&dlg, d + "sub", true);
        QVERIFY(dlg.isVisible());
        QCOMPARE(ListFolder(&dlg), d + "sub");
        ClickInList(&dlg, d + "sub/in.wav", true);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.SelAudioFile(), d + "sub/in.wav");
        QCOMPARE(dlg.TimeMode(), 3);
    }

    void audioConverterButton() {
        TempFolder t;
        std::vector<std::string> started;
        TFakePlayer player;
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel dlg(player, q, pump, t.Path(), t.Path());
        dlg.SetProgramStarter([&](const std::string& p) { started.push_back(p); });
        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QVERIFY(started.empty());
        t.File("zur", "#!/bin/sh\n");
        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QCOMPARE(started, std::vector<std::string>{t.Path() + "zur"});
    }

    // ---- all three ----------------------------------------------------------------

    // The time-mode and style menus open when a mouse button, any, is released over
    // their buttons; a click from the keyboard opens nothing.
    void menusOpenOnMouseRelease() {
        TempFolder t;
        TFakePlayer player;
        TRecordingQuestions q;
        TCountingPump pump;
        TFrmAudioSel audio(player, q, pump, t.Path(), t.Path());
        TFrmtextSel text(pump, 612, t.Path());
        struct Case {
            QDialog* dlg;
            const char* button;
            const char* menu;
        } cases[] = {
            {&audio, "BitBtn3", "PopupMenu1"},
            {&text, "BitBtn3", "PopupMenu1"},
            {&text, "BitBtn4", "PopupMenu2"},
        };
        for (const auto& c : cases) {
            c.dlg->show();
            auto* button = Find<QPushButton>(c.dlg, c.button);
            auto* menu = Find<QMenu>(c.dlg, c.menu);
            button->click();
            QVERIFY2(!menu->isVisible(), c.button);
            for (Qt::MouseButton mb : {Qt::LeftButton, Qt::RightButton}) {
                QTest::mouseClick(button, mb);
                QVERIFY2(menu->isVisible(), c.button);
                menu->hide();
            }
            // Released outside the button: nothing.
            QTest::mouseRelease(button, Qt::RightButton, {}, QPoint(-5, -5));
            QVERIFY2(!menu->isVisible(), c.button);
            QVERIFY(c.dlg->isVisible());
            c.dlg->reject();
        }
    }

    // ---- text -------------------------------------------------------------------

    void textCountAgainstLimit() {
        TempFolder t;
        TCountingPump pump;
        TFrmtextSel dlg(pump, 612, t.Path());
        QCOMPARE(dlg.windowTitle(), QString("文本编辑"));
        auto* memo = Find<QPlainTextEdit>(&dlg, "Memotext");
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("0"));
        memo->setPlainText(QString(612, 'a'));
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("612"));
        QCOMPARE(PanelColour(&dlg, "StatusPanel1"), QColor(Qt::black));
        memo->setPlainText(QString(613, 'a'));
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("613 超限！"));
        QCOMPARE(PanelColour(&dlg, "StatusPanel1"), QColor(Qt::red));
        QCOMPARE(dlg.TextLen(), 613);
        // Nothing is cut.
        QCOMPARE(dlg.Text(), std::string(613, 'a'));
        dlg.SetTxtMaxLen(700);
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("613"));
        // Double-clicking the editor empties it.
        QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
        QCOMPARE(dlg.Text(), std::string());
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("0"));
    }

    void textPreset() {
        TempFolder t;
        TCountingPump pump;
        TFrmtextSel dlg(pump, 612, t.Path());
        // The preset takes the bytes as ANSI, without looking for a mark.
        const std::string p = t.File("page.txt", Utf8ToCp936("第一行\r\n第二行\r\n"));
        QVERIFY(dlg.LoadTextFile(p));
        QCOMPARE(dlg.Text(), std::string("第一行\n第二行\n"));
        QCOMPARE(dlg.SelTextFile(), p);
        QCOMPARE(Panel(&dlg, "StatusPanel3"), QString::fromStdString(p));
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("10"));
        QVERIFY(pump.Calls > 0);

        QVERIFY(dlg.LoadTextFile(""));
        QCOMPARE(dlg.Text(), std::string());
        QCOMPARE(Panel(&dlg, "StatusPanel3"), QString());

        Find<QPlainTextEdit>(&dlg, "Memotext")->setPlainText("edited");
        QVERIFY(!dlg.LoadTextFile(t.Path() + "missing.txt"));
        QCOMPARE(dlg.Text(), std::string());
    }

    void textClickInList() {
        TempFolder t;
        const std::string d = t.Path();
        const std::string utf8 = t.File("u.txt", "\xEF\xBB\xBF" "你好\r\n世界");
        const std::string ansi = Utf8ToCp936("你好\r\n世界\r\n");
        t.File("pic.jpg", "x");
        fs::create_directory(d + "folder.txt");
        TCountingPump pump;
        TFrmtextSel dlg(pump, 612, d);
        QCOMPARE(ListFolder(&dlg), d.substr(0, d.size() - 1));
        ClickInList(&dlg, utf8);
        QCOMPARE(ReadFileBytes(utf8), ansi);
        QCOMPARE(dlg.Text(), std::string("你好\n世界\n"));
        QCOMPARE(dlg.SelTextFile(), utf8);
        QCOMPARE(Panel(&dlg, "StatusPanel3"), QString::fromStdString(utf8));
        // A second click leaves the file as it is.
        ClickInList(&dlg, utf8);
        QCOMPARE(ReadFileBytes(utf8), ansi);
        // A picture or a folder changes nothing.
        for (const char* other : {"pic.jpg", "folder.txt"}) {
            ClickInList(&dlg, d + other);
            QCOMPARE(dlg.Text(), std::string("你好\n世界\n"));
            QCOMPARE(dlg.SelTextFile(), utf8);
        }
    }

    // A clicked file that cannot be rewritten (as on a full disk) stays whole; the
    // editor keeps what it held, and one box names the file and the reason.
    void textClickThatCannotRewriteIsTold() {
        TempFolder t;
        const std::string u = t.File("u.txt", "\xEF\xBB\xBF" "你好\r\n");
        TCountingPump pump;
        TRecordingQuestions q;
        TFrmtextSel dlg(pump, 612, t.Path());
        dlg.SetQuestions(&q);
        Find<QPlainTextEdit>(&dlg, "Memotext")->setPlainText("held");
        {
            TFileSizeLimit limit(0);
            ClickInList(&dlg, u);
        }
        QCOMPARE(ReadFileBytes(u), std::string("\xEF\xBB\xBF" "你好\r\n"));
        QCOMPARE(dlg.Text(), std::string("held"));
        QCOMPARE(q.Asked.size(), size_t(1));
        QCOMPARE(q.Asked[0].caption, std::string("提示"));
        QCOMPARE(q.Asked[0].text, "无法载入文本文件：" + u + "\r\n无法写入文件 " + u + ": 文件太大");
        QCOMPARE(std::distance(fs::directory_iterator(t.Path()), fs::directory_iterator()), 1);
    }

    void textInUtf8WithoutAMark() {
        TempFolder t;
        const std::string d = t.Path();
        // A click reads it as UTF-8 and rewrites it as ANSI, as a file with the mark.
        const std::string u = t.File("无标记UTF8.txt", "无标记UTF8\n");
        TCountingPump pump;
        TFrmtextSel dlg(pump, 612, d);
        ClickInList(&dlg, u);
        QCOMPARE(dlg.Text(), std::string("无标记UTF8\n"));
        QCOMPARE(ReadFileBytes(u), Utf8ToCp936("无标记UTF8\r\n"));
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("9"));
        // A page's copy in UTF-8 (a dropped file is copied as it is), with or without
        // its mark, shows as the message will carry it.
        for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
            QVERIFY(dlg.LoadTextFile(t.File("page.txt", mark + "无标记UTF8\r\n")));
            QCOMPARE(dlg.Text(), std::string("无标记UTF8\n"));
        }
    }

    void textAcceptAndCancel() {
        TempFolder t;
        t.File("a.txt", "abc\r\n");
        struct Case {
            const char* control;
            int result;
            int mode;
        } cases[] = {
            {"BitBtn1", QDialog::Accepted, 3},
            {"N2", QDialog::Accepted, 2},
            {"N1", QDialog::Accepted, 1},
            {"BitBtn2", QDialog::Rejected, 0},
            {"SLVData", QDialog::Accepted, 3},
        };
        for (const auto& c : cases) {
            TCountingPump pump;
            TFrmtextSel dlg(pump, 612, t.Path());
            dlg.show();
            if (QAction* a = dlg.findChild<QAction*>(c.control)) a->trigger();
            else if (std::string(c.control) == "SLVData") ClickInList(&dlg, t.Path() + "a.txt", true);
            else Find<QPushButton>(&dlg, c.control)->click();
            QCOMPARE(dlg.result(), c.result);
            QCOMPARE(dlg.TimeMode(), c.mode);
        }
    }

    void textStyleAndFolder() {
        TempFolder t;
        TCountingPump pump;
        TFrmtextSel dlg(pump, 612, t.Path());
        std::optional<QColor> colour = QColor(Qt::magenta);
        std::optional<int> size = 20;
        std::vector<std::string> opened;
        dlg.SetColourChooser([&](QColor) { return colour; });
        dlg.SetFontSizeChooser([&](int) { return size; });
        dlg.SetFolderOpener([&](const std::string& dir) { opened.push_back(dir); });
        QCOMPARE(dlg.BackgroundColour(), QColor(0xFF, 0xFB, 0xF0));
        dlg.findChild<QAction*>("N4")->trigger();
        QCOMPARE(dlg.TextColour(), QColor(Qt::magenta));
        colour = QColor(Qt::cyan);
        dlg.findChild<QAction*>("N5")->trigger();
        QCOMPARE(dlg.BackgroundColour(), QColor(Qt::cyan));
        dlg.findChild<QAction*>("N3")->trigger();
        QCOMPARE(Find<QPlainTextEdit>(&dlg, "Memotext")->font().pointSize(), 20);
        // Cancelled dialogs change nothing.
        colour.reset();
        size.reset();
        dlg.findChild<QAction*>("N4")->trigger();
        dlg.findChild<QAction*>("N3")->trigger();
        QCOMPARE(dlg.TextColour(), QColor(Qt::magenta));
        QCOMPARE(Find<QPlainTextEdit>(&dlg, "Memotext")->font().pointSize(), 20);

        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QVERIFY(opened.empty());
        fs::create_directory(t.Path() + "sub");
        QVERIFY(dlg.LoadTextFile(t.File("sub/p.txt", "x")));
        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QCOMPARE(opened, std::vector<std::string>{t.Path() + "sub/"});
    }

    // ---- pictures ---------------------------------------------------------------

    void pictureFirstShowingListsOnce() {
        TempFolder t;
        const std::string d = t.Path();
        SaveImage(d + "a.jpg", 400, 200, "JPEG");
        t.File("b.jpg", "\xFF\xD8\xFF\xE0 broken");
        SaveImage(d + "C.PNG", 50, 30, "PNG");
        t.File("notes.txt", "x");
        fs::create_directory(d + "sub");
        SaveImage(d + "sub/inner.png", 10, 10, "PNG");
        TCountingPump pump;
        TfrmPicsel dlg(pump, 100, 100, d);
        TThumbnailGate gate;
        dlg.SetThumbnailLoader(gate.Loader());
        QCOMPARE(dlg.windowTitle(), QString("图片 选择"));
        auto* lv = Find<QListWidget>(&dlg, "LvPic");
        QCOMPARE(lv->count(), 0);
        QVERIFY(!dlg.PicListed());
        dlg.show();
        QTRY_VERIFY(dlg.PicListed());
        QCOMPARE(Captions(lv), (QStringList{"a.jpg", "C.PNG"}));
        QCOMPARE(lv->iconSize(), QSize(100, 100));
        QCOMPARE(gate.AskedCount(), size_t(3));  // every picture tried once
        QVERIFY(!Find<QProgressBar>(&dlg, "FProgress")->isVisible());
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString("请双击图片文件夹"));

        // A later showing lists nothing anew.
        dlg.reject();
        SaveImage(d + "d.png", 10, 10, "PNG");
        dlg.show();
        QTest::qWait(20);
        QCOMPARE(Captions(lv), (QStringList{"a.jpg", "C.PNG"}));
        QCOMPARE(gate.AskedCount(), size_t(3));
    }

    void pictureChoosing() {
        TempFolder t;
        const std::string d = t.Path();
        SaveImage(d + "a.png", 20, 20, "PNG");
        SaveImage(d + "b.png", 20, 20, "PNG");
        TCountingPump pump;
        TfrmPicsel dlg(pump, 80, 80, d);
        std::vector<std::string> opened;
        dlg.SetFolderOpener([&](const std::string& dir) { opened.push_back(dir); });
        auto* lv = Find<QListWidget>(&dlg, "LvPic");
        auto* ok = Find<QPushButton>(&dlg, "BitBtn1");

        // The status panel's first text names no folder.
        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QVERIFY(opened.empty());

        // The preset alone is not returned.
        dlg.SetCurrentFile(d + "page.png");
        QCOMPARE(dlg.SelPicFile(), d + "page.png");
        dlg.show();
        QTRY_VERIFY(dlg.PicListed());
        ok->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.SelPicFile(), std::string());

        // Double-click with nothing selected does nothing.
        dlg.show();
        dlg.setResult(-1);
        dlg.LvPicDblClick();
        QCOMPARE(dlg.result(), -1);

        // A clicked picture survives a cancel and is returned later.
        lv->setCurrentRow(1);
        emit lv->itemClicked(lv->item(1));
        QCOMPARE(dlg.CurFile(), d + "b.png");
        QCOMPARE(Panel(&dlg, "StatusPanel1"), QString::fromStdString(d + "b.png"));
        Find<QPushButton>(&dlg, "SpeedButton1")->click();
        QCOMPARE(opened, std::vector<std::string>{d});
        Find<QPushButton>(&dlg, "BitBtn2")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        dlg.SetCurrentFile("");
        dlg.show();
        ok->click();
        QCOMPARE(dlg.SelPicFile(), d + "b.png");

        // Double-click on a picture takes it at once.
        dlg.show();
        lv->setCurrentRow(0);
        emit lv->itemDoubleClicked(lv->item(0));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.SelPicFile(), d + "a.png");
    }

    // Thumbnails are made on workers and each is shown in its name's place as it
    // comes, while the others are still under way; a damaged file never shows.
    void pictureThumbnailsShownInOrderAsTheyCome() {
        TempFolder t;
        const std::string d = t.Path();
        const struct {
            const char* name;
            QColor colour;
        } pictures[] = {{"a.png", Qt::red}, {"b.png", Qt::green}, {"c.png", Qt::blue}, {"d.png", Qt::yellow}};
        for (const auto& p : pictures) {
            QImage img(40, 40, QImage::Format_RGB32);
            img.fill(p.colour);
            QVERIFY(img.save(QString::fromStdString(d + p.name), "PNG"));
        }
        t.File("bb.jpg", "\xFF\xD8\xFF\xE0 broken");
        TCountingPump pump;
        TfrmPicsel dlg(pump, 60, 60, d);
        TThumbnailGate gate;
        dlg.SetThumbnailLoader(gate.Loader());
        gate.Hold(d + "a.png");
        gate.Hold(d + "c.png");
        auto* lv = Find<QListWidget>(&dlg, "LvPic");
        auto* progress = Find<QProgressBar>(&dlg, "FProgress");
        dlg.show();
        QTRY_COMPARE(Captions(lv), (QStringList{"b.png", "d.png"}));
        QTRY_COMPARE(progress->value(), 3);  // b.png, bb.jpg and d.png done
        QVERIFY(dlg.Busy());
        QVERIFY(progress->isVisible());
        QVERIFY(!dlg.PicListed());
        // What is shown can be clicked meanwhile.
        lv->setCurrentRow(1);
        emit lv->itemClicked(lv->item(1));
        QCOMPARE(dlg.CurFile(), d + "d.png");

        gate.Release(d + "c.png");
        QTRY_COMPARE(Captions(lv), (QStringList{"b.png", "c.png", "d.png"}));
        QVERIFY(dlg.Busy());
        gate.Release(d + "a.png");
        QTRY_VERIFY(dlg.PicListed());
        QVERIFY(!dlg.Busy());
        QVERIFY(!progress->isVisible());
        QCOMPARE(Captions(lv), (QStringList{"a.png", "b.png", "c.png", "d.png"}));
        QCOMPARE(dlg.PicFiles(), (TStringList{"a.png", "b.png", "c.png", "d.png"}));
        for (int i = 0; i < lv->count(); ++i)
            QCOMPARE(IconCentre(lv->item(i), 60), pictures[i].colour);
    }

    // The chooser goes (at the program's end) while a picture is still being decoded:
    // it does not wait for it, and the late result reaches nothing.
    void pictureChooserGoesWithoutWaitingForADecode() {
        TempFolder t;
        SaveImage(t.Path() + "a.png", 20, 20, "PNG");
        TThumbnailGate gate;
        gate.Hold(t.Path() + "a.png");
        TCountingPump pump;
        auto dlg = std::make_unique<TfrmPicsel>(pump, 100, 100, t.Path());
        dlg->SetThumbnailLoader(gate.Loader());
        dlg->show();
        QTRY_VERIFY(gate.WasAsked(t.Path() + "a.png"));
        dlg.reset();  // with the gate still shut: waiting here would never end
        gate.Release(t.Path() + "a.png");
        // Dropped on the worker, the thumbnail goes there; sent on to the chooser
        // that is gone, it would wait in the queue for a window messages' run.
        const bool dropped = gate.WaitGone(t.Path() + "a.png");
        // A result sent to the chooser that is gone must not reach it in a later test.
        if (!dropped) QCoreApplication::removePostedEvents(nullptr, 0);
        QVERIFY2(dropped, "the late thumbnail was sent on to a chooser that is gone");
    }

    // A folder chosen while a listing waits on a slow picture is listed at once; what
    // the first listing still brings is dropped.
    void pictureFolderChangeDuringListingWins() {
        TempFolder t;
        const std::string d = t.Path();
        SaveImage(d + "a.png", 20, 20, "PNG");
        SaveImage(d + "b.png", 20, 20, "PNG");
        fs::create_directory(d + "other");
        // Qt writes no GIF: a one-pixel GIF by hand.
        t.File("other/x.gif", B({0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
                                 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01,
                                 0x00, 0x3B}));
        fs::create_directory(d + "empty");
        TCountingPump pump;
        TfrmPicsel dlg(pump, 100, 100, d);
        TThumbnailGate gate;
        dlg.SetThumbnailLoader(gate.Loader());
        gate.Hold(d + "a.png");
        auto* tree = Find<QTreeView>(&dlg, "STVData");
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        auto* lv = Find<QListWidget>(&dlg, "LvPic");
        auto choose = [&](const std::string& dir) {
            tree->setCurrentIndex(model->index(QString::fromStdString(dir)));
        };
        dlg.show();
        QTRY_VERIFY(gate.WasAsked(d + "a.png"));
        QTRY_COMPARE(Captions(lv), QStringList{"b.png"});
        QVERIFY(dlg.Busy());
        choose(d + "other");
        QTRY_VERIFY(dlg.PicListed());
        QVERIFY(!dlg.Busy());
        QCOMPARE(dlg.Folder(), d + "other/");
        QCOMPARE(Captions(lv), QStringList{"x.gif"});
        // The slow picture of the folder left behind comes too late to count.
        gate.Release(d + "a.png");
        QTRY_VERIFY(gate.Gone(d + "a.png"));
        QCOMPARE(Captions(lv), QStringList{"x.gif"});
        QCOMPARE(dlg.PicFiles(), TStringList{"x.gif"});

        choose(d + "empty");
        QTRY_COMPARE(dlg.Folder(), d + "empty/");
        QTRY_VERIFY(!dlg.Busy());
        QCOMPARE(lv->count(), 0);
        QVERIFY(!Find<QProgressBar>(&dlg, "FProgress")->isVisible());
        choose(d);
        QTRY_COMPARE(Captions(lv), (QStringList{"a.png", "b.png"}));
    }

    // A mouse click on a folder in the tree: the clicked folder is highlighted while
    // it is listed, and stays so when a node above it is expanded meanwhile.
    void pictureTreeHighlightsTheListedFolder() {
        TempFolder t;
        const std::string d = t.Path();
        for (const char* sub : {"a/a1", "a/a2", "a/a3", "b", "c"}) fs::create_directories(d + sub);
        for (const char* name : {"b/p1.png", "b/p2.png", "b/p3.png"}) SaveImage(d + name, 20, 20, "PNG");
        TCountingPump pump;
        TfrmPicsel dlg(pump, 100, 100, d);
        TThumbnailGate gate;
        dlg.SetThumbnailLoader(gate.Loader());
        dlg.show();
        QTRY_VERIFY(dlg.PicListed());
        auto* tree = Find<QTreeView>(&dlg, "STVData");
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        auto index = [&](const std::string& p) { return model->index(ModelPath(p)); };
        auto highlighted = [&] {
            QStringList out;
            for (const QModelIndex& i : tree->selectionModel()->selectedRows())
                out << model->filePath(i);
            return out;
        };
        const QModelIndex a = index(d + "a"), b = index(d + "b");
        tree->expand(index(d));
        QTRY_COMPARE(model->rowCount(index(d)), 3);
        tree->expand(a);
        QTRY_COMPARE(model->rowCount(a), 3);
        tree->collapse(a);
        QTest::qWait(50);  // the model's delayed sort
        tree->scrollTo(b);
        const QRect bRect = tree->visualRect(b);
        QVERIFY(tree->viewport()->rect().contains(bRect));
        QCOMPARE(highlighted(), QStringList{ModelPath(d)});

        // The listing waits on its first picture meanwhile.
        gate.Hold(d + "b/p1.png");
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, bRect.center());
        QTRY_COMPARE(dlg.Folder(), d + "b/");
        QTRY_VERIFY(gate.WasAsked(d + "b/p1.png"));
        QVERIFY(dlg.Busy());
        QCOMPARE(highlighted(), QStringList{ModelPath(d + "b")});
        tree->expand(a);  // three rows come in above the clicked one
        QTest::qWait(50);
        gate.Release(d + "b/p1.png");
        QTRY_VERIFY(!dlg.Busy());
        QVERIFY(tree->isExpanded(a));
        QCOMPARE(highlighted(), QStringList{ModelPath(d + "b")});
        QCOMPARE(tree->currentIndex(), b);
        QCOMPARE(Captions(Find<QListWidget>(&dlg, "LvPic")),
                 (QStringList{"p1.png", "p2.png", "p3.png"}));
    }

    void pictureThumbnailSideHasAFloor() {
        TempFolder t;
        TCountingPump pump;
        TfrmPicsel dlg(pump, 0, -5, t.Path());
        QCOMPARE(Find<QListWidget>(&dlg, "LvPic")->iconSize(), QSize(16, 16));
    }
};

QTEST_MAIN(ChooserDialogsTest)
#include "chooser_dialogs_test.moc"
