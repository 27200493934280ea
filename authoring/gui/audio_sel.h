// The sound-clip chooser: browse from the music folder, listen to a clip, see
// whether it has its same-named partner, and confirm with a time mode.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "media_player.h"
#include "services.h"

class QLabel;
class QMenu;
class TFolderBrowser;

class TFrmAudioSel : public QDialog {
    Q_OBJECT
public:
    // player is the program's one media player, shared with the pages.
    TFrmAudioSel(MediaPlayer& player, TQuestions& questions, TMessagePump& pump,
                 const std::string& programDir, const std::string& musicDir,
                 QWidget* parent = nullptr);

    // The preset before each showing: the page's current clip (empty for none).
    void SetCurrentFile(const std::string& path);
    // After exec() == Accepted: the chosen clip (empty: nothing chosen) and the time
    // mode (1 add, 2 recompute, 3 keep the duration).
    const std::string& SelAudioFile() const { return selAudioFile_; }
    int TimeMode() const { return timeMode_; }

    const std::string& CurFile() const { return curFile_; }
    bool Linked() const { return linked_; }

    // Starts the converter program; QProcess::startDetached unless replaced.
    void SetProgramStarter(std::function<void(const std::string&)> start) { start_ = std::move(start); }

    // Handlers, named after their controls and events.
    void SLVDataClick();
    void SLVDataDblClick();
    void BitBtn1Click();
    void N1Click();
    void N2Click();
    void SBPlayClick();
    void SBStopClick();
    void SpeedButton1Click();
    void ShowLinkedFile(const std::string& path);

    // Playback stops however the window closes.
    void done(int result) override;

private:
    void Confirm(int mode);

    MediaPlayer& player_;
    TQuestions& questions_;
    TMessagePump& pump_;
    std::string programDir_;
    std::function<void(const std::string&)> start_;

    std::string curFile_;
    std::string selAudioFile_;
    bool linked_ = false;
    int timeMode_ = 0;

    TFolderBrowser* browser_ = nullptr;
    QLabel* lblTotalTime_ = nullptr;
    QLabel* panelLinked_ = nullptr;
    QLabel* panelPath_ = nullptr;
    QMenu* popup_ = nullptr;
};
