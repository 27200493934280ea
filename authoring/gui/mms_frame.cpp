#include "mms_frame.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QToolButton>
#include <QValidator>
#include <QVBoxLayout>
#include <stdexcept>

std::string LastDropFile;

QColor PageColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

namespace {
constexpr uint32_t clSkyBlue = 0xF0CAA6;

void Paint(QWidget* w, uint32_t bgr) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, PageColor(bgr));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QFrame* LoweredPanel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    Paint(p, clCream);
    return p;
}

// Typing stops at three characters; the program itself may show more ("999秒").
class TMaxTypedLength : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return input.size() > 3 ? Invalid : Acceptable;
    }
};

QToolButton* FlatButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setAutoRaise(true);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return b;
}
}  // namespace

TFrameDispaly::TFrameDispaly(QWidget* parent) : QFrame(parent) {
    setObjectName("FrameDispaly");
    resize(170, 246);
    Paint(this, clCream);

    GB1 = new QGroupBox(QStringLiteral("第 1 页"), this);
    GB1->setObjectName("GB1");
    GB1->setGeometry(7, 8, 154, 233);
    Paint(GB1, clCream);
    auto* gbLayout = new QVBoxLayout(GB1);
    gbLayout->setContentsMargins(2, 2, 2, 2);
    gbLayout->setSpacing(0);

    Panel32 = LoweredPanel(GB1, "Panel32");
    auto* p32Layout = new QVBoxLayout(Panel32);
    p32Layout->setContentsMargins(1, 1, 1, 1);
    p32Layout->setSpacing(0);

    Panel3 = new QLabel(QStringLiteral("双击添加图片"), Panel32);
    Panel3->setObjectName("Panel3");
    Panel3->setAlignment(Qt::AlignCenter);
    Paint(Panel3, clCream);
    auto* p3Layout = new QVBoxLayout(Panel3);
    p3Layout->setContentsMargins(0, 0, 0, 0);
    // Transparent and empty at first, so the caption beneath shows through.
    ImageA = new QLabel(Panel3);
    ImageA->setObjectName("ImageA");
    ImageA->setScaledContents(true);
    ImageA->setMinimumSize(1, 1);
    p3Layout->addWidget(ImageA);
    p32Layout->addWidget(Panel3, 1);

    Paneltext = LoweredPanel(Panel32, "Paneltext");
    Paneltext->setFixedHeight(47);
    auto* ptLayout = new QVBoxLayout(Paneltext);
    ptLayout->setContentsMargins(1, 1, 1, 1);
    SBText = FlatButton(Paneltext, "SBText", QStringLiteral("点此添加文字"));
    ptLayout->addWidget(SBText);
    p32Layout->addWidget(Paneltext);

    Panel1 = LoweredPanel(Panel32, "Panel1");
    Panel1->setFixedHeight(21);
    auto* p1Layout = new QVBoxLayout(Panel1);
    p1Layout->setContentsMargins(1, 0, 1, 0);
    SBAduio = FlatButton(Panel1, "SBAduio", QStringLiteral("点此添加声音"));
    p1Layout->addWidget(SBAduio);
    p32Layout->addWidget(Panel1);
    gbLayout->addWidget(Panel32, 1);

    Panel33 = new QFrame(GB1);
    Panel33->setObjectName("Panel33");
    Panel33->setFixedHeight(33);
    Paint(Panel33, clSkyBlue);
    gbLayout->addWidget(Panel33);

    Editplaytime = new QLineEdit(QStringLiteral("5 秒"), Panel33);
    Editplaytime->setObjectName("Editplaytime");
    Editplaytime->setGeometry(8, 6, 49, 22);
    Editplaytime->setValidator(new TMaxTypedLength(Editplaytime));
    Editplaytime->setToolTip(QStringLiteral("播放时间为1~999秒"));

    SpinButton1 = new QWidget(Panel33);
    SpinButton1->setObjectName("SpinButton1");
    SpinButton1->setGeometry(56, 6, 15, 22);
    auto* spinLayout = new QVBoxLayout(SpinButton1);
    spinLayout->setContentsMargins(0, 0, 0, 0);
    spinLayout->setSpacing(0);
    for (auto arrow : {Qt::UpArrow, Qt::DownArrow}) {
        auto* b = new QToolButton(SpinButton1);
        b->setObjectName(arrow == Qt::UpArrow ? "SpinButton1Up" : "SpinButton1Down");
        b->setArrowType(arrow);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        spinLayout->addWidget(b);
    }

    SBMemu = new QToolButton(Panel33);
    SBMemu->setObjectName("SBMemu");
    SBMemu->setText(QStringLiteral("功能菜单"));
    SBMemu->setAutoRaise(true);
    SBMemu->setGeometry(78, 6, 65, 22);

    PopupMenuB = new QMenu(this);
    PopupMenuB->setObjectName("PopupMenuB");
    struct Item {
        const char* name;
        const char* caption;
        bool enabled;
    };
    const Item items[] = {{"NDeltext", "删除文字", false}, {"NDelpic", "删除图片", false},
                          {"NDelAduio", "删除音频", false}, {"NDelotherapp", "删除附件", false},
                          {"N1", nullptr, true},           {"N3", "增加附件", true},
                          {"N4", nullptr, true},           {"N2", "删除当前页", true},
                          {"N8", nullptr, true}};
    for (const Item& it : items) {
        QAction* a = it.caption ? PopupMenuB->addAction(QString::fromUtf8(it.caption))
                                : PopupMenuB->addSeparator();
        a->setObjectName(it.name);
        a->setEnabled(it.enabled);
    }

    for (QWidget* w : {static_cast<QWidget*>(GB1), static_cast<QWidget*>(ImageA),
                       static_cast<QWidget*>(Panel33)})
        w->installEventFilter(this);
}

TFrameDispaly::~TFrameDispaly() { SetPage(nullptr); }

void TFrameDispaly::SetPage(TPageModel* page) {
    if (FPage && FPage->FView == this) FPage->FView = nullptr;
    FPage = page;
    if (FPage) {
        FPage->FView = this;
        Refresh();
    }
}

void TFrameDispaly::PageChanged(TPageModel& page) {
    if (&page == FPage) Refresh();
}

void TFrameDispaly::ShowPicture(TPageModel& page, const std::string& path) {
    QImage image(QString::fromStdString(path));
    if (image.isNull()) {
        if (&page == FPage) ImageA->clear();
        throw std::runtime_error("cannot load picture " + path);
    }
    if (&page == FPage) ImageA->setPixmap(QPixmap::fromImage(image));
}

void TFrameDispaly::GB1Click() {
    if (FPage) FPage->SelectPage();
}

bool TFrameDispaly::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == GB1 || watched == ImageA || watched == Panel33))
        GB1Click();
    return QFrame::eventFilter(watched, event);
}

void TFrameDispaly::Refresh() {
    if (!FPage) return;
    Paint(this, FPage->FColor);
    GB1->setTitle(QString::fromStdString(FPage->FCaption));
    auto show = [](QToolButton* b, const std::string& caption, bool bold) {
        b->setText(QString::fromStdString(caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QFont f = b->font();
        f.setBold(bold);
        f.setItalic(bold);
        b->setFont(f);
    };
    show(SBText, FPage->FTextCaption, FPage->FTextBold);
    show(SBAduio, FPage->FAudioCaption, FPage->FAudioBold);
    Editplaytime->setText(QString::fromStdString(FPage->FPlayTimeText));
    if (!FPage->FHasPicture) {
        ImageA->clear();
    } else if (ImageA->pixmap().isNull()) {
        // Bound anew to a page that already holds a picture.
        QImage image(QString::fromStdString(FPage->Slot(mkPicture).File));
        if (!image.isNull()) ImageA->setPixmap(QPixmap::fromImage(image));
    }
}
