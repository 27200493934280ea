// The tab "SMIL代码": the template list, the SMIL editor, the template menu (refresh,
// save, save as a numbered custom template, open the folder, help) and the layout
// picture. The status-bar panel that names the chosen template belongs to the
// window: the tab reports its text through FShowStatus.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "smil_templates.h"
#include "string_list.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class TDblClickClearMemo;
class TMmsMaker;
class TQuestions;
struct TMmsSettings;

class TSmilTab : public QWidget {
    Q_OBJECT
public:
    // configDir ends with "/". saveSettings writes the settings file (the chosen
    // template is one of its values).
    TSmilTab(std::string configDir, TMmsMaker& maker, TMmsSettings& settings, TQuestions& questions,
             std::function<bool()> saveSettings, QWidget* parent = nullptr);

    // Status panel 1 ("smil :" at first).
    std::function<void(const QString&)> FShowStatus;
    // Opens a folder in the file browser; replaceable for tests.
    std::function<void(const std::string&)> FOpenFolder;

    // Fills the list and loads the chosen template into the editor and the maker.
    void LoadSmilTemplates();
    // The editor's lines, each followed by CR LF: what a make hands to the maker.
    std::string EditorText() const;
    TStringList EditorLines() const;

    void CBsmillistChange();
    void NflashsmilClick();
    void N19Click();
    void N20Click();
    void N22Click();
    void N21Click();
    void SpeedButton1MouseUp();
    void MemoSmilDblClick();

    // The drawing shown as Image1: a 240 by 320 layout with its regions and lines.
    static QPixmap LayoutPicture();

    QComboBox* CBsmillist;
    QPushButton *SpeedButton1, *sbsmilhelp;
    TDblClickClearMemo* MemoSmil;
    QLabel* Image1;
    QMenu* PopupMenuB;
    QAction *Nflashsmil, *N19, *N20, *N22, *N21;

protected:
    // "操作菜单" opens its menu on the release of any mouse button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListTemplates();
    void ShowEditorLines(const TStringList& lines);
    void Status(const std::string& name);

    TSmilTemplates templates_;
    TMmsMaker& maker_;
    TMmsSettings& settings_;
    TQuestions& questions_;
    std::function<bool()> saveSettings_;
};
