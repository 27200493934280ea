#include "header_tab.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "mms_maker.h"
#include "settings_controls.h"
#include "settings_store.h"
#include "text_codec.h"

using tabs::Q;
using tabs::S;

namespace {

QComboBox* List(QWidget* parent, const char* name, std::initializer_list<const char*> items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    for (const char* i : items) c->addItem(QString::fromUtf8(i));
    return c;
}

// A disabled date combo holding one item "默认".
QComboBox* DateCombo(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->addItem(QStringLiteral("默认"));
    c->setCurrentText(QStringLiteral("默认"));
    c->setEnabled(false);
    return c;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, bool enabled = true) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setEnabled(enabled);
    return b;
}

// A list out of range shows no selection; gathering it keeps the held value.
void Select(QComboBox* c, int index) { c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1); }
template <typename T>
void Take(const QComboBox* c, T& value) {
    if (c->currentIndex() >= 0) value = static_cast<T>(c->currentIndex());
}

void ShowDate(QComboBox* c, const QDateTime& t) {
    c->setCurrentText(IsZeroDateTime(t) ? QStringLiteral("默认") : Q(DateTimeToText(t)));
}

QDateTime GatherDate(const QComboBox* c) {
    const QString text = c->currentText();
    return text == QStringLiteral("默认") ? QDateTime() : TextToDateTime(S(text));
}

}  // namespace

THeaderTab::THeaderTab(QWidget* parent) : QWidget(parent) {
    setObjectName("HeaderTab");
    auto edit = [&](const char* name) {
        auto* e = new TDblClickClearEdit(this);
        e->setObjectName(name);
        return e;
    };
    EditTo = edit("EditTo");
    EditCC = edit("EditCC");
    EditBCC = edit("EditBCC");
    EditSubject = edit("EditSubject");
    CbMessageClass = List(this, "CbMessageClass", {"默认", "个人", "广告", "通知", "自动"});
    CBPriority = List(this, "CBPriority", {"默认", "低", "正常", "高"});
    CBSenderVisibility = List(this, "CBSenderVisibility", {"默认", "隐藏", "显示"});
    CBDeliveryReport = List(this, "CBDeliveryReport", {"默认", "打开", "关闭"});
    CBReadReply = List(this, "CBReadReply", {"默认", "打开", "关闭"});
    CBExpiryTime = DateCombo(this, "CBExpiryTime");
    CBDeliveryTime = DateCombo(this, "CBDeliveryTime");
    ComboBox14 = DateCombo(this, "ComboBox14");
    SBExpiryTime = Button(this, "SBExpiryTime", "到期时间", false);
    SBDeliveryTime = Button(this, "SBDeliveryTime", "分发时间", false);
    SpeedButton4 = Button(this, "SpeedButton4", "彩信时间", false);
    SBSavecfg = Button(this, "SBSavecfg", "保存参数...");
    SBDefault = Button(this, "SBDefault", "默认参数...");

    auto* grid = new QGridLayout(this);
    int row = 0;
    auto add = [&](const char* label, QWidget* w) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        grid->addWidget(w, row++, 1);
    };
    add("接收者", EditTo);
    add("抄 送", EditCC);
    add("暗  送", EditBCC);
    add("主题", EditSubject);
    add("消息类型", CbMessageClass);
    add("优先级", CBPriority);
    add("匿名发送", CBSenderVisibility);
    add("发送报告", CBDeliveryReport);
    add("阅读报告", CBReadReply);
    auto addTime = [&](QPushButton* b, QComboBox* c) {
        grid->addWidget(b, row, 0);
        grid->addWidget(c, row++, 1);
    };
    addTime(SBExpiryTime, CBExpiryTime);
    addTime(SBDeliveryTime, CBDeliveryTime);
    addTime(SpeedButton4, ComboBox14);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SBSavecfg);
    buttons->addWidget(SBDefault);
    buttons->addStretch(1);
    grid->addLayout(buttons, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);

    connect(SBExpiryTime, &QPushButton::clicked, this, &THeaderTab::SBExpiryTimeClick);
    connect(SBDeliveryTime, &QPushButton::clicked, this, &THeaderTab::SBDeliveryTimeClick);
}

void THeaderTab::ShowHeader(const TMmsMaker& maker) {
    EditTo->setText(Q(maker.FTo));
    EditCC->setText(Q(maker.FCc));
    EditBCC->setText(Q(maker.FBcc));
    EditSubject->setText(Q(maker.FSubject));
    Select(CbMessageClass, maker.FMessageClass);
    ShowDate(CBExpiryTime, maker.FExpiryTime);
    ShowDate(CBDeliveryTime, maker.FDeliveryTime);
    Select(CBPriority, maker.FPriority);
    Select(CBSenderVisibility, maker.FSenderVisibility);
    Select(CBDeliveryReport, maker.FDeliveryReport);
    Select(CBReadReply, maker.FReadReply);
}

void THeaderTab::GatherHeader(TMmsMaker& maker) const {
    maker.FTo = Trim(S(EditTo->text()));
    maker.FCc = Trim(S(EditCC->text()));
    maker.FBcc = Trim(S(EditBCC->text()));
    maker.FSubject = Trim(S(EditSubject->text()));
    Take(CbMessageClass, maker.FMessageClass);
    maker.FExpiryTime = GatherDate(CBExpiryTime);
    maker.FDeliveryTime = GatherDate(CBDeliveryTime);
    Take(CBPriority, maker.FPriority);
    Take(CBSenderVisibility, maker.FSenderVisibility);
    Take(CBDeliveryReport, maker.FDeliveryReport);
    Take(CBReadReply, maker.FReadReply);
}

void THeaderTab::SBExpiryTimeClick() {
    CBExpiryTime->setCurrentText(Q(DateTimeToText(QDateTime::currentDateTime())));
}

void THeaderTab::SBDeliveryTimeClick() {
    CBDeliveryTime->setCurrentText(Q(DateTimeToText(QDateTime::currentDateTime())));
}
