// The converter window: a source and a target file, the ZUR mode, and the two
// conversion directions. WAV/MP3/WMA -> ZUR decodes the source into
// "tmpaudio.wav" (8000 Hz, mono, 16 bits) on the chain's worker thread, then runs
// "run.bat", which calls "Converter" wav2zur; ZUR -> WAV runs "run.bat" calling
// "Converter" zur2wav. Both files live in the program's folder.
#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio_file_in.h"
#include "audio_swr_stage.h"
#include "dos_command.h"
#include "wave_out.h"
#include "zur_folder_lock.h"

class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;
class TDialogService;

class Tfrmzur : public QWidget {
    Q_OBJECT
public:
    // AppDir: the program's folder, ending with "/" (default: the folder of the
    // program's own executable).
    explicit Tfrmzur(TDialogService& Dialogs, const QString& AppDir = QString(),
                     QWidget* Parent = nullptr);
    ~Tfrmzur() override;

    // How the wait loop lets pending events run (default:
    // QCoreApplication::processEvents).
    void SetProcessMessages(std::function<void()> Value) { FProcessMessages = std::move(Value); }
    // True while a conversion is under way.
    bool Busy() const { return FBusy; }

    void SBSourceSelClick();
    void SBTaskSelClick();
    void SBtoZurClick();
    void SBtoWaveClick();
    // The dropped files, in the order of the drop.
    void FilesDropped(const std::vector<std::string>& FileNames);
    // The application's silent error handler: drops the error.
    void AppException(const std::exception& E);

protected:
    // Closing during a conversion abandons it: a run under way is stopped (its
    // whole process group), the intermediate files go, and no box follows.
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void WaveOut1Done();
    // Takes the folder for a conversion: refuses with the busy message while
    // another conversion (of any zur) holds it, and with "转换异常" and the
    // cause when the folder cannot be written or the outside program is not
    // there to run. Gives whether the conversion may start.
    bool TakeFolder();
    // Writes FScript as "run.bat", runs it and waits for its end (or for the
    // window to close); gives empty when the batch file was written, ran, ended
    // with status 0 and made or rewrote the target, else the cause.
    std::string RunBatchFile();
    // "转换异常" in the status and in a box, with the cause after it.
    void Failed(const std::string& Cause);
    void Message(const QString& Text);
    // Runs a handler; an error it raises goes to AppException.
    void Guarded(const std::function<void()>& Handler);

    // Controls, in their declared order.
    QToolButton* SBtoZur;
    QFrame* Bevel1;
    QToolButton* SBtoWave;
    QComboBox* CBMR;
    QLabel* Label1;
    QToolButton* SBSourceSel;
    QLabel* Label2;
    QLineEdit* EditSource;
    QLabel* Label3;
    QLineEdit* EditTask;
    QToolButton* SBTaskSel;
    QFileDialog* OpenDialog;
    QFileDialog* SaveDialog;
    QLabel* Labelstat;

    TDialogService& FDialogs;
    std::function<void()> FProcessMessages;
    TWaveOut* FOutput = nullptr;
    std::string FAppDir;
    TDosCommand* FDosCommand = nullptr;
    std::vector<std::string> FScript;
    std::string FSourceFile;
    std::string FTargetFile;
    std::string FTempWav;
    std::string FBatFile;
    std::unique_ptr<TWaveIn> FWaveIn;
    std::unique_ptr<TWmaIn> FWmaIn;
    std::unique_ptr<TMp3In> FMp3In;
    std::unique_ptr<TWaveOut> FWaveOut;
    std::unique_ptr<TAudioConverter> FConverter;
    std::unique_ptr<TResampler> FResampler;
    bool FBusy = false;
    // Held from the start of a conversion to its end.
    TFolderLock FFolderLock;
    // The window was closed during the conversion under way.
    bool FClosing = false;
};
