#include "chooser_browser.h"

#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>

QString ModelPath(const std::string& dir) {
    QString p = QString::fromStdString(dir);
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    return p;
}

TFolderBrowser::TFolderBrowser(QWidget* parent, bool withList) : QObject(parent) {
    treeModel_ = new QFileSystemModel(this);
    treeModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    treeModel_->setRootPath("/");
    tree_ = new QTreeView(parent);
    tree_->setObjectName("STVData");
    tree_->setModel(treeModel_);
    for (int c = 1; c < treeModel_->columnCount(); ++c) tree_->hideColumn(c);
    tree_->header()->hide();
    tree_->setSortingEnabled(true);
    tree_->sortByColumn(0, Qt::AscendingOrder);
    // A right click selects too.
    tree_->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& cur, const QModelIndex&) { TreeCurrentChanged(cur); });
    // The model reads folders in the background and inserts and re-sorts their
    // rows later: the opened folder is brought back into view after each of those
    // until the user takes the tree in hand.
    connect(treeModel_, &QFileSystemModel::directoryLoaded, this, &TFolderBrowser::ScrollToOpened);
    connect(treeModel_, &QAbstractItemModel::rowsInserted, this, &TFolderBrowser::ScrollToOpened);
    connect(treeModel_, &QAbstractItemModel::layoutChanged, this, &TFolderBrowser::ScrollToOpened);
    for (QObject* o : {static_cast<QObject*>(tree_), static_cast<QObject*>(tree_->viewport()),
                       static_cast<QObject*>(tree_->verticalScrollBar())})
        o->installEventFilter(this);

    if (withList) {
        listModel_ = new QFileSystemModel(this);
        listModel_->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
        listModel_->sort(0, Qt::AscendingOrder);
        list_ = new QListView(parent);
        list_->setObjectName("SLVData");
        list_->setModel(listModel_);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
}

void TFolderBrowser::OpenFolder(const std::string& dir) {
    QModelIndex idx = treeModel_->index(ModelPath(dir));
    if (!idx.isValid() || !treeModel_->isDir(idx)) return;
    opened_ = idx;
    // The same folder again still refreshes the list.
    if (tree_->currentIndex() == idx) TreeCurrentChanged(idx);
    else tree_->setCurrentIndex(idx);
    tree_->scrollTo(idx, QAbstractItemView::PositionAtCenter);
}

void TFolderBrowser::ScrollToOpened() {
    if (!opened_.isValid()) return;
    // The user has gone elsewhere since: leave the tree alone.
    if (tree_->currentIndex() != opened_) {
        opened_ = QPersistentModelIndex();
        return;
    }
    tree_->scrollTo(opened_, QAbstractItemView::PositionAtCenter);
}

bool TFolderBrowser::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        if (watched == tree_) ScrollToOpened();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        opened_ = QPersistentModelIndex();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

std::string TFolderBrowser::CurrentFolder() const {
    QModelIndex idx = tree_->currentIndex();
    if (!idx.isValid()) return {};
    std::string p = treeModel_->filePath(idx).toStdString();
    if (p.empty()) return {};
    if (p.back() != '/') p += '/';
    return p;
}

std::string TFolderBrowser::SelectedPath() const {
    if (!list_) return {};
    const QModelIndexList sel = list_->selectionModel()->selectedIndexes();
    if (sel.isEmpty()) return {};
    return listModel_->filePath(sel.first()).toStdString();
}

bool TFolderBrowser::SelectedIsFolder() const {
    if (!list_) return false;
    const QModelIndexList sel = list_->selectionModel()->selectedIndexes();
    return !sel.isEmpty() && listModel_->isDir(sel.first());
}

void TFolderBrowser::TreeCurrentChanged(const QModelIndex& current) {
    if (!current.isValid()) return;
    const QString path = treeModel_->filePath(current);
    if (path.isEmpty()) return;
    // The highlight goes with the folder at once: a mouse press moves the current
    // row first and selects only afterwards.
    tree_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    if (list_) {
        list_->selectionModel()->clear();
        listModel_->setRootPath(path);
        list_->setRootIndex(listModel_->index(path));
    }
    // Had a receiver's work run here, inside the press, rows expanded meanwhile
    // would make the press select what now lies under its old position.
    if (changeQueued_) return;
    changeQueued_ = true;
    QMetaObject::invokeMethod(this, &TFolderBrowser::SendFolderChanged, Qt::QueuedConnection);
}

void TFolderBrowser::SendFolderChanged() {
    changeQueued_ = false;
    const std::string folder = CurrentFolder();
    if (!folder.empty()) emit FolderChanged(QString::fromStdString(folder));
}

QLabel* AddStatusPanel(QStatusBar* bar, const QString& objectName, const QString& text, int width,
                       bool centred) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(objectName);
    label->setMinimumWidth(width);
    label->setFrameShape(QFrame::StyledPanel);
    if (centred) label->setAlignment(Qt::AlignCenter);
    bar->addWidget(label, width >= 300 ? 1 : 0);
    return label;
}

void SetTextColour(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    pal.setColor(QPalette::ButtonText, colour);
    w->setPalette(pal);
}

namespace {

class TReleasePopup : public QObject {
public:
    TReleasePopup(QWidget* button, QMenu* menu) : QObject(button), menu_(menu) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* w = static_cast<QWidget*>(watched);
            auto* me = static_cast<QMouseEvent*>(event);
            if (w->rect().contains(me->position().toPoint())) menu_->popup(QCursor::pos());
        }
        return false;
    }

private:
    QMenu* menu_;
};

}  // namespace

void PopUpOnMouseRelease(QWidget* button, QMenu* menu) {
    button->installEventFilter(new TReleasePopup(button, menu));
}

void OpenFolderInFileBrowser(const std::string& dir) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(dir)));
}

void StartProgramDetached(const std::string& program) {
    QProcess::startDetached(QString::fromStdString(program), {});
}
