// The program's start: the application with its silent error handler, then the
// main window, kept for the program's life.
#include <QCoreApplication>

#include "gui_services.h"
#include "main_window.h"

int ProgramMain(int argc, char** argv) {
    TQuilmarApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilmar1.3"));
    TMessageBoxQuestions questions;
    TEventPump pump;
    TClockRandom random;
    Tfrmmms frmmms(QCoreApplication::applicationDirPath().toStdString(), questions, pump, random);
    frmmms.show();
    return app.exec();
}

int main(int argc, char** argv) { return ProgramMain(argc, argv); }
