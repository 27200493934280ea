// The tab "输出设置": the batch controls. "根据地址批量生成彩信文件" switches batch
// mode and enables the panel of group counts and the two sources.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "batch_make.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDblClickClearEdit;
class TUpDown;

class TOutputTab : public QWidget {
    Q_OBJECT
public:
    explicit TOutputTab(QWidget* parent = nullptr);

    // The open dialog of the two source buttons (no filter); an empty answer is a
    // cancel. Replaceable for tests.
    std::function<QString()> FChooseFile;

    // The batch part of a make's input: mode, counts and sources.
    void FillInput(TMakeInput& input) const;

    void CBMakeClick();
    void SpeedButton2Click();
    void SpeedButton3Click();

    QGroupBox* GBMakeParam;
    QCheckBox* CBMake;
    QWidget* PanelMake;
    QLabel *Label2, *Label3, *Label4;
    QLineEdit *EdittoNum, *EditBCNum, *EditBBCNum;
    TUpDown *UpDown2, *UpDown3, *UpDown4;
    QPushButton *SpeedButton2, *SpeedButton3;
    TDblClickClearEdit *EditAddSource, *EdittitleSource;
};
