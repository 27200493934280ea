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
#include <algorithm>

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
    MakeMaker({});
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
    // PicListed turns true once this first listing (or one that won over it) is done.
    ListFolder(folder_);
}

void TfrmPicsel::STVDataChange(const QString& folder) {
    // Before the first listing the tree only opens on the picture folder; during it
    // a change already counts.
    if (!picListed_ && !busy_) return;
    std::string f = folder.toStdString();
    if (f.empty()) return;
    if (f.back() != '/') f += '/';
    // The folder being listed is not begun again; any other wins over it at once,
    // so that the list always belongs to the highlighted folder.
    if (busy_ && f == folder_) return;
    ListFolder(f);
}

void TfrmPicsel::MakeMaker(TThumbnailLoader loader) {
    maker_ = std::make_unique<TThumbnailMaker>(0, std::move(loader));
    connect(maker_.get(), &TThumbnailMaker::ThumbnailReady, this, &TfrmPicsel::ThumbnailReady);
    connect(maker_.get(), &TThumbnailMaker::ListingDone, this, &TfrmPicsel::ListingDone);
}

void TfrmPicsel::SetThumbnailLoader(TThumbnailLoader loader) {
    const bool wasBusy = busy_;
    MakeMaker(std::move(loader));
    if (wasBusy) ListFolder(folder_);
}

void TfrmPicsel::ListFolder(const std::string& folder) {
    folder_ = folder;
    busy_ = true;
    lvPic_->clear();
    picFiles_.clear();
    allFiles_ = CollectPictureNames(folder_);
    made_.assign(allFiles_.size(), 0);
    madeCount_ = 0;
    progress_->setMaximum(std::max<int>(1, static_cast<int>(allFiles_.size())));
    progress_->setValue(0);
    progress_->show();
    listing_ = maker_->Start(folder_, allFiles_, thumbW_, thumbH_);
}

void TfrmPicsel::ThumbnailReady(quint64 listing, int index, bool ok, const QImage& thumb) {
    if (listing != listing_ || index < 0 || static_cast<size_t>(index) >= made_.size()) return;
    made_[static_cast<size_t>(index)] = ok ? 1 : 2;
    progress_->setValue(++madeCount_);
    // A file that cannot be read or decoded is left out; a thumbnail takes the place
    // its name has among those listed so far.
    if (!ok) return;
    const auto pos = static_cast<int>(std::count(made_.begin(), made_.begin() + index, char(1)));
    picFiles_.insert(picFiles_.begin() + pos, allFiles_[static_cast<size_t>(index)]);
    lvPic_->insertItem(pos, new QListWidgetItem(QIcon(QPixmap::fromImage(thumb)),
                                                QString::fromStdString(picFiles_[static_cast<size_t>(pos)])));
}

void TfrmPicsel::ListingDone(quint64 listing) {
    if (listing != listing_) return;
    busy_ = false;
    picListed_ = true;
    progress_->hide();
    emit ListingFinished();
}

void TfrmPicsel::LvPicClick() {
    // The thumbnails shown so far can be taken while the rest are still being made.
    const int row = lvPic_->currentRow();
    if (row < 0 || !lvPic_->currentItem()->isSelected() || row >= static_cast<int>(picFiles_.size()))
        return;
    curFile_ = folder_ + picFiles_[static_cast<size_t>(row)];
    panelPath_->setText(QString::fromStdString(curFile_));
}

void TfrmPicsel::LvPicDblClick() {
    if (lvPic_->selectedItems().isEmpty()) return;
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
