// The converter window, offscreen: its controls, the file choices and drops, both
// conversion directions with a stand-in for the outside "Converter", the busy
// guard and the clean-up of "tmpaudio.wav" and "run.bat".
#include "zur_window.h"

#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "dialog_service.h"
#include "test_support.h"
#include "zur_application.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Answers the window's dialogs from a script and records what they showed.
class TScriptedDialogs : public TDialogService {
public:
    void ShowMessage(QWidget*, const QString& Caption, const QString& Text) override {
        Captions << Caption;
        Messages << Text;
        if (OnMessage) OnMessage(Text);
    }
    QString ChooseFile(QFileDialog* Dialog) override {
        Dialogs << Dialog->objectName();
        return FileAnswers.isEmpty() ? QString() : FileAnswers.takeFirst();
    }
    QStringList Captions;
    QStringList Messages;
    QStringList FileAnswers;
    QStringList Dialogs;
    // Runs while the box is up, as the user reads it.
    std::function<void(const QString& Text)> OnMessage;
};

bool PathExists(const QString& Path) {
    struct stat info {};
    return ::lstat(Path.toStdString().c_str(), &info) == 0;
}

QString ReadText(const QString& Path) {
    return QString::fromStdString(ReadFileBytes(Path.toStdString()));
}

// Whether the process has the file open.
bool HoldsFile(pid_t Pid, const QString& Path) {
    const QString wanted = QFileInfo(Path).canonicalFilePath();
    const QDir fds(QString("/proc/%1/fd").arg(Pid));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == wanted) return true;
    return false;
}

const char* const kBusy = "请等待转换成功后再操作";
const char* const kChooseFiles = "请选择文件";
const char* const kDone = "转换完成";
const char* const kFailed = "转换异常";

// "转换异常" with its cause on the next line.
QString FailedBecause(const QString& Cause) { return QString(kFailed) + "\n" + Cause; }

}  // namespace

class TZurWindowTest : public QObject {
    Q_OBJECT

private:
    QString FRoot;    // a fresh folder
    QString FAppDir;  // the program's folder, with the stand-in "Converter"
    QString FFiles;   // the user's files, in a folder whose name has capitals
    TScriptedDialogs* FDialogs = nullptr;
    Tfrmzur* FWindow = nullptr;

    QString File(const QString& Name) const { return FFiles + Name; }
    QString App(const QString& Name) const { return FAppDir + Name; }
    template <class T>
    T* Find(const char* Name) const {
        return FWindow->findChild<T*>(Name);
    }
    void Click(const char* Name) { Find<QToolButton>(Name)->click(); }
    void SetFields(const QString& Source, const QString& Target) {
        Find<QLineEdit>("EditSource")->setText(Source);
        Find<QLineEdit>("EditTask")->setText(Target);
    }
    QString Status() const { return Find<QLabel>("Labelstat")->text(); }
    QStringList ConverterArgs() const {
        return ReadText(App("converter-args.txt")).split('\n', Qt::SkipEmptyParts);
    }
    void Drop(const QStringList& Files) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& file : Files) urls << QUrl::fromLocalFile(file);
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(FWindow, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(FWindow, &drop);
    }
    void ExpectNothingLeftBehind() {
        QVERIFY(!PathExists(App("tmpaudio.wav")));
        QVERIFY(!PathExists(App("run.bat")));
        QVERIFY(!FWindow->Busy());
    }
    void MakeTone(const QString& Name, const std::string& Container, const std::string& Codec) {
        MakeToneClip(File(Name).toStdString(), Container, Codec, 44100, 2, 1.0);
    }
    // Clicks ZUR->WAVE for clip.zur, then WAVE->ZUR for tone.wav.
    void TryBothDirections() {
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        MakeTone("tone.wav", "wav", "pcm_s16le");
        SetFields(File("tone.wav"), File("tone.zur"));
        Click("SBtoZur");
    }

private slots:
    void init() {
        FRoot = QDir::tempPath() + "/zur-window-" +
                QString::number(QRandomGenerator::global()->generate64(), 16);
        FAppDir = FRoot + "/app/";
        FFiles = FRoot + "/My Music/";
        QVERIFY(QDir().mkpath(FAppDir));
        QVERIFY(QDir().mkpath(FFiles));
        QVERIFY(QFile::copy(ZUR_TEST_DATA_DIR "/Converter", App("Converter")));
        QVERIFY(::chmod(App("Converter").toStdString().c_str(), 0755) == 0);
        FDialogs = new TScriptedDialogs;
        FWindow = new Tfrmzur(*FDialogs, FAppDir);
    }

    void cleanup() {
        delete FWindow;
        FWindow = nullptr;
        delete FDialogs;
        FDialogs = nullptr;
        QDir(FRoot).removeRecursively();
    }

    void controlsAndTheirTexts() {
        QCOMPARE(FWindow->windowTitle(), QString("wave(mp3 wma)<->zur"));
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow));
        QCOMPARE(FWindow->size(), QSize(485, 200));
        QVERIFY(FWindow->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(FWindow->windowFlags().testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!FWindow->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(FWindow->acceptDrops());

        // The controls in their declared order, each under its own name.
        const QStringList declared = {"SBtoZur",    "Bevel1",      "SBtoWave",  "CBMR",
                                      "Label1",     "SBSourceSel", "Label2",    "EditSource",
                                      "Label3",     "EditTask",    "SBTaskSel", "OpenDialog",
                                      "SaveDialog", "Labelstat"};
        QStringList found;
        for (QObject* child : FWindow->children())
            if (declared.contains(child->objectName())) found << child->objectName();
        QCOMPARE(found, declared);

        QCOMPARE(Find<QToolButton>("SBtoZur")->text(), QString("WAVE(MP3,WMA)->ZUR"));
        QCOMPARE(Find<QToolButton>("SBtoWave")->text(), QString("ZUR->WAVE"));
        QCOMPARE(Find<QToolButton>("SBSourceSel")->text(), QString("选择文件"));
        QCOMPARE(Find<QToolButton>("SBTaskSel")->text(), QString("选择文件"));
        QCOMPARE(Find<QLabel>("Label1")->text(), QString("选择 MR"));
        QCOMPARE(Find<QLabel>("Label2")->text(), QString("原始文件"));
        QCOMPARE(Find<QLabel>("Label3")->text(), QString("转换文件"));
        QCOMPARE(Find<QLabel>("Labelstat")->text(), QString());
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString());
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString());
        QVERIFY(Find<QWidget>("Bevel1") != nullptr);

        auto* cbmr = Find<QComboBox>("CBMR");
        QVERIFY(!cbmr->isEditable());
        QStringList items;
        for (int i = 0; i < cbmr->count(); ++i) items << cbmr->itemText(i);
        QCOMPARE(items, QStringList({"4.75", "5.15", "5.9", "6.7", "7.4", "7.95", "10.2", "12.2"}));
        QCOMPARE(cbmr->currentIndex(), 0);

        auto* open = Find<QFileDialog>("OpenDialog");
        QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(open->nameFilters(),
                 QStringList({"wav,mp3,wma (*.wav *.mp3 *.wma)", "zur (*.zur)"}));
        auto* save = Find<QFileDialog>("SaveDialog");
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(save->nameFilters(), QStringList({"wav,zur (*.wav *.zur)"}));
        QCOMPARE(save->defaultSuffix(), QString());
        QVERIFY(save->testOption(QFileDialog::DontConfirmOverwrite));
    }

    // File names are case-sensitive here: a chosen path is kept as it is.
    void theOpenDialogProposesTheSourceAndItsTarget() {
        FDialogs->FileAnswers << "/D/Music/Song.MP3";
        Click("SBSourceSel");
        QCOMPARE(FDialogs->Dialogs, QStringList({"OpenDialog"}));
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/D/Music/Song.MP3"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/D/Music/Song.zur"));
        FDialogs->FileAnswers << "/D/Music/Clip.ZUR";
        Click("SBSourceSel");
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/D/Music/Clip.ZUR"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/D/Music/Clip.wav"));
        Click("SBSourceSel");  // cancelled: nothing changes
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/D/Music/Clip.ZUR"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/D/Music/Clip.wav"));
    }

    void theSaveDialogsChoiceIsTakenWithNoExtensionAdded() {
        FDialogs->FileAnswers << "/X/Out.ZUR"
                              << "/X/NoExt";
        Click("SBTaskSel");
        QCOMPARE(FDialogs->Dialogs, QStringList({"SaveDialog"}));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/X/Out.ZUR"));
        Click("SBTaskSel");
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/X/NoExt"));
        Click("SBTaskSel");  // cancelled
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/X/NoExt"));
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString());
    }

    void dropsKeepTheCaseAndTheFirstKnownFileWins() {
        Drop({"/D/Music/Song.MP3"});
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/D/Music/Song.MP3"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/D/Music/Song.zur"));
        Drop({"/d/a.txt", "/d/b.ZUR", "/d/c.wav"});
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/d/b.ZUR"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/d/b.wav"));
        Drop({"/d/notes.txt", "/d/picture.png"});
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), QString("/d/b.ZUR"));
        QCOMPARE(Find<QLineEdit>("EditTask")->text(), QString("/d/b.wav"));
        const QString longName = "/d/" + QString(300, 'N') + ".Wma";
        Drop({longName});
        QCOMPARE(Find<QLineEdit>("EditSource")->text(), longName);
        QCOMPARE(FDialogs->Messages, QStringList());
    }

    void emptyFieldsAnswerChooseFiles() {
        Click("SBtoZur");
        Click("SBtoWave");
        SetFields("   ", "x.wav");
        Click("SBtoZur");
        SetFields("a.zur", " \t ");
        Click("SBtoWave");
        QCOMPARE(FDialogs->Messages, QStringList(4, kChooseFiles));
        QCOMPARE(FDialogs->Captions, QStringList(4, "提示"));
        QVERIFY(!FWindow->Busy());
    }

    void aSourceOfTheWrongKindAnswersInvalidFileType() {
        SetFields(File("x.wav"), File("x.zur"));
        Click("SBtoWave");
        SetFields(File("x.zur"), File("x.wav"));
        Click("SBtoZur");
        QCOMPARE(FDialogs->Messages, QStringList(2, "无效的文件类型"));
        QVERIFY(!PathExists(App("converter-args.txt")));
        ExpectNothingLeftBehind();
    }

    void aSourceThatCannotBeDecodedAnswersInvalidFileFormat() {
        MakeTone("real.mp3", "mp3", "libmp3lame");
        QVERIFY(QFile::copy(File("real.mp3"), File("mp3inside.wav")));
        WriteTextFile(File("text.mp3").toStdString(), "not a sound\n");
        SetFields(File("missing.mp3"), File("out.zur"));
        Click("SBtoZur");
        SetFields(File("text.mp3"), File("out.zur"));
        Click("SBtoZur");
        SetFields(File("mp3inside.wav"), File("out.zur"));
        Click("SBtoZur");
        QCOMPARE(FDialogs->Messages, QStringList(3, "无效的文件格式"));
        QCOMPARE(Status(), QString());
        ExpectNothingLeftBehind();
        QVERIFY(!PathExists(File("out.zur")));
    }

    void waveToZurAtTheLastMode() {
        MakeTone("tone.wav", "wav", "pcm_s16le");
        SetFields(File("tone.wav"), File("tone.zur"));
        Find<QComboBox>("CBMR")->setCurrentText("12.2");
        QCOMPARE(Find<QComboBox>("CBMR")->currentIndex(), 7);
        Click("SBtoZur");
        QVERIFY(FWindow->Busy());  // the decoding runs on the worker thread
        QCOMPARE(Status(), QString("开始转换"));
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(Status(), QString());
        QCOMPARE(ConverterArgs(),
                 QStringList({"wav2zur", App("tmpaudio.wav"), File("tone.zur"), "MR122"}));
        QCOMPARE(ReadText(App("run.bat.seen")), "\"" + App("Converter") + "\" wav2zur \"" +
                                                    App("tmpaudio.wav") + "\"  \"" +
                                                    File("tone.zur") + "\" MR122\nexit\n");
        // What the stand-in received as its input: the intermediate WAVE file.
        const TWaveInfo wave = ReadWave(File("tone.zur").toStdString());
        QVERIFY(wave.Ok);
        QCOMPARE(wave.FormatTag, uint16_t(1));
        QCOMPARE(wave.FmtSize, 16u);
        QCOMPARE(wave.SampleRate, 8000u);
        QCOMPARE(wave.Channels, uint16_t(1));
        QCOMPARE(wave.BitsPerSample, uint16_t(16));
        QVERIFY(qAbs(int(wave.Samples.size()) - 8000) <= 2);
        ExpectNothingLeftBehind();
    }

    void mp3ToZurAtTheFirstMode() {
        MakeTone("Song.MP3", "mp3", "libmp3lame");
        SetFields(File("Song.MP3"), File("Song.zur"));
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(ConverterArgs().value(0), QString("wav2zur"));
        QCOMPARE(ConverterArgs().value(2), File("Song.zur"));
        QVERIFY(PathExists(File("Song.zur")));
        QVERIFY(ReadText(App("run.bat.seen")).startsWith("\"" + App("Converter") + "\" wav2zur"));
        QVERIFY(ReadText(App("run.bat.seen")).endsWith("\" MR475\nexit\n"));
        ExpectNothingLeftBehind();
    }

    void wmaToZur() {
        MakeTone("tone.wma", "asf", "wmav2");
        SetFields(File("tone.wma"), File("tone.zur"));
        Find<QComboBox>("CBMR")->setCurrentIndex(3);
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(ConverterArgs().value(3), QString("MR67"));
        QVERIFY(ReadWave(File("tone.zur").toStdString()).Ok);
        ExpectNothingLeftBehind();
    }

    void theTargetIsTrimmedAndKeepsItsCase() {
        MakeTone("tone.wav", "wav", "pcm_s16le");
        SetFields("  " + File("tone.wav") + "\t", " \t" + File("Out Put.ZUR") + "  ");
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(ConverterArgs().value(2), File("Out Put.ZUR"));
        QVERIFY(
            ReadText(App("run.bat.seen")).contains("\"  \"" + File("Out Put.ZUR") + "\" MR475\n"));
        QVERIFY(PathExists(File("Out Put.ZUR")));
        QVERIFY(!PathExists(File("out put.zur")));
        ExpectNothingLeftBehind();
    }

    void zurToWave() {
        WriteTextFile(File("Clip.ZUR").toStdString(), "#!AMR\n....");
        SetFields(File("Clip.ZUR"), " " + File("Clip.WAV"));
        Click("SBtoWave");  // runs to its end inside the click
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(Status(), QString());
        QCOMPARE(ConverterArgs(), QStringList({"zur2wav", File("Clip.ZUR"), File("Clip.WAV")}));
        QCOMPARE(ReadText(App("run.bat.seen")), "\"" + App("Converter") + "\" zur2wav \"" +
                                                    File("Clip.ZUR") + "\"  \"" + File("Clip.WAV") +
                                                    "\"\nexit\n");
        QCOMPARE(ReadText(File("Clip.WAV")), QString("#!AMR\n...."));
        ExpectNothingLeftBehind();
    }

    void busyAnswersWhileWaveToZurRuns() {
        MakeTone("tone.wav", "wav", "pcm_s16le");
        WriteTextFile(App("standin-delay").toStdString(), "0.8");
        SetFields(File("tone.wav"), File("tone.zur"));
        Click("SBtoZur");
        QVERIFY(FWindow->Busy());
        // Decoding: both fields empty.
        SetFields("", "");
        Click("SBtoZur");
        Click("SBtoWave");
        QCOMPARE(FDialogs->Messages, QStringList({kBusy, kChooseFiles}));
        // The mode is read when the decoding has ended.
        Find<QComboBox>("CBMR")->setCurrentIndex(5);
        // Encoding: the window answers while it waits for the batch file.
        QString statusMeanwhile;
        QTimer::singleShot(300, FWindow, [&] {
            statusMeanwhile = Status();
            WriteTextFile(File("other.zur").toStdString(), "x");
            SetFields(File("other.zur"), File("other.wav"));
            Click("SBtoWave");
            Click("SBtoZur");
        });
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(statusMeanwhile, QString("转换中，请等待"));
        QCOMPARE(FDialogs->Messages, QStringList({kBusy, kChooseFiles, kBusy, kBusy, kDone}));
        // The conversion under way kept its source and target.
        QCOMPARE(ConverterArgs(),
                 QStringList({"wav2zur", App("tmpaudio.wav"), File("tone.zur"), "MR795"}));
        QVERIFY(PathExists(File("tone.zur")));
        QVERIFY(!PathExists(File("other.wav")));
        ExpectNothingLeftBehind();
    }

    void busyAnswersWhileZurToWaveRuns() {
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        WriteTextFile(App("standin-delay").toStdString(), "0.8");
        SetFields(File("clip.zur"), File("clip.wav"));
        QString statusMeanwhile;
        bool busyMeanwhile = false;
        QTimer::singleShot(300, FWindow, [&] {
            statusMeanwhile = Status();
            busyMeanwhile = FWindow->Busy();
            Click("SBtoZur");
            Click("SBtoWave");
            SetFields("", "");
            Click("SBtoZur");
            Click("SBtoWave");
        });
        Click("SBtoWave");
        QVERIFY(busyMeanwhile);
        QCOMPARE(statusMeanwhile, QString("开始转换"));
        QCOMPARE(FDialogs->Messages, QStringList({kBusy, kBusy, kBusy, kChooseFiles, kDone}));
        QCOMPARE(ConverterArgs(), QStringList({"zur2wav", File("clip.zur"), File("clip.wav")}));
        ExpectNothingLeftBehind();
    }

    void aFailureWhileDecodingAnswersConversionFailed() {
        // A WAVE header that passes the check over data that does not decode.
        std::string junk;
        for (int i = 0; i < 20000; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
        WriteRawWave(File("junk.wav").toStdString(), 0x55, 2, 44100, 1, 0, junk);
        SetFields(File("junk.wav"), File("junk.zur"));
        Click("SBtoZur");
        QVERIFY(FWindow->Busy());
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages.size(), 1);
        QVERIFY2(FDialogs->Messages[0].startsWith(FailedBecause("原始文件不能解码：")),
                 qPrintable(FDialogs->Messages[0]));
        QCOMPARE(Status(), QString(kFailed));
        QVERIFY(!PathExists(App("converter-args.txt")));  // no batch file was run
        ExpectNothingLeftBehind();
    }

    void aFailureWhileWritingDeletesTheIntermediateFile() {
        MakeTone("tone.wav", "wav", "pcm_s16le");
        // A file size limit stops the write half-way, as a full disk would.
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &before);
            ::signal(SIGXFSZ, SIG_DFL);
        });
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = 4096;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        SetFields(File("tone.wav"), File("tone.zur"));
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &before) == 0);
        const QString failed = FailedBecause("程序文件夹不能写入：" + FAppDir + "（文件太大）");
        QCOMPARE(FDialogs->Messages, QStringList({failed}));
        QVERIFY(!PathExists(App("converter-args.txt")));
        ExpectNothingLeftBehind();
        // The next conversion works.
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({failed, kDone}));
    }

    void aMissingConverterIsNotReportedAsSuccess() {
        QVERIFY(QFile::remove(App("Converter")));
        MakeTone("tone.wav", "wav", "pcm_s16le");
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        SetFields(File("tone.wav"), File("tone.zur"));
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        // A target left from an earlier conversion is no proof of this one.
        WriteTextFile(File("old.wav").toStdString(), "old");
        SetFields(File("clip.zur"), File("old.wav"));
        Click("SBtoWave");
        // Told at the click, before anything is decoded or written.
        QCOMPARE(FDialogs->Messages,
                 QStringList(3, FailedBecause("找不到转换程序：" + App("Converter"))));
        QCOMPARE(Status(), QString(kFailed));
        QCOMPARE(ReadText(File("old.wav")), QString("old"));
        ExpectNothingLeftBehind();
    }

    // Each failure of the outside program is told with its cause; here the
    // stand-in is replaced by what the row names.
    void theCauseOfAFailureFollowsConversionFailed_data() {
        QTest::addColumn<QString>("converter");  // the script, or a kind of file
        QTest::addColumn<QString>("cause");      // %1: the program, %2: the target
        QTest::newRow("not runnable") << "#!/bin/sh\ncp \"$2\" \"$3\"\n:no-run-bit"
                                      << "转换程序不能运行：%1";
        QTest::newRow("a folder") << ":folder"
                                  << "转换程序不能运行：%1";
        QTest::newRow("status 1")
            << "#!/bin/sh\necho working\necho 'Converter: error: bad input stream' >&2\n"
               "echo >&2\nexit 1\n"
            << "转换程序结束状态 1：Converter: error: bad input stream";
        QTest::newRow("status 1, no output") << "#!/bin/sh\ncp \"$2\" \"$3\"\nexit 1\n"
                                             << "转换程序结束状态 1";
        QTest::newRow("target not written") << "#!/bin/sh\necho done\n"
                                            << "转换文件没有写出：%2";
    }
    void theCauseOfAFailureFollowsConversionFailed() {
        QFETCH(QString, converter);
        QFETCH(QString, cause);
        QVERIFY(QFile::remove(App("Converter")));
        if (converter == ":folder") {
            QVERIFY(QDir().mkpath(App("Converter")));
        } else {
            const bool runBit = !converter.endsWith(":no-run-bit");
            WriteTextFile(App("Converter").toStdString(),
                          converter.section(":no-run-bit", 0, 0).toStdString());
            QVERIFY(::chmod(App("Converter").toStdString().c_str(), runBit ? 0755 : 0644) == 0);
        }
        const QString expected =
            FailedBecause(cause.replace("%1", App("Converter")).replace("%2", File("clip.wav")));
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        QCOMPARE(FDialogs->Messages, QStringList({expected}));
        QCOMPARE(Status(), QString(kFailed));
        ExpectNothingLeftBehind();
        // The other direction tells the same.
        MakeTone("tone.wav", "wav", "pcm_s16le");
        SetFields(File("tone.wav"), File("clip.wav"));
        QFile::remove(File("clip.wav"));
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages, QStringList({expected, expected}));
        ExpectNothingLeftBehind();
    }

    // A folder where the lock cannot be made: the conversion does not start.
    // As root, permission bits do not stop a write, so a folder that has gone
    // stands in for one that cannot be written.
    void aFolderThatCannotBeWrittenIsTold() {
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        SetFields(File("clip.zur"), File("clip.wav"));
        const QString moved = FRoot + "/moved";
        QVERIFY(QDir().rename(FAppDir, moved));
        Click("SBtoWave");
        QVERIFY(QDir().rename(moved, FAppDir));
        const QString told =
            FailedBecause("程序文件夹不能写入：" + FAppDir + "（文件或文件夹不存在）");
        QCOMPARE(FDialogs->Messages, QStringList({told}));
        QVERIFY(!PathExists(App("converter-args.txt")));
        QVERIFY(!PathExists(App("run.bat")));
        if (::geteuid() != 0) {
            QVERIFY(::chmod(FAppDir.toStdString().c_str(), 0555) == 0);
            Click("SBtoWave");
            QVERIFY(::chmod(FAppDir.toStdString().c_str(), 0755) == 0);
            QCOMPARE(FDialogs->Messages.size(), 2);
            QCOMPARE(FDialogs->Messages[1],
                     FailedBecause("程序文件夹不能写入：" + FAppDir + "（Permission denied）"));
        }
    }

    // Something other than a plain file under the lock's name: the conversion
    // tells it (the folder itself can be written), and the close still removes
    // what a conversion left, leaving that name as it is.
    void aLockNameTakenByOtherThanAFileIsTold_data() {
        QTest::addColumn<QString>("standing");
        QTest::newRow("a link") << "link";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
    }
    void aLockNameTakenByOtherThanAFileIsTold() {
        QFETCH(QString, standing);
        const std::string lock = App("zur.lock").toStdString();
        if (standing == "link") {
            WriteTextFile(File("elsewhere").toStdString(), "kept");
            QVERIFY(::symlink(File("elsewhere").toStdString().c_str(), lock.c_str()) == 0);
        }
        if (standing == "folder") QVERIFY(::mkdir(lock.c_str(), 0755) == 0);
        if (standing == "fifo") QVERIFY(::mkfifo(lock.c_str(), 0644) == 0);
        TryBothDirections();
        const QString told =
            FailedBecause("锁文件不是普通文件，不能锁定程序文件夹：" + App("zur.lock"));
        QCOMPARE(FDialogs->Messages, QStringList({told, told}));
        QVERIFY(!PathExists(App("converter-args.txt")));
        QVERIFY(!FWindow->Busy());
        WriteTextFile(App("tmpaudio.wav").toStdString(), "x");
        WriteTextFile(App("run.bat").toStdString(), "exit\n");
        delete FWindow;
        FWindow = nullptr;
        QVERIFY(!PathExists(App("tmpaudio.wav")));
        QVERIFY(!PathExists(App("run.bat")));
        QVERIFY(PathExists(App("zur.lock")));
        if (standing == "link") QCOMPARE(ReadText(File("elsewhere")), QString("kept"));
    }

    // Two windows of one folder, as two zur started from Quilmar: while one
    // converts, the other refuses in both directions, and closing it leaves the
    // first one's files alone; the clip that is reported done is the right one.
    void aSecondWindowInTheSameFolderWaits_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("ZUR->WAVE") << "SBtoWave";
        QTest::newRow("WAVE->ZUR") << "SBtoZur";
    }
    void aSecondWindowInTheSameFolderWaits() {
        QFETCH(QString, button);
        const bool encode = button == "SBtoZur";
        MakeTone("five.wav", "wav", "pcm_s16le");
        MakeToneClip(File("ten.wav").toStdString(), "wav", "pcm_s16le", 44100, 2, 2.0);
        WriteTextFile(File("clip.zur").toStdString(), "the first clip");
        WriteTextFile(File("other.zur").toStdString(), "the second clip");
        WriteTextFile(App("standin-delay").toStdString(), "0.8");
        if (encode)
            SetFields(File("five.wav"), File("five.zur"));
        else
            SetFields(File("clip.zur"), File("clip.wav"));
        TScriptedDialogs secondDialogs;
        auto* second = new Tfrmzur(secondDialogs, FAppDir);
        auto secondClick = [&](const QString& Source, const QString& Target, const char* Name) {
            second->findChild<QLineEdit*>("EditSource")->setText(Source);
            second->findChild<QLineEdit*>("EditTask")->setText(Target);
            second->findChild<QToolButton*>(Name)->click();
        };
        bool scriptMeanwhile = false, tempMeanwhile = false;
        // Once the first window's outside program runs.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, FWindow, [&] {
            if (!PathExists(App("converter-args.txt"))) return;
            poll.stop();
            secondClick(File("other.zur"), File("other.wav"), "SBtoWave");
            secondClick(File("ten.wav"), File("ten.zur"), "SBtoZur");
            QVERIFY(!second->Busy());
            delete second;  // closing the idle window leaves the files in use
            second = nullptr;
            scriptMeanwhile = PathExists(App("run.bat"));
            tempMeanwhile = PathExists(App("tmpaudio.wav"));
        });
        poll.start();
        Click(button.toLatin1().constData());
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy() && !second, 30000);
        QCOMPARE(secondDialogs.Messages, QStringList(2, kBusy));
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QVERIFY(scriptMeanwhile);
        QCOMPARE(tempMeanwhile, encode);
        if (encode) {
            const TWaveInfo wave = ReadWave(File("five.zur").toStdString());
            QVERIFY(wave.Ok);
            QVERIFY(qAbs(int(wave.Samples.size()) - 8000) <= 2);  // one second, not two
        } else {
            QCOMPARE(ReadText(File("clip.wav")), QString("the first clip"));
        }
        QVERIFY(!PathExists(File("other.wav")));
        QVERIFY(!PathExists(File("ten.zur")));
        ExpectNothingLeftBehind();
        // Once the folder is free, another window converts.
        TScriptedDialogs thirdDialogs;
        Tfrmzur third(thirdDialogs, FAppDir);
        third.findChild<QLineEdit*>("EditSource")->setText(File("other.zur"));
        third.findChild<QLineEdit*>("EditTask")->setText(File("other.wav"));
        third.findChild<QToolButton*>("SBtoWave")->click();
        QCOMPARE(thirdDialogs.Messages, QStringList({kDone}));
        QCOMPARE(ReadText(File("other.wav")), QString("the second clip"));
    }

    // A conversion of another process holds the folder until that process
    // ends, however it ends: a killed holder frees it.
    void aConversionOfAnotherProcessHoldsTheFolderUntilItEnds() {
        QProcess holder;
        // The shell locks its own descriptor and becomes the sleep that keeps it.
        holder.start("sh", {"-c", "exec 9>\"$0\"; flock -n 9 || exit 1; echo locked; exec sleep 60",
                            App("zur.lock")});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAll(), QByteArray("locked\n"));
        TryBothDirections();
        QCOMPARE(FDialogs->Messages, QStringList(2, kBusy));
        QVERIFY(!FWindow->Busy());
        QVERIFY(!PathExists(App("run.bat")));
        QVERIFY(!PathExists(File("clip.wav")));
        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        QCOMPARE(FDialogs->Messages, QStringList({kBusy, kBusy, kDone}));
        ExpectNothingLeftBehind();
    }

    // The last box of a conversion, done or failed, comes after the folder is
    // free: another zur can convert while it waits for OK. The window itself
    // stays busy until the box is answered.
    void theFolderIsFreeWhileTheLastBoxIsUp_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("converter");  // replaces the stand-in unless empty
        QTest::addColumn<QString>("box");        // how the box begins
        QTest::addColumn<QString>("status");
        const QString failing = "#!/bin/sh\necho 'bad input stream'\nexit 1\n";
        QTest::newRow("ZUR->WAVE, done") << "SBtoWave"
                                         << "clip.zur"
                                         << "" << kDone << kDone;
        QTest::newRow("WAVE->ZUR, done") << "SBtoZur"
                                         << "tone.wav"
                                         << "" << kDone << "";
        QTest::newRow("ZUR->WAVE, failed") << "SBtoWave"
                                           << "clip.zur" << failing << FailedBecause("") << kFailed;
        QTest::newRow("WAVE->ZUR, failed") << "SBtoZur"
                                           << "tone.wav" << failing << FailedBecause("") << kFailed;
        QTest::newRow("WAVE->ZUR, not decoded")
            << "SBtoZur"
            << "junk.wav"
            << "" << FailedBecause("原始文件不能解码：") << kFailed;
    }
    void theFolderIsFreeWhileTheLastBoxIsUp() {
        QFETCH(QString, button);
        QFETCH(QString, source);
        QFETCH(QString, converter);
        QFETCH(QString, box);
        QFETCH(QString, status);
        if (!converter.isEmpty())
            WriteTextFile(App("Converter").toStdString(), converter.toStdString());
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        MakeTone("tone.wav", "wav", "pcm_s16le");
        std::string junk;
        for (int i = 0; i < 20000; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
        WriteRawWave(File("junk.wav").toStdString(), 0x55, 2, 44100, 1, 0, junk);
        int lockedBy = -1;
        bool busy = false, filesLeft = true;
        QString statusMeanwhile;
        FDialogs->OnMessage = [&](const QString&) {
            // Another process takes the lock as a second zur would.
            lockedBy =
                QProcess::execute("sh", {"-c", "exec 9>>\"$0\" && flock -n 9", App("zur.lock")});
            busy = FWindow->Busy();
            filesLeft = PathExists(App("tmpaudio.wav")) || PathExists(App("run.bat"));
            statusMeanwhile = Status();
        };
        SetFields(File(source), File("target"));
        Click(button.toLatin1().constData());
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages.size(), 1);
        QVERIFY2(FDialogs->Messages[0].startsWith(box), qPrintable(FDialogs->Messages[0]));
        QCOMPARE(lockedBy, 0);
        QVERIFY(busy);
        QVERIFY(!filesLeft);
        QCOMPARE(statusMeanwhile, status);
        ExpectNothingLeftBehind();
    }

    void aTargetLeftFromBeforeIsRewritten() {
        WriteTextFile(File("clip.zur").toStdString(), "new content");
        WriteTextFile(File("clip.wav").toStdString(), "old");
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        QCOMPARE(FDialogs->Messages, QStringList({kDone}));
        QCOMPARE(ReadText(File("clip.wav")), QString("new content"));
        ExpectNothingLeftBehind();
    }

    // A batch file that cannot be written ends as a failed conversion, in both
    // directions. As root, permission bits do not stop a write: a folder under
    // the name, or a file size limit (as a full disk), does.
    void anUnwritableBatchFileEndsAsAFailedConversion_data() {
        QTest::addColumn<QString>("standing");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a file size limit") << "limit";
    }
    void anUnwritableBatchFileEndsAsAFailedConversion() {
        QFETCH(QString, standing);
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &before);
            ::signal(SIGXFSZ, SIG_DFL);
        });
        auto block = [&] {
            if (standing == "folder") {
                QVERIFY(QDir().mkpath(App("run.bat")));
            } else {
                ::signal(SIGXFSZ, SIG_IGN);
                rlimit small = before;
                small.rlim_cur = 1;
                QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
            }
        };
        WriteTextFile(File("clip.zur").toStdString(), "zur");
        MakeTone("tone.wav", "wav", "pcm_s16le");
        block();
        SetFields(File("clip.zur"), File("clip.wav"));
        Click("SBtoWave");
        const QString failed = FailedBecause("程序文件夹不能写入：" + FAppDir + "（");
        QCOMPARE(FDialogs->Messages.size(), 1);
        QVERIFY(FDialogs->Messages[0].startsWith(failed));
        QCOMPARE(Status(), QString(kFailed));
        QVERIFY(!FWindow->Busy());
        block();  // a folder stays after the failed conversion
        SetFields(File("tone.wav"), File("tone.zur"));
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages.size(), 2);
        QVERIFY(FDialogs->Messages[1].startsWith(failed));
        QCOMPARE(Status(), QString(kFailed));
        QVERIFY(!PathExists(App("converter-args.txt")));
        QVERIFY(!PathExists(File("clip.wav")));
        QVERIFY(!PathExists(File("tone.zur")));
        // Nothing else is left in the program's folder.
        QStringList left = QDir(FAppDir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                                   QDir::NoDotAndDotDot);
        left.removeAll("Converter");
        left.removeAll("zur.lock");
        QCOMPARE(left, standing == "folder" ? QStringList({"run.bat"}) : QStringList());
        // Later conversions still end normally.
        if (standing == "folder") QVERIFY(QDir(App("run.bat")).removeRecursively());
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &before) == 0);
        Click("SBtoZur");
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->Busy(), 30000);
        QCOMPARE(FDialogs->Messages.size(), 3);
        QCOMPARE(FDialogs->Messages[2], QString(kDone));
        ExpectNothingLeftBehind();
    }

    // Closing the window during a conversion ends it and the program: the
    // Converter that never ends is stopped with all it started, the
    // intermediate files go, and no box comes. Runs the window in the
    // application's own event loop, as the program does.
    void closingDuringAConversionEndsItAndTheProgram_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("whileDecoding");
        QTest::newRow("ZUR->WAVE, a hung Converter") << "SBtoWave" << false;
        QTest::newRow("WAVE->ZUR, a hung Converter") << "SBtoZur" << false;
        QTest::newRow("WAVE->ZUR, while decoding") << "SBtoZur" << true;
    }
    void closingDuringAConversionEndsItAndTheProgram() {
        QFETCH(QString, button);
        QFETCH(bool, whileDecoding);
        WriteTextFile(App("standin-hang").toStdString(), "");
        if (button == "SBtoWave") {
            WriteTextFile(File("clip.zur").toStdString(), "zur");
            SetFields(File("clip.zur"), File("clip.wav"));
        } else {
            MakeTone("tone.wav", "wav", "pcm_s16le");
            SetFields(File("tone.wav"), File("tone.zur"));
        }
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow));

        std::vector<pid_t> pids;
        auto readPids = [&] {
            QStringList words = ReadText(App("converter-pids")).split(' ', Qt::SkipEmptyParts);
            for (const QString& word : words) pids.push_back(word.trimmed().toInt());
            return !pids.empty();
        };
        bool scriptSeen = false, tempSeen = false;
        QTimer::singleShot(0, FWindow, [&] {
            Click(button.toLatin1().constData());
            if (whileDecoding) FWindow->close();
        });
        QTimer poll;
        poll.setInterval(10);
        bool converterHoldsTheLock = false;
        connect(&poll, &QTimer::timeout, FWindow, [&] {
            if (!FWindow->isVisible() || !readPids()) return;
            scriptSeen = PathExists(App("run.bat"));
            tempSeen = PathExists(App("tmpaudio.wav"));
            converterHoldsTheLock = HoldsFile(pids.front(), App("zur.lock"));
            FWindow->close();
        });
        if (!whileDecoding) poll.start();
        // Should the window not end the run, the guard does, and the test fails.
        QTimer guard;
        guard.setSingleShot(true);
        bool guardFired = false;
        connect(&guard, &QTimer::timeout, [&] {
            guardFired = true;
            if (pids.empty()) readPids();
            for (pid_t pid : pids) ::kill(pid, SIGKILL);
            QCoreApplication::exit(1);
        });
        guard.start(20000);
        const int exitCode = QCoreApplication::exec();
        poll.stop();
        QCOMPARE(exitCode, 0);
        QVERIFY(!FWindow->isVisible());

        if (whileDecoding) {
            // The decoding's end still comes; it starts no batch file.
            QVERIFY(ProcessEventsUntil([&] { return !FWindow->Busy(); }, 30000));
            QVERIFY(!guardFired);
            QVERIFY(!PathExists(App("converter-args.txt")));
        } else {
            QVERIFY(scriptSeen);
            QCOMPARE(tempSeen, button == "SBtoZur");
            // The converter holds the folder with the window, should zur be killed.
            QVERIFY(converterHoldsTheLock);
            QVERIFY(!FWindow->Busy());
            QVERIFY(pids.size() == 2);
            for (pid_t pid : pids)
                QVERIFY2(SleepUntil([&] { return !IsAlive(pid); }, 5000),
                         qPrintable(QString("process %1 still runs").arg(pid)));
        }
        QVERIFY(!HasChildren());
        QCOMPARE(FDialogs->Messages, QStringList());
        QVERIFY(!PathExists(App("run.bat")));
        QVERIFY(!PathExists(App("tmpaudio.wav")));
    }

    // Closing removes what a conversion left (one of a killed zur keeps its
    // lock file), and makes no lock file of its own.
    void closingTheWindowDeletesTheIntermediateFiles_data() {
        QTest::addColumn<bool>("lockFile");
        QTest::newRow("no lock file") << false;
        QTest::newRow("the lock file of a killed zur") << true;
    }
    void closingTheWindowDeletesTheIntermediateFiles() {
        QFETCH(bool, lockFile);
        WriteTextFile(App("tmpaudio.wav").toStdString(), "x");
        WriteTextFile(App("run.bat").toStdString(), "exit\n");
        if (lockFile) WriteTextFile(App("zur.lock").toStdString(), "");
        delete FWindow;
        FWindow = nullptr;
        QVERIFY(!PathExists(App("tmpaudio.wav")));
        QVERIFY(!PathExists(App("run.bat")));
        QVERIFY(PathExists(App("Converter")));
        QCOMPARE(PathExists(App("zur.lock")), lockFile);
        // A window only opened and closed leaves the folder as it was.
        delete new Tfrmzur(*FDialogs, FAppDir);
        QCOMPARE(PathExists(App("zur.lock")), lockFile);
    }

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
            TZurApplication::UseChineseFormats();
            const locale_t desktop = ::newlocale(LC_ALL_MASK, "", locale_t(0));
            const QByteArray what =
                QByteArray("LC_ALL=") + (c.All ? c.All : "") + " LANG=" + (c.Lang ? c.Lang : "");
            QVERIFY2(desktop != locale_t(0), what.constData());
            QCOMPARE(QByteArray(::nl_langinfo_l(CODESET, desktop)), QByteArray("UTF-8"));
            ::freelocale(desktop);
            QCOMPARE(qgetenv("LC_TIME") == "zh_CN.UTF-8", haveChinese);
        }
    }

    void anErrorThatNoCodeHandlesIsDropped() {
        struct TThrower : QObject {
            bool event(QEvent*) override { throw std::runtime_error("unhandled"); }
        } thrower;
        QEvent event(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
    }
};

int main(int argc, char** argv) {
    TZurApplication app(argc, argv);
    av_log_set_level(AV_LOG_QUIET);
    TZurWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "zur_window_test.moc"
