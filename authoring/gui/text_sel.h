// The text chooser: the page's text editor, with a folder browser whose clicked
// ".txt" files are normalised to ANSI in place and loaded, and a length count
// against the per-page limit.
#pragma once

#include <QColor>
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "services.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class TFolderBrowser;

class TFrmtextSel : public QDialog {
    Q_OBJECT
public:
    TFrmtextSel(TMessagePump& pump, int32_t txtMaxLen, const std::string& textDir,
                QWidget* parent = nullptr);

    // The characters per page ("TxtMaxLen"); changes with the settings.
    void SetTxtMaxLen(int32_t maxLen);

    // The preset before each showing: the editor takes the file's bytes as ANSI text
    // (an empty path empties it). False when the file cannot be read: the editor is
    // then empty and the page should not show the window.
    bool LoadTextFile(const std::string& path);

    // After exec() == Accepted: the editor's text (UTF-8, "\n" line breaks), its
    // colours, and the time mode (1 add, 2 recompute, 3 keep the duration).
    std::string Text() const;
    QColor TextColour() const;
    QColor BackgroundColour() const;
    int TimeMode() const { return timeMode_; }

    const std::string& SelTextFile() const { return selTextFile_; }
    int32_t TextLen() const { return textLen_; }

    // Replaceable for tests: the font-size and colour dialogs (empty: cancelled)
    // and the file browser that opens a folder.
    void SetFontSizeChooser(std::function<std::optional<int>(int current)> f) { chooseSize_ = std::move(f); }
    void SetColourChooser(std::function<std::optional<QColor>(QColor current)> f) { chooseColour_ = std::move(f); }
    void SetFolderOpener(std::function<void(const std::string&)> f) { openFolder_ = std::move(f); }
    // Where a clicked file that cannot be read or rewritten is told (caption "提示",
    // the file and the reason); without one nothing is shown.
    void SetQuestions(TQuestions* questions) { questions_ = questions; }

    // Handlers, named after their controls and events.
    void SLVDataClick();
    void SLVDataDblClick();
    void MemotextChange();
    void MemotextDblClick();
    void BitBtn1Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void SpeedButton1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetEditorText(const std::string& utf8);

    TMessagePump& pump_;
    TQuestions* questions_ = nullptr;
    int32_t txtMaxLen_;
    std::function<std::optional<int>(int)> chooseSize_;
    std::function<std::optional<QColor>(QColor)> chooseColour_;
    std::function<void(const std::string&)> openFolder_;

    int timeMode_ = 0;
    int32_t textLen_ = 0;
    std::string selTextFile_;

    TFolderBrowser* browser_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QLabel* panelLen_ = nullptr;
    QLabel* panelPath_ = nullptr;
    QMenu* popup1_ = nullptr;
    QMenu* popup2_ = nullptr;
};
