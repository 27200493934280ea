// The main window: the page strip's panel with its paging buttons (the strip
// itself is TPageStrip), the tabs below it, the main menu, the folder tree under
// the program folder, file drops on the page panel, and the close with the
// autosave "mms.mms".
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "message_editor.h"
#include "mms_maker.h"
#include "page_strip.h"
#include "program_folders.h"
#include "services.h"
#include "settings_store.h"
#include "string_list.h"
#include "working_copy.h"

class QAction;
class QCloseEvent;
class QFileSystemModel;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QSplitter;
class QTabWidget;
class QToolButton;
class QTreeView;
class MediaPlayer;
class TFrameDispaly;
class TPageChoosers;
class THeaderTab;
class TSmilTab;
class TOutputTab;
class TSystemTab;
class TSettingsController;
class TMakeController;

class Tfrmmms : public QMainWindow, public TMessageEditor {
    Q_OBJECT
public:
    // programDir: the folder the tree is made under (the program's own folder in
    // the program, a fresh folder in tests). The services outlive the window.
    Tfrmmms(const std::string& programDir, TQuestions& questions, TMessagePump& pump,
            TRandomSource& random, QWidget* parent = nullptr);
    ~Tfrmmms() override;

    // TMessageEditor, for the message reader.
    void NewMessage() override { N8Click(); }
    TPageModel* NewPage() override { return FStrip->NewPage(); }
    // Shows the reader's subject line as given; a blank one hides the edit.
    void ShowSubject(const std::string& subject) override;
    TQuestions& Questions() override { return FQuestions; }
    TMessagePump& Pump() override { return FPump; }

    // Folders (each ends with "/").
    const TProgramFolders FFolders;
    const std::string& ProgramDir = FFolders.ProgramDir;
    const std::string& TempDir = FFolders.TempDir;
    const std::string& MaterialDir = FFolders.MaterialDir;
    const std::string& OutputDir = FFolders.OutputDir;
    const std::string& ConfigDir = FFolders.ConfigDir;
    const std::string& CustomDir = FFolders.CustomDir;

    std::unique_ptr<TMmsMaker> FMaker;
    TStringList FScratchList;
    TStringList FOversizeList;

    // The window's own options (the settings file holds them); the header values,
    // picture settings, JPEG quality and frame colour live in the maker.
    TMmsSettings FSettings;
    std::string& FSmilTemplateName = FSettings.SmilTemplateName;
    int32_t& FMmsMaxSize = FSettings.MmsMaxSize;
    int32_t& FTxtTimeOptPs = FSettings.TxtTimeOptPs;
    bool& FAudioEx = FSettings.AudioEx;
    int32_t& FCloseHintMode = FSettings.CloseHintMode;
    std::string& FMmsOutFormat = FSettings.MmsOutFormat;
    int32_t& FTxtMaxLen = FSettings.TxtMaxLen;
    int32_t& FPicMaxH = FSettings.PicMaxH;
    int32_t& FPicMaxW = FSettings.PicMaxW;

    // The tabs "彩信头", "SMIL代码", "输出设置", "系统配置" and their controllers.
    THeaderTab* FHeaderTab = nullptr;
    TSmilTab* FSmilTab = nullptr;
    TOutputTab* FOutputTab = nullptr;
    TSystemTab* FSystemTab = nullptr;
    TSettingsController* FSettingsController = nullptr;
    TMakeController* FMakeController = nullptr;
    // Fills the four tabs; needs the maker.
    void BuildSettingsTabs();

    // Shell-facing steps, replaceable so that tests can watch them.
    std::function<void(const QUrl&)> FOpenUrl;
    std::function<bool(const QString&)> FStartDetached;
    std::function<QPoint()> FCursorPos;
    std::function<QString()> FChooseMessageFile;
    // The text files for the conversions (OpenDialog1) and for the split
    // (OpenDialog4, opened at the given folder); empty when cancelled.
    std::function<QStringList()> FChooseTextFiles;
    std::function<QStringList(const QString& dir)> FChooseSplitFiles;

    // The material choosers and the media player that the pages share; set by the
    // program after the window is made (none: the pages' choosing does nothing).
    TPageChoosers* FChoosers = nullptr;
    MediaPlayer* FMediaPlayer = nullptr;

    // Settings and templates (kept in their own source file).
    void LoadSettings();
    void ShowSettings();
    // Gathers and writes the settings; throws when the file cannot be written.
    void SBSavecfgClick();
    void LoadSmilTemplates();
    void SBNewmmsClick();

    void WriteHeaderTemplate();
    void ClearTempFolder();
    // Whether the window may close now (the close mode and the answer decide).
    bool FormCloseQuery();

    // Working copies of material for the window and its pages.
    std::unique_ptr<TMaterialIntake> FIntake;
    // The page strip, and the window's buttons and menu items that work on it.
    std::unique_ptr<TPageStrip> FStrip;
    void SBNewPageClick() { FStrip->AddPage(); }
    void SBDelCurrentPageClick() { FStrip->DeleteCurrentPage(); }
    void SBNEXTClick() { FStrip->ScrollRight(); }
    void SBBackClick() { FStrip->ScrollLeft(); }
    void N24Click() { FStrip->MoveCurrentForward(); }
    void N4Click() { FStrip->MoveCurrentBackward(); }
    void N8Click() { FStrip->Clear(); }
    void SelectPageUnderCursor();
    // Puts a material file on the target page by its kind; false when it could not
    // be taken (the user was told and the page is as it was).
    bool AddMaterialFile(const std::string& path) { return FStrip->AddMaterialFile(path); }
    void SLVDataDblClick(const std::string& path);
    void N5Click();
    // Reads a message file into the pages (the reader's errors come through).
    void ReadMessage(const std::string& path);
    // Files dropped on the page panel, in the drop's order.
    void DropFiles(const QStringList& paths);

    // Menu.
    void N10Click();
    void N15Click() { ClearTempFolder(); }
    void N3Click();
    void N27Click();
    // Text tools and the custom compiler (kept in their own source file).
    void N31Click();
    void UTF81Click();
    void Unicode1Click();
    void N29Click();
    void N32Click();
    void OpenFolder(const std::string& dir);

    // The frame of a page on show; none for any other page.
    TFrameDispaly* FrameOf(const TPageModel* page) const { return FStrip->FrameOf(page); }

    static const char* const kHelpText;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void BuildMenu();
    void BuildMaterialBrowser(QWidget* tab);
    void SyncFrames() { FStrip->SyncFrames(); }
    bool SaveOnClose();
    void FreeAutosaveName();
    void OfferMessageFile(const std::string& path, bool& opened);

    // An autosave that could not be read stands under its name, not kept aside:
    // no close writes over it or removes it.
    bool FAutosaveHeld = false;
    TQuestions& FQuestions;
    TMessagePump& FPump;
    TRandomSource& FRandom;

public:
    // Controls (objectNames as their names).
    QFrame* Panel5 = nullptr;
    QFrame* Panelmms = nullptr;
    QToolButton* SBBack = nullptr;
    QFrame* PanelmmsEdit = nullptr;
    QToolButton* SBNEXT = nullptr;
    QLabel* LabelPageInfo = nullptr;
    QToolButton* SBNewPage = nullptr;
    QToolButton* SBDelCurrentPage = nullptr;
    QToolButton* SBMakemms = nullptr;
    QLineEdit* EditmmsTitle = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QWidget* TabSheet7 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QTreeView* STVData = nullptr;
    QListView* SLVData = nullptr;
    QFileSystemModel* FTreeModel = nullptr;
    QFileSystemModel* FListModel = nullptr;
};
