#include "zur_window.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>

#include "dialog_service.h"
#include "zur_application.h"
#include "zur_failure.h"
#include "zur_paths.h"
#include "zur_script.h"

namespace {

const char* const kCaption = "提示";

QToolButton* MakeSpeedButton(QWidget* Parent, const char* Name, const QString& Text) {
    auto* button = new QToolButton(Parent);
    button->setObjectName(Name);
    button->setText(Text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Text) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    return label;
}

QLineEdit* MakeEdit(QWidget* Parent, const char* Name) {
    auto* edit = new QLineEdit(Parent);
    edit->setObjectName(Name);
    return edit;
}

QString FromUtf8(const std::string& Text) { return QString::fromStdString(Text); }

// Deletes a file (not a folder) if it is there; failures are ignored.
void DeleteFileQuietly(const std::string& FileName) { ::unlink(FileName.c_str()); }

// Ends a conversion step, however it ends: FreeFolder removes the intermediate
// files and gives the folder free, which is done before the final box so that
// another zur need not wait for its OK; the busy and closing flags clear last.
class TConversionEnd {
public:
    TConversionEnd(bool& Busy, bool& Closing, TFolderLock& Lock, std::vector<std::string> Files)
        : FBusy(Busy), FClosing(Closing), FLock(Lock), FFiles(std::move(Files)) {}
    ~TConversionEnd() {
        FreeFolder();
        FBusy = false;
        FClosing = false;
    }
    // Once only: after the release the files may be another conversion's.
    void FreeFolder() {
        for (const std::string& file : FFiles) DeleteFileQuietly(file);
        FFiles.clear();
        FLock.Release();
    }

private:
    bool& FBusy;
    bool& FClosing;
    TFolderLock& FLock;
    std::vector<std::string> FFiles;
};

}  // namespace

Tfrmzur::Tfrmzur(TDialogService& Dialogs, const QString& AppDir, QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FDialogs(Dialogs),
      FProcessMessages([] { QCoreApplication::processEvents(); }) {
    setObjectName("frmzur");
    setWindowTitle("wave(mp3 wma)<->zur");

    SBtoZur = MakeSpeedButton(this, "SBtoZur", "WAVE(MP3,WMA)->ZUR");
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    SBtoWave = MakeSpeedButton(this, "SBtoWave", "ZUR->WAVE");
    CBMR = new QComboBox(this);
    CBMR->setObjectName("CBMR");
    CBMR->setEditable(false);
    CBMR->addItems({"4.75", "5.15", "5.9", "6.7", "7.4", "7.95", "10.2", "12.2"});
    CBMR->setCurrentIndex(0);
    Label1 = MakeLabel(this, "Label1", "选择 MR");
    Label1->setBuddy(CBMR);
    SBSourceSel = MakeSpeedButton(this, "SBSourceSel", "选择文件");
    Label2 = MakeLabel(this, "Label2", "原始文件");
    EditSource = MakeEdit(this, "EditSource");
    Label3 = MakeLabel(this, "Label3", "转换文件");
    EditTask = MakeEdit(this, "EditTask");
    SBTaskSel = MakeSpeedButton(this, "SBTaskSel", "选择文件");
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName("OpenDialog");
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setNameFilters({"wav,mp3,wma (*.wav *.mp3 *.wma)", "zur (*.zur)"});
    SaveDialog = new QFileDialog(this);
    SaveDialog->setObjectName("SaveDialog");
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setNameFilters({"wav,zur (*.wav *.zur)"});
    SaveDialog->setDefaultSuffix(QString());
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    Labelstat = MakeLabel(this, "Labelstat", QString());

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(EditSource, 0, 1);
    grid->addWidget(SBSourceSel, 0, 2);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(EditTask, 1, 1);
    grid->addWidget(SBTaskSel, 1, 2);
    grid->addWidget(Bevel1, 2, 0, 1, 3);
    auto* row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(CBMR);
    row->addStretch(1);
    row->addWidget(SBtoZur);
    row->addWidget(SBtoWave);
    grid->addLayout(row, 3, 0, 1, 3);
    grid->addWidget(Labelstat, 4, 0, 1, 3);
    grid->setRowStretch(5, 1);  // the rows keep together at the top
    resize(485, 200);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(SBtoZur, &QToolButton::clicked, this, [this] { Guarded([this] { SBtoZurClick(); }); });
    connect(SBtoWave, &QToolButton::clicked, this,
            [this] { Guarded([this] { SBtoWaveClick(); }); });
    connect(SBSourceSel, &QToolButton::clicked, this,
            [this] { Guarded([this] { SBSourceSelClick(); }); });
    connect(SBTaskSel, &QToolButton::clicked, this,
            [this] { Guarded([this] { SBTaskSelClick(); }); });

    // FormCreate: the silent error handler, the folder and the intermediate
    // files, drops, and the decoding chain.
    if (auto* app = qobject_cast<TZurApplication*>(QCoreApplication::instance()))
        app->SetOnException([this](const std::exception& E) { AppException(E); });
    QString dir = AppDir.isEmpty() ? QCoreApplication::applicationDirPath() : AppDir;
    if (!dir.endsWith('/')) dir += '/';
    FAppDir = dir.toStdString();
    FTempWav = FAppDir + "tmpaudio.wav";
    FBatFile = FAppDir + "run.bat";
    FScript.clear();
    setAcceptDrops(true);
    FWaveIn = std::make_unique<TWaveIn>();
    FWmaIn = std::make_unique<TWmaIn>();
    FMp3In = std::make_unique<TMp3In>();
    FWaveOut = std::make_unique<TWaveOut>();
    FConverter = std::make_unique<TAudioConverter>();
    FResampler = std::make_unique<TResampler>();
    FResampler->SetOutSampleRate(8000);
    FConverter->SetOutChannels(1);
    FConverter->SetOutBitsPerSample(16);
    FConverter->SetInput(FResampler.get());
    FWaveOut->SetInput(FConverter.get());
    FWaveOut->SetOnDone([this](TWaveOut*) { WaveOut1Done(); });
    FBusy = false;
}

Tfrmzur::~Tfrmzur() {
    // FormDestroy. The writer is stopped first, so that a run under way cannot
    // make "tmpaudio.wav" again after it has been deleted.
    FScript.clear();
    setAcceptDrops(false);
    FWaveOut.reset();
    FOutput = nullptr;
    // What a conversion left behind goes, unless another zur's conversion in
    // this folder is using it. A window that was only opened makes no lock
    // file: without one, or with something else than a file under its name, no
    // conversion holds the folder.
    const TFolderLock::TResult state = FFolderLock.Acquire(FAppDir, TFolderLock::TMake::Nothing);
    if (state == TFolderLock::TResult::Acquired || state == TFolderLock::TResult::NoLockFile ||
        state == TFolderLock::TResult::NotAFile) {
        DeleteFileQuietly(FTempWav);
        DeleteFileQuietly(FBatFile);
    }
    FFolderLock.Release();
    FConverter.reset();
    FResampler.reset();
    FWaveIn.reset();
    FWmaIn.reset();
    FMp3In.reset();
    if (auto* app = qobject_cast<TZurApplication*>(QCoreApplication::instance()))
        app->SetOnException(nullptr);
}

void Tfrmzur::AppException(const std::exception&) {}

void Tfrmzur::Guarded(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& e) {
        AppException(e);
    }
}

void Tfrmzur::Message(const QString& Text) {
    if (FClosing) return;  // no box for a window that is gone
    FDialogs.ShowMessage(this, kCaption, Text);
}

void Tfrmzur::Failed(const std::string& Cause) {
    Labelstat->setText(ZurFailedText);
    Message(FromUtf8(ConversionFailedMessage(Cause)));
}

bool Tfrmzur::TakeFolder() {
    switch (FFolderLock.Acquire(FAppDir)) {
        case TFolderLock::TResult::Acquired:
            break;
        case TFolderLock::TResult::Busy:
            Message("请等待转换成功后再操作");
            return false;
        case TFolderLock::TResult::NotAFile:
            Failed(LockNotAFileCause(FAppDir));
            return false;
        case TFolderLock::TResult::Failed:
        case TFolderLock::TResult::NoLockFile:  // not asked for: the file is made
            Failed(FolderNotWritableCause(FAppDir, FFolderLock.Error()));
            return false;
    }
    if (const std::string problem = ConverterProblem(FAppDir); !problem.empty()) {
        FFolderLock.Release();
        Failed(problem);
        return false;
    }
    return true;
}

void Tfrmzur::closeEvent(QCloseEvent* Event) {
    if (FBusy) FClosing = true;
    QWidget::closeEvent(Event);
}

void Tfrmzur::SBSourceSelClick() {
    const QString chosen = FDialogs.ChooseFile(OpenDialog);
    if (chosen.isEmpty()) return;
    const TZurProposal proposal = ProposeForChosenSource(chosen.toStdString());
    EditSource->setText(FromUtf8(proposal.Source));
    EditTask->setText(FromUtf8(proposal.Target));
}

void Tfrmzur::SBTaskSelClick() {
    const QString chosen = FDialogs.ChooseFile(SaveDialog);
    if (chosen.isEmpty()) return;
    EditTask->setText(chosen);
}

void Tfrmzur::dragEnterEvent(QDragEnterEvent* Event) {
    if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void Tfrmzur::dropEvent(QDropEvent* Event) {
    std::vector<std::string> names;
    for (const QUrl& url : Event->mimeData()->urls())
        if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
    Guarded([&] { FilesDropped(names); });
    Event->acceptProposedAction();
}

void Tfrmzur::FilesDropped(const std::vector<std::string>& FileNames) {
    const std::optional<TZurProposal> proposal = ProposeForDroppedFiles(FileNames);
    if (!proposal) return;
    EditSource->setText(FromUtf8(proposal->Source));
    EditTask->setText(FromUtf8(proposal->Target));
}

void Tfrmzur::SBtoZurClick() {
    if (FBusy) {
        Message("请等待转换成功后再操作");
        return;
    }
    FSourceFile = TrimText(EditSource->text().toStdString());
    FTargetFile = TrimText(EditTask->text().toStdString());
    if (FSourceFile.empty() || FTargetFile.empty()) {
        Message("请选择文件");
        return;
    }
    TAudioFileIn* decoder = nullptr;
    switch (SourceKindOf(FSourceFile)) {
        case TZurSourceKind::Wave:
            decoder = FWaveIn.get();
            break;
        case TZurSourceKind::Mp3:
            decoder = FMp3In.get();
            break;
        case TZurSourceKind::Wma:
            decoder = FWmaIn.get();
            break;
        case TZurSourceKind::None:
            Message("无效的文件类型");
            return;
    }
    FResampler->SetInput(decoder);
    decoder->SetFileName(FSourceFile);
    if (!decoder->Valid()) {
        Message("无效的文件格式");
        return;
    }
    if (!TakeFolder()) return;
    // Until the writer runs, nothing else would give the folder back.
    try {
        FBusy = true;
        FOutput = FWaveOut.get();
        FWaveOut->SetFileName(FTempWav);
        Labelstat->setText("开始转换");
        FOutput->Run();
    } catch (...) {
        FFolderLock.Release();
        FBusy = false;
        throw;
    }
}

void Tfrmzur::WaveOut1Done() {
    TConversionEnd end(FBusy, FClosing, FFolderLock, {FTempWav, FBatFile});
    if (FClosing) return;  // closed while decoding: the batch file is not run
    if (!FWaveOut->ExceptionMessage().empty()) {
        const std::string cause =
            DecodingFailedCause(FWaveOut->FileError(), FWaveOut->ExceptionMessage(), FAppDir);
        end.FreeFolder();
        Failed(cause);
        return;
    }
    Labelstat->setText("转换中，请等待");
    const int mode = std::clamp(CBMR->currentIndex(), 0, 7);
    FScript = {ZurEncodeLine(FAppDir, FTempWav, FTargetFile, ZurModeNames[mode]), "exit"};
    const std::string cause = RunBatchFile();
    if (FClosing) return;
    Labelstat->setText(QString());
    end.FreeFolder();
    if (cause.empty())
        Message("转换完成");
    else
        Failed(cause);
}

void Tfrmzur::SBtoWaveClick() {
    const std::string source = TrimText(EditSource->text().toStdString());
    const std::string target = TrimText(EditTask->text().toStdString());
    if (source.empty() || target.empty()) {
        Message("请选择文件");
        return;
    }
    if (FBusy) {
        Message("请等待转换成功后再操作");
        return;
    }
    if (!IsZurFile(source)) {
        Message("无效的文件类型");
        return;
    }
    std::vector<std::string> files{FBatFile};  // made first: the end's guard must not fail
    if (!TakeFolder()) return;
    FBusy = true;
    TConversionEnd end(FBusy, FClosing, FFolderLock, std::move(files));
    FSourceFile = source;
    FTargetFile = target;
    Labelstat->setText("开始转换");
    FScript = {ZurDecodeLine(FAppDir, FSourceFile, FTargetFile), "exit"};
    const std::string cause = RunBatchFile();
    if (FClosing) return;
    end.FreeFolder();
    if (cause.empty()) {
        Labelstat->setText("转换完成");
        Message("转换完成");
        Labelstat->setText(QString());
    } else {
        Failed(cause);
    }
}

std::string Tfrmzur::RunBatchFile() {
    // The outside program may have gone since the conversion was started.
    if (std::string problem = ConverterProblem(FAppDir); !problem.empty()) return problem;
    try {
        SaveScriptFile(FScript, FBatFile);
    } catch (const std::runtime_error& e) {
        // A batch file that cannot be written is a failed conversion.
        return FolderNotWritableCause(FAppDir, e.what());
    }
    const TFileStamp targetBefore = FileStampOf(FTargetFile);
    std::unique_ptr<TDosCommand> command = std::make_unique<TDosCommand>();
    FDosCommand = command.get();
    struct TForget {
        TDosCommand*& Command;
        ~TForget() { Command = nullptr; }
    } forget{FDosCommand};
    FDosCommand->SetCommandLine(ShellWord(FBatFile));
    // The outside program and whatever it starts hold the folder with us: should
    // this program be killed, nothing of the run goes on in a folder that looks
    // free (the runner's guard ends the run's group, and the folder is free
    // once the last of them has gone).
    FDosCommand->SetInheritedFd(FFolderLock.Handle());
    FDosCommand->Start();
    while (FDosCommand->IsRunning() && !FClosing) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        FProcessMessages();
    }
    // Ends the process group when the window was closed during the run.
    FDosCommand->Stop();
    // The outside program is judged by how it ended and by what it leaves: a
    // target file that this run made or rewrote (one left from before proves
    // nothing).
    TZurRunOutcome outcome;
    outcome.StartError = FDosCommand->LastError();
    outcome.WaitStatus = FDosCommand->ExitStatus();
    outcome.LastLine = LastOutputLine(FDosCommand->CapturedLines().ToVector());
    outcome.TargetWritten = FileWrittenSince(targetBefore, FTargetFile);
    return RunFailureCause(outcome, FTargetFile);
}
