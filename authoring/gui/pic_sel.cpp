#include "pic_sel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "chooser_browser.h"
#include "chooser_rules.h"
#include "shared_procs.h"

TfrmPicsel::TfrmPicsel(TMessagePump& pump, int32_t picMaxW, int32_t picMaxH,
                       const std::string& pictureDir, QWidget* parent)
    : QDialog(parent),
      pump_(pump),
      thumbW_(ClampThumbSide(picMaxW)),
      thumbH_(ClampThumbSide(picMaxH)),
      openFolder_(OpenFolderInFileBrowser) {
    setObjectName("frmPicsel");
    setWindowTitle("图片 选择");
    resize(775, 430);

    auto* split = new QSplitter(this);
    split->setObjectName("Splitter1");
    browser_ = new TFolderBrowser(split, false);
    split->addWidget(browser_->Tree());
    auto* panel2 = new QWidget(split);
    panel2->setObjectName("Panel2");
    lvPic_ = new QListWidget(panel2);
    lvPic_->setObjectName("LvPic");
    lvPic_->setViewMode(QListView::IconMode);
    lvPic_->setIconSize(QSize(thumbW_, thumbH_));
    lvPic_->setResizeMode(QListView::Adjust);
    lvPic_->setMovement(QListView::Static);
    lvPic_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPic_->setUniformItemSizes(true);
    lvPic_->setSpacing(6);
    auto* p2 = new QVBoxLayout(panel2);
    p2->setContentsMargins(0, 0, 0, 0);
    p2->addWidget(lvPic_);
    split->addWidget(panel2);
    split->setSizes({249, 526});

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("StatusBar");
    statusBar->setSizeGripEnabled(false);
    AddStatusPanel(statusBar, "StatusPanel0", "文件名", 50, true);
    panelPath_ = AddStatusPanel(statusBar, "StatusPanel1", "请双击图片文件夹", 300);
    progress_ = new QProgressBar(statusBar);
    progress_->setObjectName("FProgress");
    progress_->setFixedWidth(200);
    progress_->setTextVisible(false);
    statusBar->addPermanentWidget(progress_);
    progress_->hide();

    auto* panel1 = new QWidget(this);
    panel1->setObjectName("Panel1");
    auto* speedButton1 = new QPushButton("图片路径", panel1);
    speedButton1->setObjectName("SpeedButton1");
    speedButton1->setFlat(true);
    speedButton1->setAutoDefault(false);
    SetTextColour(speedButton1, QColor(0x00, 0x00, 0xFF));
    auto* bitBtn1 = new QPushButton("确认", panel1);
    bitBtn1->setObjectName("BitBtn1");
    bitBtn1->setDefault(true);
    auto* bitBtn2 = new QPushButton("取消", panel1);
    bitBtn2->setObjectName("BitBtn2");
    bitBtn2->setAutoDefault(false);
    auto* p1 = new QHBoxLayout(panel1);
    p1->addWidget(speedButton1);
    p1->addStretch(1);
    p1->addWidget(bitBtn1);
    p1->addWidget(bitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(split, 1);
    layout->addWidget(statusBar);
    layout->addWidget(panel1);

    connect(bitBtn1, &QPushButton::clicked, this, &TfrmPicsel::BitBtn1Click);
    connect(bitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(speedButton1, &QPushButton::clicked, this, &TfrmPicsel::SpeedButton1Click);
    connect(lvPic_, &QListWidget::itemClicked, this, &TfrmPicsel::LvPicClick);
    connect(lvPic_, &QListWidget::itemDoubleClicked, this, &TfrmPicsel::LvPicDblClick);
    connect(browser_, &TFolderBrowser::FolderChanged, this, &TfrmPicsel::STVDataChange);

    browser_->OpenFolder(pictureDir);
    folder_ = pictureDir;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
}

void TfrmPicsel::SetCurrentFile(const std::string& path) {
    selPicFile_ = path;
    panelPath_->setText(QString::fromStdString(path));
    pump_.ProcessMessages();
}

void TfrmPicsel::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Listed from the dialog's own event loop, so that a close during the listing
    // finds the loop running.
    if (!picListed_ && !firstListingQueued_) {
        firstListingQueued_ = true;
        QTimer::singleShot(0, this, &TfrmPicsel::FormShow);
    }
}

void TfrmPicsel::FormShow() {
    ListFolder(folder_);
    picListed_ = true;
}

void TfrmPicsel::STVDataChange(const QString& folder) {
    if (!picListed_ && !busy_) return;
    std::string f = folder.toStdString();
    if (f.empty()) return;
    if (f.back() != '/') f += '/';
    // A change while a listing runs cuts it short after the thumbnail under way;
    // the new folder is listed then.
    if (busy_) {
        pendingFolder_ = f;
        return;
    }
    folder_ = f;
    ListFolder(folder_);
}

void TfrmPicsel::ListFolder(const std::string& folder) {
    std::string next = folder;
    while (!next.empty()) {
        folder_ = next;
        busy_ = true;
        lvPic_->clear();
        allFiles_.clear();
        picFiles_ = CollectPictureNames(folder_);
        BuildThumbnails();
        busy_ = false;
        next.clear();
        if (!pendingFolder_.empty()) {
            if (pendingFolder_ != folder_) next = pendingFolder_;
            pendingFolder_.clear();
        }
        if (next.empty()) ShowItems();
    }
}

bool TfrmPicsel::FolderSuperseded() const {
    return !pendingFolder_.empty() && pendingFolder_ != folder_;
}

void TfrmPicsel::BuildThumbnails() {
    thumbs_.clear();
    progress_->setMaximum(std::max<int>(1, static_cast<int>(picFiles_.size())));
    progress_->setValue(0);
    progress_->show();
    allFiles_ = picFiles_;
    picFiles_.clear();
    for (size_t i = 0; i < allFiles_.size(); ++i) {
        const std::string& name = allFiles_[i];
        // A file that cannot be read or decoded is left out.
        if (auto thumb = LoadThumbnail(folder_ + name, thumbW_, thumbH_)) {
            thumbs_.push_back(std::move(*thumb));
            picFiles_.push_back(name);
        }
        progress_->setValue(static_cast<int>(i));
        pump_.ProcessMessages();
        // Another folder was chosen meanwhile: that one is listed now, this one
        // no more, so that the list always belongs to the highlighted folder.
        if (FolderSuperseded()) break;
    }
    progress_->hide();
}

void TfrmPicsel::ShowItems() {
    lvPic_->clear();
    for (size_t i = 0; i < picFiles_.size(); ++i)
        lvPic_->addItem(new QListWidgetItem(QIcon(QPixmap::fromImage(thumbs_[i])),
                                            QString::fromStdString(picFiles_[i])));
}

void TfrmPicsel::LvPicClick() {
    if (busy_) return;
    const int row = lvPic_->currentRow();
    if (row < 0 || !lvPic_->currentItem()->isSelected() || row >= static_cast<int>(picFiles_.size()))
        return;
    curFile_ = folder_ + picFiles_[static_cast<size_t>(row)];
    panelPath_->setText(QString::fromStdString(curFile_));
}

void TfrmPicsel::LvPicDblClick() {
    if (busy_ || lvPic_->selectedItems().isEmpty()) return;
    LvPicClick();
    BitBtn1Click();
}

void TfrmPicsel::BitBtn1Click() {
    selPicFile_ = IsPictureFile(curFile_) ? curFile_ : std::string();
    accept();
}

void TfrmPicsel::SpeedButton1Click() {
    const std::string dir = ExistingFolderOf(panelPath_->text().toStdString());
    if (!dir.empty()) openFolder_(dir);
}
