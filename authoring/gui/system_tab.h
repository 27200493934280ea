// The tab "系统配置": picture encoding, text and size options, frame colour, close
// behaviour and the output-name pattern. The number edits, the picture box text,
// the radio buttons and the colour panel apply at once (the live rules); the close
// list, the pattern and "每页彩信汉字个数" only when gathered.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TColorPanel;
class TMmsMaker;
class TUpDown;
struct TMmsSettings;

class TSystemTab : public QWidget {
    Q_OBJECT
public:
    TSystemTab(TMmsMaker& maker, TMmsSettings& settings, QWidget* parent = nullptr);

    // The colour dialog: opened with the colour it returned last; nothing on cancel.
    // Replaceable so that tests answer it.
    std::function<std::optional<uint32_t>(uint32_t initial)> FChooseColor;

    void ShowOptions();
    // Steps 5 to 10 of gathering; false when a number edit does not convert, the
    // values before it taken and the rest kept.
    bool GatherOptions();
    void ShowPicEncodeMode(int32_t mode);

    // The live rules.
    void EditJPGChange();
    void EdithaizinumChange();
    void EditMmsMaxSizeChange();
    void CBPicEncodeInfoChange();
    void RBPicmode2Click(QObject* sender);
    void PanelcolorDblClick();

    QRadioButton *RBPicmode1, *RBPicmode2, *RBPicmode3;
    QComboBox* CBPicEncodeInfo;
    QLineEdit *EditJPG, *Edithaizinum, *EditHanziLen, *EditMmsMaxSize;
    TUpDown *UpDownJPG, *UpDownhaizinum, *UpDownTxtMaxLen, *UpDownMmsMaxSize;
    TColorPanel* Panelcolor;
    QComboBox *CBCloseApphint, *CBMMsNameFormat;
    // "保存参数...": the settings controller binds it.
    QPushButton* SpeedButton5;

signals:
    // The frame colour changed, for a repaint of the current page.
    void FrameColorChanged(uint32_t color);

private:
    TMmsMaker& maker_;
    TMmsSettings& settings_;
    uint32_t lastDialogColor_ = 0;  // black the first time
};
