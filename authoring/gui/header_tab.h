// The tab "彩信头": the message header controls. Show copies the maker's header
// values into them; Gather copies them back (trimmed texts, list indexes, dates).
#pragma once

#include <QWidget>

class QComboBox;
class QPushButton;
class TDblClickClearEdit;
class TMmsMaker;

class THeaderTab : public QWidget {
    Q_OBJECT
public:
    explicit THeaderTab(QWidget* parent = nullptr);

    void ShowHeader(const TMmsMaker& maker);
    void GatherHeader(TMmsMaker& maker) const;

    // The time buttons: the current local date and time into their combos.
    void SBExpiryTimeClick();
    void SBDeliveryTimeClick();

    TDblClickClearEdit *EditTo, *EditCC, *EditBCC, *EditSubject;
    QComboBox *CbMessageClass, *CBPriority, *CBSenderVisibility, *CBDeliveryReport, *CBReadReply;
    QComboBox *CBExpiryTime, *CBDeliveryTime, *ComboBox14;
    QPushButton *SBExpiryTime, *SBDeliveryTime, *SpeedButton4;
    // "保存参数..." and "默认参数...": the settings controller binds them.
    QPushButton *SBSavecfg, *SBDefault;
};
