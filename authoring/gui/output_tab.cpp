#include "output_tab.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "settings_controls.h"

using tabs::S;

TOutputTab::TOutputTab(QWidget* parent) : QWidget(parent) {
    setObjectName("OutputTab");
    FChooseFile = [this] { return QFileDialog::getOpenFileName(this); };

    GBMakeParam = new QGroupBox(this);
    GBMakeParam->setObjectName("GBMakeParam");
    CBMake = new QCheckBox(QStringLiteral("根据地址批量生成彩信文件"), GBMakeParam);
    CBMake->setObjectName("CBMake");
    PanelMake = new QWidget(GBMakeParam);
    PanelMake->setObjectName("PanelMake");

    auto* grid = new QGridLayout(PanelMake);
    auto count = [&](int row, const char* labelName, const char* label, const char* editName,
                     const char* spinName, int32_t position, QLabel*& l, QLineEdit*& e, TUpDown*& u) {
        l = new QLabel(QString::fromUtf8(label), PanelMake);
        l->setObjectName(labelName);
        e = new QLineEdit(PanelMake);
        e->setObjectName(editName);
        e->setMaximumWidth(80);  // a count of up to three digits
        u = new TUpDown(e, 0, 100, PanelMake);
        u->setObjectName(spinName);
        u->SetPosition(position);
        grid->addWidget(l, row, 0);
        auto* h = new QHBoxLayout;
        h->setSpacing(1);
        h->addWidget(e);
        h->addWidget(u);
        h->addStretch(1);
        grid->addLayout(h, row, 1);
    };
    count(0, "Label2", "接收个数", "EdittoNum", "UpDown2", 1, Label2, EdittoNum, UpDown2);
    count(1, "Label3", "抄送个数", "EditBCNum", "UpDown3", 0, Label3, EditBCNum, UpDown3);
    count(2, "Label4", "秘送个数", "EditBBCNum", "UpDown4", 0, Label4, EditBBCNum, UpDown4);
    auto source = [&](int row, const char* buttonName, const char* caption, const char* editName,
                      QPushButton*& b, TDblClickClearEdit*& e) {
        b = new QPushButton(QString::fromUtf8(caption), PanelMake);
        b->setObjectName(buttonName);
        e = new TDblClickClearEdit(PanelMake);
        e->setObjectName(editName);
        // A typed list of thousands of numbers must stay whole: the toolkit's
        // default cut at 32,767 characters would leave a wrong last number.
        e->setMaxLength(std::numeric_limits<int>::max());
        grid->addWidget(b, row, 0);
        grid->addWidget(e, row, 1);
    };
    source(3, "SpeedButton2", "地址来源", "EditAddSource", SpeedButton2, EditAddSource);
    source(4, "SpeedButton3", "主题来源", "EdittitleSource", SpeedButton3, EdittitleSource);

    auto* g = new QVBoxLayout(GBMakeParam);
    g->addWidget(CBMake);
    g->addWidget(PanelMake);
    auto* v = new QVBoxLayout(this);
    v->addWidget(GBMakeParam);
    v->addStretch(1);

    connect(CBMake, &QCheckBox::clicked, this, &TOutputTab::CBMakeClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TOutputTab::SpeedButton2Click);
    connect(SpeedButton3, &QPushButton::clicked, this, &TOutputTab::SpeedButton3Click);
}

void TOutputTab::FillInput(TMakeInput& input) const {
    input.Batch = CBMake->isChecked();
    input.ToCount = S(EdittoNum->text());
    input.CcCount = S(EditBCNum->text());
    input.BccCount = S(EditBBCNum->text());
    input.AddressSource = S(EditAddSource->text());
    input.SubjectSource = S(EdittitleSource->text());
}

void TOutputTab::CBMakeClick() { PanelMake->setEnabled(CBMake->isChecked()); }

void TOutputTab::SpeedButton2Click() {
    const QString f = FChooseFile ? FChooseFile() : QString();
    if (!f.isEmpty()) EditAddSource->setText(f);
}

void TOutputTab::SpeedButton3Click() {
    const QString f = FChooseFile ? FChooseFile() : QString();
    if (!f.isEmpty()) EdittitleSource->setText(f);
}
