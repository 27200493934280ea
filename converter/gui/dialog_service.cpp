#include "dialog_service.h"

#include <QFileDialog>
#include <QMessageBox>

void TQtDialogService::ShowMessage(QWidget* Parent, const QString& Caption, const QString& Text) {
    QMessageBox box(QMessageBox::NoIcon, Caption, Text, QMessageBox::Ok, Parent);
    box.exec();
}

QString TQtDialogService::ChooseFile(QFileDialog* Dialog) {
    if (Dialog->exec() != QDialog::Accepted) return {};
    return Dialog->selectedFiles().value(0);
}
