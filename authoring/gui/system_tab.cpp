#include "system_tab.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "mms_maker.h"
#include "settings_controls.h"
#include "settings_store.h"
#include "text_codec.h"

using tabs::Q;
using tabs::S;

namespace {
bool IntOf(const QLineEdit* e, int32_t& v) { return TryStrToInt(S(e->text()), v); }
}  // namespace

TSystemTab::TSystemTab(TMmsMaker& maker, TMmsSettings& settings, QWidget* parent)
    : QWidget(parent), maker_(maker), settings_(settings) {
    setObjectName("SystemTab");
    FChooseColor = [this](uint32_t initial) -> std::optional<uint32_t> {
        QColor c = QColorDialog::getColor(ColorFromBgr(initial), this);
        if (!c.isValid()) return std::nullopt;
        return BgrFromColor(c);
    };

    auto radio = [&](const char* name, const char* caption, int tag) {
        auto* r = new QRadioButton(QString::fromUtf8(caption), this);
        r->setObjectName(name);
        r->setProperty("Tag", tag);
        return r;
    };
    RBPicmode1 = radio("RBPicmode1", "保留不变", 1);
    RBPicmode2 = radio("RBPicmode2", "保留原来大小，重新编码。", 2);
    RBPicmode3 = radio("RBPicmode3", "重新编码：参数如下", 3);
    RBPicmode1->setChecked(true);

    CBPicEncodeInfo = new QComboBox(this);
    CBPicEncodeInfo->setObjectName("CBPicEncodeInfo");
    CBPicEncodeInfo->setEditable(true);
    for (const char* i : {"120X160", "128X128", "128X144", "128X160", "162X216", "176X200", "176X208",
                          "176X210", "176X220", "200X176", "208X208", "208X320", "210X176", "220X176",
                          "240X320", "240X400", "320X240", "352X416", "640X480"})
        CBPicEncodeInfo->addItem(i);
    CBPicEncodeInfo->setCurrentText("128X128");

    auto number = [&](const char* name, const char* spin, int32_t max, int32_t position,
                      TUpDown*& upDown) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaximumWidth(80);  // numbers of up to four digits
        upDown = new TUpDown(e, 0, max, this);
        upDown->setObjectName(spin);
        upDown->SetPosition(position);
        return e;
    };
    EditJPG = number("EditJPG", "UpDownJPG", 100, 90, UpDownJPG);
    Edithaizinum = number("Edithaizinum", "UpDownhaizinum", 1000, 612, UpDownhaizinum);
    EditHanziLen = number("EditHanziLen", "UpDownTxtMaxLen", 1000, 612, UpDownTxtMaxLen);
    EditMmsMaxSize = number("EditMmsMaxSize", "UpDownMmsMaxSize", 1000, 50, UpDownMmsMaxSize);

    Panelcolor = new TColorPanel(this);
    Panelcolor->setObjectName("Panelcolor");
    Panelcolor->SetColor(clLime);

    CBCloseApphint = new QComboBox(this);
    CBCloseApphint->setObjectName("CBCloseApphint");
    for (const char* i : {"不保存编辑信息", "保存编辑信息", "提示保存信息"})
        CBCloseApphint->addItem(QString::fromUtf8(i));
    CBCloseApphint->setCurrentIndex(-1);

    CBMMsNameFormat = new QComboBox(this);
    CBMMsNameFormat->setObjectName("CBMMsNameFormat");
    CBMMsNameFormat->setEditable(true);
    for (const char* i : {"随机数字", "随机数字_彩信主题", "随机数字_彩信主题_时间", "随机数字_彩信主题_日期_时间"})
        CBMMsNameFormat->addItem(QString::fromUtf8(i));
    CBMMsNameFormat->setCurrentText(QStringLiteral("随机数字"));

    SpeedButton5 = new QPushButton(QStringLiteral("保存参数..."), this);
    SpeedButton5->setObjectName("SpeedButton5");

    // Layout.
    auto group = [&](const char* title) {
        auto* g = new QGroupBox(QString::fromUtf8(title), this);
        return g;
    };
    auto row = [&](QGridLayout* grid, int r, const char* label, QLineEdit* e, TUpDown* u) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), r, 0);
        auto* h = new QHBoxLayout;
        h->setSpacing(1);
        h->addWidget(e);
        h->addWidget(u);
        h->addStretch(1);
        grid->addLayout(h, r, 1);
    };
    auto* picture = group("图片编码");
    auto* pg = new QGridLayout(picture);
    pg->addWidget(RBPicmode1, 0, 0, 1, 2);
    pg->addWidget(RBPicmode2, 1, 0, 1, 2);
    pg->addWidget(RBPicmode3, 2, 0, 1, 2);
    pg->addWidget(new QLabel(QStringLiteral("大小(宽高)"), this), 3, 0);
    pg->addWidget(CBPicEncodeInfo, 3, 1);
    row(pg, 4, "JPG质量", EditJPG, UpDownJPG);
    auto* text = group("文本处理参数");
    auto* tg = new QGridLayout(text);
    row(tg, 0, "每100秒阅读汉字个数", Edithaizinum, UpDownhaizinum);
    row(tg, 1, "每页彩信汉字个数", EditHanziLen, UpDownTxtMaxLen);
    auto* size = group("彩信大小提示");
    auto* sg = new QGridLayout(size);
    row(sg, 0, "彩信最大值(单位K)", EditMmsMaxSize, UpDownMmsMaxSize);
    auto* colour = group("边框颜色选择");
    (new QVBoxLayout(colour))->addWidget(Panelcolor);
    auto* close = group("关闭程序时");
    (new QVBoxLayout(close))->addWidget(CBCloseApphint);
    auto* pattern = group("彩信输出命令格式");
    (new QVBoxLayout(pattern))->addWidget(CBMMsNameFormat);

    auto* grid = new QGridLayout(this);
    grid->addWidget(picture, 0, 0, 2, 1);
    grid->addWidget(text, 0, 1);
    grid->addWidget(size, 1, 1);
    grid->addWidget(colour, 2, 0);
    grid->addWidget(close, 2, 1);
    grid->addWidget(pattern, 3, 0);
    grid->addWidget(SpeedButton5, 3, 1, Qt::AlignLeft | Qt::AlignVCenter);
    grid->setRowStretch(4, 1);

    // The live rules, bound after the initial texts are in place.
    connect(EditJPG, &QLineEdit::textChanged, this, &TSystemTab::EditJPGChange);
    connect(Edithaizinum, &QLineEdit::textChanged, this, &TSystemTab::EdithaizinumChange);
    connect(EditMmsMaxSize, &QLineEdit::textChanged, this, &TSystemTab::EditMmsMaxSizeChange);
    connect(CBPicEncodeInfo, &QComboBox::currentTextChanged, this, &TSystemTab::CBPicEncodeInfoChange);
    for (QRadioButton* r : {RBPicmode1, RBPicmode2, RBPicmode3})
        connect(r, &QRadioButton::clicked, this, [this, r] { RBPicmode2Click(r); });
    connect(Panelcolor, &TColorPanel::Clicked, this, &TSystemTab::PanelcolorDblClick);
}

void TSystemTab::ShowPicEncodeMode(int32_t mode) {
    if (mode == 1) RBPicmode1->setChecked(true);
    if (mode == 2) RBPicmode2->setChecked(true);
    if (mode == 3) RBPicmode3->setChecked(true);
}

void TSystemTab::ShowOptions() {
    ShowPicEncodeMode(maker_.FPicEncodeMode);
    CBPicEncodeInfo->setCurrentText(Q(maker_.FPicEncodeInfo));
    UpDownhaizinum->SetPosition(settings_.TxtTimeOptPs);
    UpDownJPG->SetPosition(maker_.FJpegQuality);
    UpDownMmsMaxSize->SetPosition(settings_.MmsMaxSize);
    Panelcolor->SetColor(maker_.FPages.FrameColor);
    const int close = settings_.CloseHintMode;
    CBCloseApphint->setCurrentIndex(close >= 0 && close < CBCloseApphint->count() ? close : -1);
    CBMMsNameFormat->setCurrentText(Q(settings_.MmsOutFormat));
    UpDownTxtMaxLen->SetPosition(settings_.TxtMaxLen);
}

bool TSystemTab::GatherOptions() {
    maker_.FPicEncodeInfo = S(CBPicEncodeInfo->currentText());
    if (!IntOf(Edithaizinum, settings_.TxtTimeOptPs)) return false;
    if (!IntOf(EditJPG, maker_.FJpegQuality)) return false;
    if (!IntOf(EditMmsMaxSize, settings_.MmsMaxSize)) return false;
    maker_.FPages.FrameColor = Panelcolor->Color();
    if (CBCloseApphint->currentIndex() >= 0) settings_.CloseHintMode = CBCloseApphint->currentIndex();
    settings_.MmsOutFormat = S(CBMMsNameFormat->currentText());
    return IntOf(EditHanziLen, settings_.TxtMaxLen);
}

void TSystemTab::EditJPGChange() { IntOf(EditJPG, maker_.FJpegQuality); }
void TSystemTab::EdithaizinumChange() { IntOf(Edithaizinum, settings_.TxtTimeOptPs); }
void TSystemTab::EditMmsMaxSizeChange() { IntOf(EditMmsMaxSize, settings_.MmsMaxSize); }
void TSystemTab::CBPicEncodeInfoChange() { maker_.FPicEncodeInfo = S(CBPicEncodeInfo->currentText()); }

void TSystemTab::RBPicmode2Click(QObject* sender) {
    auto* r = qobject_cast<QRadioButton*>(sender);
    if (!r) return;
    maker_.FPicEncodeMode = r->property("Tag").toInt();
}

void TSystemTab::PanelcolorDblClick() {
    if (!FChooseColor) return;
    std::optional<uint32_t> c = FChooseColor(lastDialogColor_);
    if (!c) return;
    lastDialogColor_ = *c;
    Panelcolor->SetColor(*c);
    maker_.FPages.FrameColor = *c;
    emit FrameColorChanged(*c);
}
