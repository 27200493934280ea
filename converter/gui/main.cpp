// The audio converter "zur": one window that turns WAV, MP3 and WMA clips into
// ZUR and ZUR clips into WAV through the outside program "Converter" beside it.
#include "dialog_service.h"
#include "zur_application.h"
#include "zur_window.h"

int main(int argc, char** argv) {
    TZurApplication::UseChineseFormats();
    TZurApplication app(argc, argv);
    TQtDialogService dialogs;
    Tfrmzur frmzur(dialogs);
    frmzur.show();
    return app.exec();
}
