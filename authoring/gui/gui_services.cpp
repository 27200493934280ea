#include "gui_services.h"

#include <locale.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <exception>

namespace {

QMessageBox::StandardButtons ButtonsOf(TButtons buttons) {
    switch (buttons) {
        case TButtons::Ok:
            return QMessageBox::Ok;
        case TButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case TButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(TAnswer answer) {
    switch (answer) {
        case TAnswer::Yes:
            return QMessageBox::Yes;
        case TAnswer::No:
            return QMessageBox::No;
        case TAnswer::Cancel:
            return QMessageBox::Cancel;
        case TAnswer::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// The button pressed (a standard button's value; the dialog box buttons share
// the message box's values) as an answer.
TAnswer AnswerOf(int button, TButtons buttons) {
    switch (button) {
        case QMessageBox::Yes:
            return TAnswer::Yes;
        case QMessageBox::No:
            return TAnswer::No;
        case QMessageBox::Ok:
            return TAnswer::Ok;
        default:
            // Closed without a button: a question counts as refused.
            return buttons == TButtons::YesNo ? TAnswer::No
                   : buttons == TButtons::Ok  ? TAnswer::Ok
                                              : TAnswer::Cancel;
    }
}

QRect AvailableArea(QWidget* parent) {
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

// A box too tall for the screen: the same caption, icon, text and buttons, with
// the text in a scrolling area, so that the buttons stay within reach.
int ExecScrollingBox(QWidget* parent, const QString& caption, const QString& text, TButtons buttons,
                     TIcon icon, TAnswer defaultAnswer, const QRect& area) {
    QDialog box(parent);
    box.setObjectName("ScrollingMessageBox");
    box.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&box);
    auto* row = new QHBoxLayout;
    if (icon == TIcon::Information) {
        auto* iconLabel = new QLabel(&box);
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        iconLabel->setPixmap(
            box.style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, &box).pixmap(size, size));
        row->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    auto* scroll = new QScrollArea(&box);
    scroll->setObjectName("MessageScroll");
    scroll->setWidgetResizable(true);
    auto* label = new QLabel(text, scroll);
    label->setObjectName("MessageText");
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setContentsMargins(6, 6, 6, 6);
    scroll->setWidget(label);
    row->addWidget(scroll, 1);
    layout->addLayout(row);
    auto* bar = new QDialogButtonBox(QDialogButtonBox::StandardButtons(int(ButtonsOf(buttons))), &box);
    QObject::connect(bar, &QDialogButtonBox::clicked, &box,
                     [&box, bar](QAbstractButton* b) { box.done(int(bar->standardButton(b))); });
    if (QPushButton* chosen =
            bar->button(QDialogButtonBox::StandardButton(int(ButtonOf(defaultAnswer))))) {
        for (QAbstractButton* b : bar->buttons())
            if (auto* push = qobject_cast<QPushButton*>(b)) push->setAutoDefault(false);
        chosen->setDefault(true);
        chosen->setFocus();
    }
    layout->addWidget(bar);

    const int width = std::min(label->sizeHint().width() + 80, area.width() * 4 / 5);
    const int height = area.height() * 3 / 4;
    box.resize(std::max(width, 300), height);
    box.setMaximumHeight(area.height() * 9 / 10);
    box.move(area.center() - box.rect().center());
    return box.exec();
}

}  // namespace

TAnswer TMessageBoxQuestions::Ask(const std::string& caption, const std::string& text,
                                  TButtons buttons, TIcon icon, TAnswer defaultAnswer) {
    QWidget* parent = QApplication::activeWindow();
    const QString shown =
        QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QRect area = AvailableArea(parent);
    // Room for the caption, the margins and the buttons besides the text.
    const int textHeight = QFontMetrics(QApplication::font())
                               .boundingRect(QRect(0, 0, area.width() / 2, 1 << 24),
                                             Qt::TextWordWrap, shown)
                               .height();
    if (textHeight > area.height() - 200)
        return AnswerOf(ExecScrollingBox(parent, QString::fromStdString(caption), shown, buttons,
                                         icon, defaultAnswer, area),
                        buttons);

    QMessageBox box(icon == TIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    QString::fromStdString(caption), shown, ButtonsOf(buttons), parent);
    if (ButtonsOf(buttons) & ButtonOf(defaultAnswer)) box.setDefaultButton(ButtonOf(defaultAnswer));
    return AnswerOf(box.exec(), buttons);
}

void TEventPump::ProcessMessages() { QCoreApplication::processEvents(); }

TQuilmarApplication::TQuilmarApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TQuilmarApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        IgnoreException(e.what());
    }
    return false;
}

void TQuilmarApplication::IgnoreException(const std::string&) {}

TChineseToolkit::TChineseToolkit() {
    // Chinese dates, numbers and day names for every QLocale() of the program;
    // the toolkit's words from its Chinese catalogue (all modules, else the base).
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (FToolkitWords.load(QStringLiteral("qt_zh_CN"), folder) ||
        FToolkitWords.load(QStringLiteral("qtbase_zh_CN"), folder))
        QCoreApplication::installTranslator(&FToolkitWords);
    QCoreApplication::installTranslator(&FMissingWords);
    QCoreApplication::instance()->installEventFilter(this);
}

TChineseToolkit::~TChineseToolkit() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        QCoreApplication::removeTranslator(&FMissingWords);
        QCoreApplication::removeTranslator(&FToolkitWords);
    }
}

QSize TChineseToolkit::FileDialogSize() { return QSize(900, 560); }

void TChineseToolkit::UseChineseFormats() {
    // The file dialog takes its dates and sizes from the desktop's locale, not
    // from QLocale::setDefault: name Chinese for the parts of it that it reads.
    // A locale for everything (LC_ALL) would hide them; it stays in force for
    // the rest (the characters' encoding among them).
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qputenv("LANG", all);
        qunsetenv("LC_ALL");
    }
    // Only where the system has the Chinese locale: one it lacks would make the C
    // library refuse the desktop's locale as a whole (and the programs started
    // from here theirs), leaving plain ASCII for the characters.
    const struct {
        const char* Name;
        int Mask;
    } parts[] = {{"LC_TIME", LC_TIME_MASK},
                 {"LC_NUMERIC", LC_NUMERIC_MASK},
                 {"LC_MESSAGES", LC_MESSAGES_MASK}};
    for (const auto& part : parts) {
        const locale_t chinese = ::newlocale(part.Mask, "zh_CN.UTF-8", locale_t(0));
        if (!chinese) continue;
        ::freelocale(chinese);
        qputenv(part.Name, "zh_CN.UTF-8");
    }
}

void TChineseToolkit::FitFileDialog(QFileDialog* dialog) {
    const QRect area = AvailableArea(dialog);
    const QSize wanted = FileDialogSize().boundedTo(area.size() * 9 / 10);
    if (dialog->width() < wanted.width() || dialog->height() < wanted.height()) {
        dialog->resize(dialog->size().expandedTo(wanted));
        dialog->move(area.center() - dialog->rect().center());
    }
    // The name takes the room the size, kind and date leave.
    if (auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        if (header->count() < 4) return;
        const QFontMetrics fm(view->font());
        const int pad = 3 * fm.averageCharWidth();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->resizeSection(1, fm.horizontalAdvance(QStringLiteral("1,023.9 KB")) + pad);
        header->resizeSection(2, fm.horizontalAdvance(QStringLiteral("纯文本文档文件")) + pad);
        header->resizeSection(3, fm.horizontalAdvance(QStringLiteral("2026/12/31 23:59:59")) + pad);
    }
}

bool TChineseToolkit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show)
        if (auto* dialog = qobject_cast<QFileDialog*>(watched)) FitFileDialog(dialog);
    return QObject::eventFilter(watched, event);
}

QString TChineseToolkit::TMissingWords::translate(const char* context, const char* sourceText,
                                                  const char*, int) const {
    // The kinds in the file dialog's type column.
    if (std::strcmp(context, "QAbstractFileIconProvider") != 0 || !sourceText) return {};
    static const struct {
        const char* English;
        const char* Chinese;
    } kWords[] = {{"Folder", "文件夹"},   {"File", "文件"},         {"Drive", "驱动器"},
                  {"%1 File", "%1 文件"}, {"Shortcut", "快捷方式"}, {"Alias", "别名"},
                  {"Unknown", "未知"}};
    for (const auto& word : kWords)
        if (std::strcmp(sourceText, word.English) == 0) return QString::fromUtf8(word.Chinese);
    return {};
}
