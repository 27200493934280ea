// The window's modal dialogs, injected so that tests can answer them: message
// boxes and the file dialogs.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

class TDialogService {
public:
    virtual ~TDialogService() = default;
    // A modal message box with one OK button and no icon.
    virtual void ShowMessage(QWidget* Parent, const QString& Caption, const QString& Text) = 0;
    // Shows a file dialog modally; gives the chosen file, or empty when the
    // dialog was cancelled.
    virtual QString ChooseFile(QFileDialog* Dialog) = 0;
};

// The program's own: QMessageBox and QFileDialog::exec.
class TQtDialogService : public TDialogService {
public:
    void ShowMessage(QWidget* Parent, const QString& Caption, const QString& Text) override;
    QString ChooseFile(QFileDialog* Dialog) override;
};
