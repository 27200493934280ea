#include "mms_frame.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalBlocker>
#include <QToolButton>
#include <QValidator>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "audio_sel.h"
#include "chooser_rules.h"
#include "gui_colours.h"
#include "gui_services.h"
#include "media_player.h"
#include "pic_sel.h"
#include "picture_codecs.h"
#include "shared_procs.h"
#include "text_codec.h"
#include "text_sel.h"
#include "working_copy.h"

std::string LastDropFile;
const char* const kMaterialDragFormat = "application/x-quilmar-material";
const char* const kPageDragFormat = "application/x-quilmar-page";

namespace {
constexpr uint32_t clSkyBlue = 0xF0CAA6;

// A handler's error ends the handler and goes no further, as the program's
// event dispatch would have it.
template <class F>
void Silently(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        TQuilmarApplication::IgnoreException(e.what());
    }
}

bool IsOwnDrag(const QMimeData* data) {
    return data && (data->hasFormat(kMaterialDragFormat) || data->hasFormat(kPageDragFormat));
}

QFrame* LoweredPanel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    PaintBackground(p, clCream);
    return p;
}

// Typing stops at three characters; the program itself may show more ("1000秒"),
// and such a text can still be shortened.
class TMaxTypedLength : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.size() <= 3) return Acceptable;
        auto* edit = qobject_cast<QLineEdit*>(parent());
        return edit && input.size() < edit->text().size() ? Acceptable : Invalid;
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

TFrameDispaly::TFrameDispaly(TPageFrameHost* host, QWidget* parent) : QFrame(parent), FHost(host) {
    setObjectName("FrameDispaly");
    resize(170, 246);
    PaintBackground(this, clCream);

    GB1 = new QGroupBox(QStringLiteral("第 1 页"), this);
    GB1->setObjectName("GB1");
    GB1->setGeometry(7, 8, 154, 233);
    PaintBackground(GB1, clCream);
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
    PaintBackground(Panel3, clCream);
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
    FTextFontDefault = SBText->palette().color(QPalette::ButtonText);
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
    PaintBackground(Panel33, clSkyBlue);
    gbLayout->addWidget(Panel33);

    Editplaytime = new QLineEdit(QStringLiteral("5 秒"), Panel33);
    Editplaytime->setObjectName("Editplaytime");
    Editplaytime->setGeometry(8, 6, 49, 22);
    Editplaytime->setValidator(new TMaxTypedLength(Editplaytime));
    Editplaytime->setToolTip(QStringLiteral("播放时间为1~999秒"));
    // What is typed belongs to the page, so that it survives the page leaving the
    // strip and coming back in another frame.
    connect(Editplaytime, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!FPage) return;
        FPage->FTypedPlayTime = text.toStdString();
        FPage->FTypedOver = FPage->FPlayTimeText;
    });

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

    connect(PopupMenuB, &QMenu::aboutToShow, this, [this] { PopupMenuBPopup(); });
    auto onItem = [this](const char* name, auto handler) {
        QAction* a = PopupMenuB->findChild<QAction*>(name);
        if (a) connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    onItem("N3", &TFrameDispaly::N3Click);
    onItem("N2", &TFrameDispaly::SBDelCurrentPageClick);
    const char* removeItems[] = {"NDeltext", "NDelpic", "NDelAduio", "NDelotherapp"};
    for (int k = 0; k < 4; ++k) {
        QAction* a = PopupMenuB->findChild<QAction*>(removeItems[k]);
        connect(a, &QAction::triggered, this, [this, k] {
            Silently([&] {
                if (FPage) FPage->ClearMedia(k);
            });
        });
    }

    connect(SBText, &QToolButton::clicked, this, [this] { SBTextClick(); });
    connect(SBAduio, &QToolButton::clicked, this, [this] { SBAduioClick(); });
    connect(SpinButton1->findChild<QToolButton*>("SpinButton1Up"), &QToolButton::clicked, this,
            [this] { SpinButton1UpClick(); });
    connect(SpinButton1->findChild<QToolButton*>("SpinButton1Down"), &QToolButton::clicked, this,
            [this] { SpinButton1DownClick(); });

    for (QWidget* w : {static_cast<QWidget*>(ImageA), static_cast<QWidget*>(Paneltext),
                       static_cast<QWidget*>(SBText), static_cast<QWidget*>(Panel1),
                       static_cast<QWidget*>(SBAduio)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& pos) { PopupMenuB->popup(w->mapToGlobal(pos)); });
    }

    // Drags of the program's own (material list, another page) stop here; files
    // from outside go on to the page panel beneath.
    setAcceptDrops(true);
    ImageA->setAcceptDrops(true);

    for (QWidget* w : {static_cast<QWidget*>(GB1), static_cast<QWidget*>(ImageA),
                       static_cast<QWidget*>(Panel33), static_cast<QWidget*>(SBText),
                       static_cast<QWidget*>(SBAduio), static_cast<QWidget*>(SBMemu)})
        w->installEventFilter(this);
}

TFrameDispaly::~TFrameDispaly() { SetPage(nullptr); }

void TFrameDispaly::LetFocusGo() {
    QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == this || isAncestorOf(focus))) focus->clearFocus();
}

void TFrameDispaly::SetPage(TPageModel* page, const QImage* picture) {
    if (FPage && FPage->FView == this) FPage->FView = nullptr;
    if (page != FPage) {
        LetFocusGo();
        // Another page's picture must not stay on show: Refresh loads this one's.
        ImageA->clear();
    }
    FPage = page;
    FPressed = false;
    if (FPage) {
        FPage->FView = this;
        Refresh(picture);
    }
}

void TFrameDispaly::PageChanged(TPageModel& page) {
    if (&page == FPage) Refresh();
}

int TFrameDispaly::BoxSide() const { return std::max(GB1->width(), GB1->height()); }

QImage TFrameDispaly::BoxPicture(const std::string& path, int side) {
    // Decoded as the builder and the chooser decode it (upright), read from the
    // file and reduced by the decoder to about the box, so that a frame holds only
    // a picture of its box's size: a frame decodes its page's picture again each
    // time it takes another page, and a file may claim a huge picture.
    return DecodePictureFile(path, side, side);
}

void TFrameDispaly::ShowPicture(TPageModel& page, const std::string& path) {
    QImage image;
    try {
        image = BoxPicture(path, BoxSide());
    } catch (const std::exception& e) {
        if (&page == FPage) ImageA->clear();
        throw std::runtime_error("cannot load picture " + path + ": " + e.what());
    }
    if (&page == FPage) ImageA->setPixmap(QPixmap::fromImage(image));
}

void TFrameDispaly::GB1Click() {
    if (FPage) FPage->SelectPage();
}

bool TFrameDispaly::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (watched == GB1 || watched == ImageA || watched == Panel33) GB1Click();
            break;
        case QEvent::MouseButtonDblClick:
            if (watched == ImageA) {
                ImageADblClick();
                return true;
            }
            if (watched == SBText) {
                SBTextDblClick();
                return true;
            }
            if (watched == SBAduio) {
                SBAduioDblClick();
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            // Any button; the menu serves as the button's context menu as well.
            if (watched == SBMemu &&
                SBMemu->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                SBMemuMouseUp();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (watched == ImageA) {
                auto* e = static_cast<QDragMoveEvent*>(event);
                if (!IsOwnDrag(e->mimeData())) {
                    e->ignore();
                    return true;
                }
                e->acceptProposedAction();
                ImageADragOver();
                return true;
            }
            break;
        case QEvent::Drop:
            if (watched == ImageA) {
                auto* e = static_cast<QDropEvent*>(event);
                if (IsOwnDrag(e->mimeData())) e->acceptProposedAction();
                ImageADragDrop(e->mimeData());
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

// The frame takes the program's own drags anywhere and does nothing with a drop
// that misses the picture.
void TFrameDispaly::dragEnterEvent(QDragEnterEvent* event) {
    if (IsOwnDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFrameDispaly::dragMoveEvent(QDragMoveEvent* event) {
    if (IsOwnDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFrameDispaly::dropEvent(QDropEvent* event) {
    if (IsOwnDrag(event->mimeData())) event->acceptProposedAction();
}

// The frame itself can be dragged (onto another page's picture).
void TFrameDispaly::mousePressEvent(QMouseEvent* event) {
    FPressed = event->button() == Qt::LeftButton;
    FPressPos = event->position().toPoint();
    QFrame::mousePressEvent(event);
}

void TFrameDispaly::mouseMoveEvent(QMouseEvent* event) {
    if (!FPressed || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - FPressPos).manhattanLength() <
            QApplication::startDragDistance()) {
        QFrame::mouseMoveEvent(event);
        return;
    }
    FPressed = false;
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(kPageDragFormat, QByteArray("1"));
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

void TFrameDispaly::Refresh(const QImage* picture) {
    if (!FPage) return;
    PaintBackground(this, FPage->FColor);
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
    // The text panel's colours are the page's, whichever frame shows it.
    const QColor panel = ColorFromBgr(FPage->FTextPanelColor);
    if (Paneltext->palette().color(QPalette::Window) != panel) PaintBackground(Paneltext, panel);
    const QColor font =
        FPage->FTextFontColor ? ColorFromBgr(*FPage->FTextFontColor) : FTextFontDefault;
    if (SBText->palette().color(QPalette::ButtonText) != font) {
        QPalette pal = SBText->palette();
        pal.setColor(QPalette::ButtonText, font);
        SBText->setPalette(pal);
    }
    // A number typed but not yet confirmed by the arrows stays with its page
    // until the duration itself changes.
    if (FPage->FTypedPlayTime && FPage->FTypedOver != FPage->FPlayTimeText)
        FPage->FTypedPlayTime.reset();
    const QString playTime = QString::fromStdString(FPage->FTypedPlayTime ? *FPage->FTypedPlayTime
                                                                          : FPage->FPlayTimeText);
    if (Editplaytime->text() != playTime) {
        const QSignalBlocker quiet(Editplaytime);  // showing is not typing
        Editplaytime->setText(playTime);
    }
    if (!FPage->FHasPicture) {
        ImageA->clear();
    } else if (ImageA->pixmap().isNull()) {
        // Bound anew to a page that already holds a picture; one that cannot be
        // shown leaves the box empty.
        if (picture) {
            if (!picture->isNull()) ImageA->setPixmap(QPixmap::fromImage(*picture));
        } else {
            try {
                ImageA->setPixmap(
                    QPixmap::fromImage(BoxPicture(FPage->Slot(mkPicture).File, BoxSide())));
            } catch (const std::exception&) {
            }
        }
    }
}

// ---- page menu ----

void TFrameDispaly::SBMemuMouseUp() { PopupMenuB->popup(QCursor::pos()); }

void TFrameDispaly::PopupMenuBPopup() {
    if (!FPage) return;
    const char* names[] = {"NDeltext", "NDelpic", "NDelAduio", "NDelotherapp"};
    const char* emptyCaptions[] = {"删除文本", "删除图片", "删除音频", "删除附件"};
    const char* fullCaptions[] = {"删除 ", "删除 ", "删除 ", "删除附件 "};
    for (int k = 0; k < 4; ++k) {
        QAction* a = PopupMenuB->findChild<QAction*>(names[k]);
        if (!a) continue;
        const std::string& file = FPage->FSlots[k].File;
        a->setEnabled(!file.empty());
        a->setText(QString::fromStdString(file.empty() ? std::string(emptyCaptions[k])
                                                       : fullCaptions[k] + ExtractFileName(file)));
    }
}

void TFrameDispaly::SBTextDblClick() {
    Silently([&] {
        if (FPage) FPage->ClearMedia(mkText);
    });
}

void TFrameDispaly::SBAduioDblClick() {
    Silently([&] {
        if (FPage) FPage->ClearMedia(mkAudio);
    });
}

void TFrameDispaly::SBDelCurrentPageClick() {
    // The current page goes, which need not be this one.
    Silently([&] {
        if (FHost) FHost->DeleteCurrentPage();
    });
}

// ---- material ----

std::string TFrameDispaly::CopyIntoTemp(const std::string& source, TMediaKind kind) {
    // The extension stays as chosen: a picture named X.BMP keeps ".BMP", and with
    // it the part name the message gives it. A copy that failed gives "".
    return FHost->Intake().Take(source, kind, false);
}

void TFrameDispaly::SetSeconds(int64_t seconds) {
    // The time modes give whole seconds, whatever their size: the duration is
    // not read as milliseconds here, so 990 + 20 gives 1010 and not 1.
    const int32_t v = static_cast<int32_t>(std::clamp<int64_t>(seconds, 1, INT32_MAX));
    FPage->FPlayTime = v;
    FPage->FPlayTimeText = std::to_string(v) + "秒";
    Refresh();
}

void TFrameDispaly::SBTextClick() {
    Silently([&] {
        if (!FPage || !FHost || !FHost->Choosers()) return;
        TPageModel* page = FPage;
        auto choice = FHost->Choosers()->ChooseText(page->Slot(mkText).File, FHost->TxtMaxLen());
        if (!choice || FPage != page) return;
        // The colours come first, so a blank text takes them too; they are the
        // page's look, kept with the page and not with the frame that shows it.
        page->FTextPanelColor = BgrFromColor(choice->BackgroundColour);
        page->FTextFontColor = BgrFromColor(choice->TextColour);
        Refresh();

        if (Trim(choice->Text).empty()) {
            page->ClearMedia(mkText);
            return;
        }
        const std::string path = FHost->Intake().TakeText(choice->Text);
        if (path.empty()) return;
        page->SetMedia(path, "", "", "", 0);
        if (choice->TimeMode != 1 && choice->TimeMode != 2) return;
        const std::optional<int32_t> t = ReadingTimeSecs(choice->Text, FHost->TxtTimeOptPs());
        if (!t) return;
        SetSeconds(choice->TimeMode == 1 ? int64_t(*t) + page->FPlayTime : int64_t(*t));
    });
}

void TFrameDispaly::SBAduioClick() {
    Silently([&] {
        if (!FPage || !FHost || !FHost->Choosers()) return;
        TPageModel* page = FPage;
        auto choice = FHost->Choosers()->ChooseAudio(page->Slot(mkAudio).File);
        if (!choice || choice->File.empty() || FPage != page) return;
        // The clip is named where it lies: no working copy.
        page->SetMedia("", "", GetSendAudioFile(choice->File), "", 0);
        const std::string playable = GetPlayableAudioFile(choice->File);
        if (playable.empty() || (choice->TimeMode != 1 && choice->TimeMode != 2)) return;
        MediaPlayer* player = FHost->Player();
        if (!player) return;

        std::optional<int64_t> lengthMs;
        try {
            player->Open(playable);
            lengthMs = player->LengthMs();
        } catch (const std::exception&) {
            // Not measurable: the clip stays, the duration too.
        }
        try {
            player->Stop();
        } catch (const std::exception&) {
        }
        try {
            player->Close();
        } catch (const std::exception&) {
        }
        if (!lengthMs) return;
        const int64_t secs = std::max<int64_t>(1, *lengthMs / 1000);
        SetSeconds(choice->TimeMode == 1 ? secs + page->FPlayTime : secs);
    });
}

void TFrameDispaly::ImageADblClick() {
    Silently([&] {
        if (!FPage || !FHost || !FHost->Choosers()) return;
        TPageModel* page = FPage;
        auto chosen = FHost->Choosers()->ChoosePicture(page->Slot(mkPicture).File);
        if (!chosen || chosen->empty() || FPage != page) return;
        const std::string copy = CopyIntoTemp(*chosen, mkPicture);
        if (copy.empty()) return;
        page->SetMedia("", copy, "", "", 0);
    });
}

void TFrameDispaly::N3Click() {
    Silently([&] {
        if (!FPage || !FHost || !FHost->Choosers()) return;
        TPageModel* page = FPage;
        const std::string name = FHost->Choosers()->ChooseAttachment(this);
        if (name.empty() || FPage != page) return;
        const std::string copy = CopyIntoTemp(name, mkAttach);
        if (copy.empty()) return;
        // Whatever its kind, it goes into the attachment slot.
        page->SetMedia("", "", "", copy, 0);
    });
}

// ---- duration ----

void TFrameDispaly::StepPlayTime(int delta) {
    if (!FPage) return;
    QString typed = Editplaytime->text();
    typed.remove(QStringLiteral("秒"));
    int32_t v = 0;
    if (!TryStrToInt(Trim(typed.toStdString()), v)) return;
    // No upper bound but the integer's own.
    const int64_t next = std::clamp<int64_t>(int64_t(v) + delta, 1, INT32_MAX);
    FPage->FPlayTime = static_cast<int32_t>(next);
    FPage->FPlayTimeText = std::to_string(next) + "秒";
    FPage->FTypedPlayTime.reset();  // the edit shows the new value even when the text is the same
    Refresh();
}

void TFrameDispaly::SpinButton1UpClick() { StepPlayTime(+1); }

void TFrameDispaly::SpinButton1DownClick() { StepPlayTime(-1); }

// ---- drags ----

void TFrameDispaly::ImageADragOver() { GB1Click(); }

void TFrameDispaly::ImageADragDrop(const QMimeData* data) {
    Silently([&] {
        if (!data) return;
        if (data->hasFormat(kMaterialDragFormat)) {
            const QList<QUrl> urls = data->urls();
            if (urls.isEmpty() || !urls.first().isLocalFile() || !FHost) return;
            const std::string path = urls.first().toLocalFile().toStdString();
            std::error_code ec;
            if (path.empty() || std::filesystem::is_directory(path, ec)) return;
            FHost->AddMaterialFile(path);
            return;
        }
        // Another page dropped on the picture brings no file.
        if (!LastDropFile.empty()) LastDropFile.clear();
    });
}

// ---- the program's choosers ----

std::optional<TPageChoosers::TTextChoice> TChooserWindows::ChooseText(const std::string& currentFile,
                                                                     int32_t txtMaxLen) {
    if (!Text) return std::nullopt;
    Text->SetTxtMaxLen(txtMaxLen);
    if (!Text->LoadTextFile(currentFile)) return std::nullopt;
    if (Text->exec() != QDialog::Accepted) return std::nullopt;
    return TTextChoice{Text->Text(), Text->TextColour(), Text->BackgroundColour(), Text->TimeMode()};
}

std::optional<TPageChoosers::TAudioChoice> TChooserWindows::ChooseAudio(const std::string& currentFile) {
    if (!Audio) return std::nullopt;
    Audio->SetCurrentFile(currentFile);
    if (Audio->exec() != QDialog::Accepted) return std::nullopt;
    return TAudioChoice{Audio->SelAudioFile(), Audio->TimeMode()};
}

std::optional<std::string> TChooserWindows::ChoosePicture(const std::string& currentFile) {
    if (!Picture) return std::nullopt;
    Picture->SetCurrentFile(currentFile);
    if (Picture->exec() != QDialog::Accepted) return std::nullopt;
    return Picture->SelPicFile();
}

std::string TChooserWindows::ChooseAttachment(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent).toStdString();
}
