// Small controls shared by the settings, output and SMIL tabs: an edit that a
// double-click empties, an up-down pair bound to an edit, and a colour panel.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <cstdint>
#include <string>

#include "gui_colours.h"

class QFrame;
class QToolButton;

// A double-click empties the edit.
class TDblClickClearEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// A double-click empties the editor.
class TDblClickClearMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// The up-down arrows bound to an edit: setting the position writes it into the
// edit as plain digits; the arrows step the edit's number within the range.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(QLineEdit* edit, int32_t min, int32_t max, QWidget* parent = nullptr);
    int32_t Min() const { return min_; }
    int32_t Max() const { return max_; }
    int32_t Position() const { return position_; }
    // Written into the edit as it is; the range bounds the arrows only, so that a
    // value read from the file is shown unchanged.
    void SetPosition(int32_t v);
    void Step(int delta);

private:
    QLineEdit* edit_;
    int32_t min_, max_, position_ = 0;
};

// A panel that shows a colour (0x00BBGGRR) and reports clicks and double-clicks.
class TColorPanel : public QWidget {
    Q_OBJECT
public:
    explicit TColorPanel(QWidget* parent = nullptr);
    uint32_t Color() const { return color_; }
    void SetColor(uint32_t c);

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    uint32_t color_ = 0;
};

namespace tabs {
// Opens a folder in the desktop's file browser.
void OpenFolder(const std::string& dir);

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }
}  // namespace tabs
