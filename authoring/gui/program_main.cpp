// The program's start: the application with its silent error handler, the media
// player, the main window, then the three material choosers the pages share, all
// kept for the program's life.
#include "program_main.h"

#include <QCoreApplication>

#include "audio_sel.h"
#include "gui_services.h"
#include "main_window.h"
#include "media_player.h"
#include "mms_frame.h"
#include "pic_sel.h"
#include "text_sel.h"

int ProgramMain(int argc, char** argv) {
    TChineseToolkit::UseChineseFormats();
    TQuilmarApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilmar1.3"));
    // The toolkit's own words and dates in the program's language, whatever the
    // desktop's locale, and file dialogs that show their columns.
    TChineseToolkit chinese;
    TMessageBoxQuestions questions;
    TEventPump pump;
    TClockRandom random;
    TQtMediaPlayer player;
    TChooserWindows choosers;
    Tfrmmms frmmms(QCoreApplication::applicationDirPath().toStdString(), questions, pump, random);
    const TProgramFolders& dirs = frmmms.FFolders;
    TFrmtextSel textSel(pump, frmmms.FTxtMaxLen, dirs.TextDir, &frmmms);
    textSel.SetQuestions(&questions);
    TFrmAudioSel audioSel(player, questions, pump, dirs.ProgramDir, dirs.MusicDir, &frmmms);
    TfrmPicsel picSel(pump, frmmms.FPicMaxW, frmmms.FPicMaxH, dirs.PictureDir, &frmmms);
    choosers.Text = &textSel;
    choosers.Audio = &audioSel;
    choosers.Picture = &picSel;
    frmmms.FChoosers = &choosers;
    frmmms.FMediaPlayer = &player;
    frmmms.show();
    const int rc = app.exec();
    frmmms.FChoosers = nullptr;
    frmmms.FMediaPlayer = nullptr;
    return rc;
}
