#include "gui_services.h"

#include <QMessageBox>
#include <exception>

TAnswer TMessageBoxQuestions::Ask(const std::string& caption, const std::string& text,
                                  TButtons buttons, TIcon icon) {
    QMessageBox box(icon == TIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    QString::fromStdString(caption),
                    QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    QMessageBox::NoButton, QApplication::activeWindow());
    switch (buttons) {
        case TButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case TButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case TButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return TAnswer::Yes;
        case QMessageBox::No:
            return TAnswer::No;
        case QMessageBox::Ok:
            return TAnswer::Ok;
        default:
            // Closed without a button: a question counts as refused.
            return buttons == TButtons::YesNo ? TAnswer::No
                   : buttons == TButtons::Ok  ? TAnswer::Ok
                                              : TAnswer::Cancel;
    }
}

void TEventPump::ProcessMessages() { QCoreApplication::processEvents(); }

TQuilmarApplication::TQuilmarApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQuilmarApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        IgnoreException(e.what());
    }
    return false;
}

void TQuilmarApplication::IgnoreException(const std::string&) {}
