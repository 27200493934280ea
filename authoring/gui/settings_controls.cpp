#include "settings_controls.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "text_codec.h"

using tabs::Q;
using tabs::S;

void TDblClickClearEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    clear();
}

void TDblClickClearMemo::mouseDoubleClickEvent(QMouseEvent* e) {
    QPlainTextEdit::mouseDoubleClickEvent(e);
    clear();
}

TUpDown::TUpDown(QLineEdit* edit, int32_t min, int32_t max, QWidget* parent)
    : QWidget(parent), edit_(edit), min_(min), max_(max) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto arrow = [&](Qt::ArrowType type, int delta) {
        auto* b = new QToolButton(this);
        b->setArrowType(type);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        connect(b, &QToolButton::clicked, this, [this, delta] { Step(delta); });
        layout->addWidget(b);
    };
    arrow(Qt::UpArrow, 1);
    arrow(Qt::DownArrow, -1);
}

void TUpDown::SetPosition(int32_t v) {
    position_ = v;
    edit_->setText(QString::number(v));
}

void TUpDown::Step(int delta) {
    int32_t v = position_;
    TryStrToInt(S(edit_->text()), v);
    int64_t next = static_cast<int64_t>(v) + delta;
    if (next < min_) next = min_;
    if (next > max_) next = max_;
    SetPosition(static_cast<int32_t>(next));
}

TColorPanel::TColorPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setMinimumSize(60, 24);
    SetColor(0);
}

void TColorPanel::SetColor(uint32_t c) {
    color_ = c;
    PaintBackground(this, c);
    update();
}

void TColorPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit Clicked();
}

void TColorPanel::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit Clicked();
}

void tabs::OpenFolder(const std::string& dir) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(dir)));
}
