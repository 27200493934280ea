#include "smil_tab.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "mms_maker.h"
#include "services.h"
#include "settings_controls.h"
#include "settings_store.h"

using tabs::Q;
using tabs::S;

TSmilTab::TSmilTab(std::string configDir, TMmsMaker& maker, TMmsSettings& settings,
                   TQuestions& questions, std::function<bool()> saveSettings, QWidget* parent)
    : QWidget(parent),
      templates_(std::move(configDir)),
      maker_(maker),
      settings_(settings),
      questions_(questions),
      saveSettings_(std::move(saveSettings)) {
    setObjectName("SmilTab");
    FOpenFolder = tabs::OpenFolder;

    CBsmillist = new QComboBox(this);
    CBsmillist->setObjectName("CBsmillist");
    CBsmillist->setEditable(false);
    SpeedButton1 = new QPushButton(QStringLiteral("操作菜单"), this);
    SpeedButton1->setObjectName("SpeedButton1");
    sbsmilhelp = new QPushButton(QStringLiteral("帮助"), this);
    sbsmilhelp->setObjectName("sbsmilhelp");
    MemoSmil = new TDblClickClearMemo(this);
    MemoSmil->setObjectName("MemoSmil");
    MemoSmil->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoSmil->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoSmil->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoSmil->setToolTip(QString::fromUtf8(kSmilEditorHint));
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setScaledContents(true);
    Image1->setPixmap(LayoutPicture());
    Image1->setFixedSize(Image1->pixmap().size());  // drawn to size: shown undistorted

    PopupMenuB = new QMenu(this);
    PopupMenuB->setObjectName("PopupMenuB");
    auto item = [&](const char* name, const char* caption, void (TSmilTab::*handler)()) {
        QAction* a = PopupMenuB->addAction(QString::fromUtf8(caption));
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    Nflashsmil = item("Nflashsmil", "刷新列表", &TSmilTab::NflashsmilClick);
    N19 = item("N19", "保存", &TSmilTab::N19Click);
    N20 = item("N20", "另存为自定义", &TSmilTab::N20Click);
    PopupMenuB->addSeparator();
    N22 = item("N22", "打开配置文件夹", &TSmilTab::N22Click);
    PopupMenuB->addSeparator();
    N21 = item("N21", "帮助", &TSmilTab::N21Click);

    auto* top = new QHBoxLayout;
    top->addWidget(CBsmillist, 1);
    top->addWidget(SpeedButton1);
    top->addWidget(sbsmilhelp);
    auto* body = new QHBoxLayout;
    body->addWidget(MemoSmil, 1);
    body->addWidget(Image1, 0, Qt::AlignTop);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addLayout(body, 1);

    // "activated" is the user's pick only; selections made by code do not count.
    connect(CBsmillist, &QComboBox::activated, this, [this] { CBsmillistChange(); });
    SpeedButton1->installEventFilter(this);
    connect(sbsmilhelp, &QPushButton::clicked, this, &TSmilTab::N21Click);
}

bool TSmilTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == SpeedButton1 && event->type() == QEvent::MouseButtonRelease &&
        SpeedButton1->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
        SpeedButton1MouseUp();
    return QWidget::eventFilter(watched, event);
}

void TSmilTab::Status(const std::string& name) {
    if (FShowStatus) FShowStatus(Q(name));
}

void TSmilTab::ListTemplates() {
    CBsmillist->clear();
    for (const auto& name : templates_.List()) CBsmillist->addItem(Q(name));
    CBsmillist->setCurrentIndex(-1);
}

TStringList TSmilTab::EditorLines() const { return SplitLines(S(MemoSmil->toPlainText())); }

std::string TSmilTab::EditorText() const { return JoinLines(EditorLines()); }

void TSmilTab::ShowEditorLines(const TStringList& lines) {
    QStringList l;
    for (const auto& line : lines) l << Q(line);
    MemoSmil->setPlainText(l.join('\n'));
}

void TSmilTab::LoadSmilTemplates() {
    ListTemplates();
    TStringList names;
    for (int i = 0; i < CBsmillist->count(); ++i) names.push_back(S(CBsmillist->itemText(i)));
    const TSmilTemplates::TChoice c = templates_.Choose(names, settings_.SmilTemplateName);
    try {
        if (c.Index >= 0) CBsmillist->setCurrentIndex(c.Index);
        if (c.NameChanged) settings_.SmilTemplateName = c.Name;
        if (c.Load) {
            const TStringList lines = templates_.Load(c.Name);
            ShowEditorLines(lines);
            maker_.SetSmilHead(JoinLines(lines));
        }
        if (c.NameChanged && saveSettings_) saveSettings_();
    } catch (const std::exception&) {
        // An unreadable template leaves the editor as it was.
    }
    Status(settings_.SmilTemplateName);
}

void TSmilTab::CBsmillistChange() {
    if (CBsmillist->currentIndex() < 0) return;
    const std::string name = S(CBsmillist->currentText());
    settings_.SmilTemplateName = name;
    MemoSmil->clear();
    try {
        ShowEditorLines(templates_.Load(name));
    } catch (const std::exception&) {
        return;  // the name has changed and the editor is empty; nothing is saved
    }
    // A settings file that cannot be written ends the pick before the status panel.
    if (saveSettings_ && !saveSettings_()) return;
    Status(name);
}

void TSmilTab::NflashsmilClick() { ListTemplates(); }

void TSmilTab::N19Click() {
    if (CBsmillist->currentIndex() < 0 || CBsmillist->currentText().isEmpty()) return;
    try {
        templates_.Save(S(CBsmillist->currentText()), EditorLines());
    } catch (const std::exception&) {
        // A template that cannot be written ends the save without a word.
    }
}

void TSmilTab::N20Click() {
    try {
        templates_.SaveAsCustom(EditorLines());
    } catch (const std::exception&) {
        return;
    }
    ListTemplates();
}

void TSmilTab::N22Click() {
    if (FOpenFolder) FOpenFolder(templates_.Folder());
}

void TSmilTab::N21Click() { questions_.Ask("提示", SmilHelpText(), TButtons::Ok, TIcon::Information); }

void TSmilTab::SpeedButton1MouseUp() { PopupMenuB->popup(QCursor::pos()); }

void TSmilTab::MemoSmilDblClick() { MemoSmil->clear(); }

QPixmap TSmilTab::LayoutPicture() {
    // The 240 by 320 layout at five sixths, the three SMIL lines beneath it.
    const int w = 200, h = 267, textTop = h * 84 / 100, pad = 4;
    const QStringList lines = {
        QStringLiteral("<root-layout width=\"240\" height=\"320\"/>"),
        QStringLiteral("<region id=\"image\" width=\"100%\""),
        QStringLiteral("  height=\"84%\" top=\"0%\" fit=\"scroll\"/>"),
        QStringLiteral("<region id=\"text\" width=\"100%\""),
        QStringLiteral("  height=\"16%\" top=\"84%\" fit=\"meet\"/>"),
    };
    QFont code;
    code.setStyleHint(QFont::SansSerif);
    int px = 11;
    for (;; --px) {
        code.setPixelSize(px);
        const QFontMetrics fm(code);
        int widest = 0;
        for (const QString& l : lines) widest = std::max(widest, fm.horizontalAdvance(l));
        if (widest <= w - 2 * pad || px <= 7) break;
    }
    const QFontMetrics fm(code);
    QPixmap pm(w + 1, h + 1 + pad * 2 + fm.lineSpacing() * static_cast<int>(lines.size()));
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.fillRect(0, 0, w, textTop, QColor(0xA6, 0xCA, 0xF0));
    p.fillRect(0, textTop, w, h - textTop, QColor(0xFF, 0xFB, 0xF0));
    p.drawRect(0, 0, w, textTop);
    p.drawRect(0, textTop, w, h - textTop);
    QFont label = p.font();
    label.setPixelSize(13);
    p.setFont(label);
    p.drawText(QRect(0, 0, w, textTop), Qt::AlignCenter, QStringLiteral("id=\"image\"\n240 × 269 (84%)"));
    p.drawText(QRect(0, textTop, w, h - textTop), Qt::AlignCenter,
               QStringLiteral("id=\"text\"  240 × 51 (16%)"));
    p.setFont(code);
    int y = h + 1 + pad + fm.ascent();
    for (const QString& l : lines) {
        p.drawText(pad, y, l);
        y += fm.lineSpacing();
    }
    return pm;
}
