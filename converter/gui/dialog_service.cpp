#include "dialog_service.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QTreeView>

namespace {

// A file dialog at a size that shows its columns, the name taking the room
// that the size, kind and date leave.
void FitFileDialog(QFileDialog* Dialog) {
    QScreen* screen = Dialog->screen() ? Dialog->screen() : QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    Dialog->resize(Dialog->size().expandedTo(QSize(900, 560).boundedTo(area * 9 / 10)));
    auto* view = Dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || view->header()->count() < 4) return;
    QHeaderView* header = view->header();
    const QFontMetrics fm(view->font());
    const int pad = 3 * fm.averageCharWidth();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->resizeSection(1, fm.horizontalAdvance(QStringLiteral("1,023.9 KB")) + pad);
    header->resizeSection(2, fm.horizontalAdvance(QStringLiteral("纯文本文档文件")) + pad);
    header->resizeSection(3, fm.horizontalAdvance(QStringLiteral("2026/12/31 23:59:59")) + pad);
}

}  // namespace

void TQtDialogService::ShowMessage(QWidget* Parent, const QString& Caption, const QString& Text) {
    QMessageBox box(QMessageBox::NoIcon, Caption, Text, QMessageBox::Ok, Parent);
    // A box sized to a short text is narrower than its frame needs to show the
    // caption beside the frame's buttons: a spacer keeps room for both.
    const int captionRoom =
        QFontMetrics(box.font()).horizontalAdvance(Caption + QStringLiteral("    ")) + 200;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(captionRoom, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

QString TQtDialogService::ChooseFile(QFileDialog* Dialog) {
    FitFileDialog(Dialog);
    if (Dialog->exec() != QDialog::Accepted) return {};
    return Dialog->selectedFiles().value(0);
}
