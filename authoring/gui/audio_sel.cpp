#include "audio_sel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "chooser_browser.h"
#include "chooser_rules.h"
#include "shared_procs.h"
#include "text_codec.h"

namespace {
const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);
}  // namespace

TFrmAudioSel::TFrmAudioSel(MediaPlayer& player, TQuestions& questions, TMessagePump& pump,
                           const std::string& programDir, const std::string& musicDir,
                           QWidget* parent)
    : QDialog(parent),
      player_(player),
      questions_(questions),
      pump_(pump),
      programDir_(programDir),
      start_(StartProgramDetached) {
    setObjectName("FrmAudioSel");
    setWindowTitle("音频选择");
    resize(584, 425);

    auto* panel2 = new QWidget(this);
    panel2->setObjectName("Panel2");
    auto* label1 = new QLabel(
        "如果是mp3,wav,wma格式建议请用音频转换工具转换成zur格式。其中的zur播放和时间计算是通过同名的"
        "wav(wma,mp3)来播放和计算时间的。建议先转换一下放在同一目录。100K彩信音频(zur(4.75MR))一般只有 "
        "2.5分钟左右。程序会优先选择同名的zur文件作为发送文件。",
        panel2);
    label1->setObjectName("Label1");
    label1->setWordWrap(true);
    auto* speedButton1 = new QPushButton("wav(wma,mp3)<->zur工具", panel2);
    speedButton1->setObjectName("SpeedButton1");
    speedButton1->setAutoDefault(false);
    auto* p2 = new QVBoxLayout(panel2);
    p2->addWidget(label1);
    p2->addWidget(speedButton1, 0, Qt::AlignLeft);

    auto* panel3 = new QWidget(this);
    panel3->setObjectName("Panel3");
    auto* sbPlay = new QToolButton(panel3);
    sbPlay->setObjectName("SBPlay");
    sbPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    auto* sbStop = new QToolButton(panel3);
    sbStop->setObjectName("SBStop");
    sbStop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    lblTotalTime_ = new QLabel(kPlayTimeZero, panel3);
    lblTotalTime_->setObjectName("lbl_TotalTime");
    auto* p3 = new QHBoxLayout(panel3);
    p3->addWidget(sbPlay);
    p3->addWidget(sbStop);
    p3->addSpacing(12);
    p3->addWidget(lblTotalTime_, 1);

    auto* split = new QSplitter(this);
    browser_ = new TFolderBrowser(split, true);
    split->addWidget(browser_->Tree());
    split->addWidget(browser_->List());
    split->setSizes({249, 335});

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("StatusBar");
    statusBar->setSizeGripEnabled(false);
    AddStatusPanel(statusBar, "StatusPanel0", "文件名", 50);
    panelLinked_ = AddStatusPanel(statusBar, "StatusPanel1", "OK", 80, true);
    SetTextColour(panelLinked_, kRed);  // no clip linked yet
    panelPath_ = AddStatusPanel(statusBar, "StatusPanel2", "", 300);

    auto* panel1 = new QWidget(this);
    panel1->setObjectName("Panel1");
    auto* bitBtn3 = new QPushButton("确认并优化播放时间", panel1);
    bitBtn3->setObjectName("BitBtn3");
    bitBtn3->setAutoDefault(false);
    auto* bitBtn1 = new QPushButton("确认", panel1);
    bitBtn1->setObjectName("BitBtn1");
    bitBtn1->setDefault(true);
    auto* bitBtn2 = new QPushButton("取消", panel1);
    bitBtn2->setObjectName("BitBtn2");
    bitBtn2->setAutoDefault(false);
    auto* p1 = new QHBoxLayout(panel1);
    for (auto* b : {bitBtn3, bitBtn1, bitBtn2}) {
        b->setMinimumSize(150, 33);
        p1->addWidget(b);
    }

    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu1");
    QAction* n2 = popup_->addAction("重新计算");
    n2->setObjectName("N2");
    QAction* n1 = popup_->addAction("叠加时间");
    n1->setObjectName("N1");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel2);
    layout->addWidget(panel3);
    layout->addWidget(split, 1);
    layout->addWidget(statusBar);
    layout->addWidget(panel1);

    connect(speedButton1, &QPushButton::clicked, this, &TFrmAudioSel::SpeedButton1Click);
    connect(sbPlay, &QToolButton::clicked, this, &TFrmAudioSel::SBPlayClick);
    connect(sbStop, &QToolButton::clicked, this, &TFrmAudioSel::SBStopClick);
    connect(bitBtn1, &QPushButton::clicked, this, &TFrmAudioSel::BitBtn1Click);
    connect(bitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    PopUpOnMouseRelease(bitBtn3, popup_);
    connect(n2, &QAction::triggered, this, &TFrmAudioSel::N2Click);
    connect(n1, &QAction::triggered, this, &TFrmAudioSel::N1Click);
    connect(browser_->List(), &QListView::clicked, this, &TFrmAudioSel::SLVDataClick);
    connect(browser_->List(), &QListView::doubleClicked, this, &TFrmAudioSel::SLVDataDblClick);

    browser_->OpenFolder(musicDir);
}

void TFrmAudioSel::SetCurrentFile(const std::string& path) {
    selAudioFile_ = path;
    curFile_ = path;
    ShowLinkedFile(path);
}

void TFrmAudioSel::ShowLinkedFile(const std::string& path) {
    linked_ = HasLinkedFile(path);
    panelLinked_->setText(linked_ ? kLinkedText : kNotLinkedText);
    SetTextColour(panelLinked_, linked_ ? kBlue : kRed);
    panelPath_->setText(QString::fromStdString(path));
    pump_.ProcessMessages();
}

void TFrmAudioSel::SLVDataClick() {
    const std::string p = browser_->SelectedPath();
    if (p.empty() || browser_->SelectedIsFolder() || !IsAudioFile(p)) return;
    curFile_ = p;
    ShowLinkedFile(p);
}

void TFrmAudioSel::SLVDataDblClick() {
    // A folder opens in the list and the window stays; the command then finds no
    // selection and does nothing.
    if (browser_->SelectedIsFolder()) {
        browser_->OpenFolder(browser_->SelectedPath());
        return;
    }
    BitBtn1Click();
}

void TFrmAudioSel::BitBtn1Click() { Confirm(3); }
void TFrmAudioSel::N2Click() { Confirm(2); }
void TFrmAudioSel::N1Click() { Confirm(1); }

void TFrmAudioSel::Confirm(int mode) {
    const std::string p = browser_->SelectedPath();
    if (p.empty()) return;
    curFile_ = p;
    selAudioFile_ = (!browser_->SelectedIsFolder() && IsAudioFile(p)) ? p : std::string();
    timeMode_ = mode;
    accept();  // stops playback on the way out
}

void TFrmAudioSel::SBPlayClick() {
    try {
        player_.Close();
    } catch (const std::exception&) {
    }
    std::string p = curFile_;
    if (SameTextAscii(ExtractFileExt(p), ".zur")) {
        p = GetPlayableAudioFile(curFile_);
        if (p.empty()) return;
        ShowLinkedFile(curFile_);
    }
    try {
        player_.Open(p);
        player_.Play();
        lblTotalTime_->setText(QString::fromStdString(PlayTimeCaption(player_.LengthMs())));
    } catch (const std::exception& e) {
        lblTotalTime_->setText(kPlayTimeZero);
        questions_.Ask("提示", std::string(e.what()) + kZurPlayHint, TButtons::Ok, TIcon::Information);
    }
}

void TFrmAudioSel::SBStopClick() {
    try {
        player_.Stop();
    } catch (const std::exception&) {
    }
}

void TFrmAudioSel::SpeedButton1Click() {
    const std::string path = programDir_ + "zur";
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) start_(path);
}

void TFrmAudioSel::done(int result) {
    SBStopClick();
    QDialog::done(result);
}
