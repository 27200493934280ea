// The audio converter "zur": one window that turns WAV, MP3 and WMA clips into
// ZUR and ZUR clips into WAV through the outside program "Converter" beside it.
#include <QLibraryInfo>
#include <QTranslator>

#include "dialog_service.h"
#include "zur_application.h"
#include "zur_window.h"

int main(int argc, char** argv) {
    TZurApplication app(argc, argv);
    // The standard buttons and dialogs speak the interface's language.
    QTranslator qtText;
    if (qtText.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtText);
    TQtDialogService dialogs;
    Tfrmzur frmzur(dialogs);
    frmzur.show();
    return app.exec();
}
