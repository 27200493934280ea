#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "custom_compiler.h"
#include "gui_colours.h"
#include "mms_frame.h"
#include "shared_procs.h"
#include "text_codec.h"
#include "working_copy.h"

namespace fs = std::filesystem;

const char* const Tfrmmms::kHelpText =
    "【使用帮助】 \r\n"
    "\r\n"
    "1。支持拖放选择素材 \r\n"
    "2。支持的素材格式文本(txt),音频(zur,wav,mid,mp3),图片(jpg,png,bmp,gif),其它类型将于附件格式发送 \r\n"
    "3。彩信大小不建议超过100K \r\n"
    "4。如果采用自定义彩信制作，需要把所有的彩信素材放到自定义彩信目录,包括smil文件";

namespace {
QFrame* Panel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    return p;
}

QToolButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setAutoRaise(true);
    return b;
}

bool IsMessageFile(const std::string& path) {
    std::string e = LowerAscii(ExtractFileExt(path));
    return e == ".mms" || e == ".dat";
}

// The page panel: takes files dropped from the desktop's file browser; a drop on
// a page arrives here too, since the pages do not take file drops themselves.
class TDropPanel : public QFrame {
public:
    std::function<void(const QStringList&)> OnDrop;
    using QFrame::QFrame;

protected:
    static QStringList LocalFiles(const QMimeData* data) {
        QStringList files;
        // The program's own drags (material list, pages) are the pages' business.
        if (!data || !data->hasUrls() || data->hasFormat(kMaterialDragFormat) ||
            data->hasFormat(kPageDragFormat))
            return files;
        for (const QUrl& u : data->urls())
            if (u.isLocalFile()) files << u.toLocalFile();
        return files;
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (!LocalFiles(e->mimeData()).isEmpty()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (!LocalFiles(e->mimeData()).isEmpty()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        QStringList files = LocalFiles(e->mimeData());
        if (files.isEmpty()) return;
        e->acceptProposedAction();
        if (OnDrop) OnDrop(files);
    }
};

// Tabs drawn by the program: the active one lime, the others in the button face.
class TTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override {
        QSize s = QTabBar::tabSizeHint(index);
        return {s.width() + 10, s.height() + 4};
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int i = 0; i < count(); ++i) {
            QRect r = tabRect(i);
            p.fillRect(r, i == currentIndex() ? QColor(0, 255, 0) : palette().color(QPalette::Button));
            p.setPen(Qt::black);
            p.drawText(r.adjusted(5, 5, 0, 0), Qt::AlignLeft | Qt::AlignTop, tabText(i));
        }
    }
};

// The material list's drags carry, beside the file's URL, the mark that the
// pages take them by.
class TMaterialModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    QStringList mimeTypes() const override {
        return QFileSystemModel::mimeTypes() << QString::fromLatin1(kMaterialDragFormat);
    }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        QMimeData* data = QFileSystemModel::mimeData(indexes);
        if (data) data->setData(QString::fromLatin1(kMaterialDragFormat), QByteArray("1"));
        return data;
    }
};

class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent) : QTabWidget(parent) { setTabBar(new TTabBar(this)); }
};
}  // namespace

Tfrmmms::Tfrmmms(const std::string& programDir, TQuestions& questions, TMessagePump& pump,
                 TRandomSource& random, QWidget* parent)
    : QMainWindow(parent),
      FFolders(TProgramFolders::Form(programDir)),
      FQuestions(questions),
      FPump(pump),
      FRandom(random) {
    FOpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    FStartDetached = [](const QString& program) { return QProcess::startDetached(program, {}); };
    FCursorPos = [] { return QCursor::pos(); };
    // "打开彩信文件" opens in the output folder the first time, then where the
    // user last was (the one dialog keeps its folder).
    FChooseMessageFile = [this, dialog = static_cast<QFileDialog*>(nullptr)]() mutable {
        if (!dialog) {
            dialog = new QFileDialog(this, QString(), QString::fromStdString(OutputDir));
            dialog->setObjectName("OpenDialog3");
            dialog->setFileMode(QFileDialog::ExistingFile);
        }
        return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
    };
    FChooseTextFiles = [this] {
        return QFileDialog::getOpenFileNames(this, QString(), QString(), QStringLiteral("文本 (*.txt)"));
    };
    FChooseSplitFiles = [this](const QString& dir) {
        return QFileDialog::getOpenFileNames(this, QString(), dir, QStringLiteral("文本 (*.txt)"));
    };

    BuildWindow();

    const bool customIsNew = FFolders.Ensure();
    FMaker = std::make_unique<TMmsMaker>(FRandom, TempDir);
    FMaker->FPages.Pump = &FPump;
    FIntake = std::make_unique<TMaterialIntake>(TempDir, FRandom, FQuestions, FMaker->FPages);
    FStrip = std::make_unique<TPageStrip>(TPageStrip::TLent{FMaker->FPages, *PanelmmsEdit,
                                                            *LabelPageInfo, *FIntake, FQuestions,
                                                            FSettings, FChoosers, FMediaPlayer});
    BuildSettingsTabs();
    if (customIsNew) {
        try {
            WriteHeaderTemplate();
        } catch (const std::exception&) {
            // The custom compiler reads without the template as well.
        }
    }
    try {
        LoadSettings();
        ShowSettings();
    } catch (const std::exception&) {
        // The first-run values stay in force; the start goes on.
    }
    if (FTreeModel) {
        QModelIndex material = FTreeModel->index(QString::fromStdString(MaterialDir));
        STVData->setCurrentIndex(material);
        STVData->scrollTo(material);
    }
    try {
        LoadSmilTemplates();
    } catch (const std::exception&) {
    }
    PanelmmsEdit->setAcceptDrops(true);

    const std::string autosave = ConfigDir + kAutosaveName;
    FAutosaveHeld = !ReadAutosave(*FMaker, autosave, FQuestions, [&] { ReadMessage(autosave); });
}

Tfrmmms::~Tfrmmms() {
    ClearTempFolder();
    PanelmmsEdit->setAcceptDrops(false);
    FStrip.reset();
    FMaker.reset();
}

void Tfrmmms::BuildWindow() {
    setWindowTitle(QStringLiteral("Quilmar 1.3"));
    resize(757, 602);
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(central);

    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setObjectName("Splitter1");
    centralLayout->addWidget(Splitter1);

    Panel5 = Panel(Splitter1, "Panel5");
    PaintBackground(Panel5, QColor(Qt::white));
    Panel5->setMinimumHeight(305);
    auto* p5 = new QVBoxLayout(Panel5);
    p5->setContentsMargins(0, 0, 0, 0);
    p5->setSpacing(0);

    Panelmms = Panel(Panel5, "Panelmms");
    PaintBackground(Panelmms, clCream);
    auto* strip = new QHBoxLayout(Panelmms);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    auto* panel11 = Panel(Panelmms, "Panel11");
    panel11->setFixedWidth(30);
    auto* p11 = new QVBoxLayout(panel11);
    p11->setContentsMargins(0, 0, 0, 0);
    SBBack = Button(panel11, "SBBack", QStringLiteral("<"));
    SBBack->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    p11->addWidget(SBBack);
    strip->addWidget(panel11);

    auto* dropPanel = new TDropPanel(Panelmms);
    dropPanel->setObjectName("PanelmmsEdit");
    dropPanel->OnDrop = [this](const QStringList& files) { DropFiles(files); };
    PanelmmsEdit = dropPanel;
    PaintBackground(PanelmmsEdit, clCream);
    PanelmmsEdit->setMinimumSize(TPageStrip::kVisiblePages * TPageStrip::kPageStep + 3,
                                 TPageStrip::kPageHeight + 6);
    strip->addWidget(PanelmmsEdit, 1);

    auto* panel1 = Panel(Panelmms, "Panel1");
    panel1->setFixedWidth(30);
    auto* p1 = new QVBoxLayout(panel1);
    p1->setContentsMargins(0, 0, 0, 0);
    SBNEXT = Button(panel1, "SBNEXT", QStringLiteral(">"));
    SBNEXT->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    p1->addWidget(SBNEXT);
    strip->addWidget(panel1);
    p5->addWidget(Panelmms, 1);

    auto* panel10 = Panel(Panel5, "Panel10");
    panel10->setFixedHeight(33);
    auto* p10 = new QHBoxLayout(panel10);
    p10->setContentsMargins(8, 2, 8, 2);
    LabelPageInfo = new QLabel(QStringLiteral("总页数:0"), panel10);
    LabelPageInfo->setObjectName("LabelPageInfo");
    p10->addWidget(LabelPageInfo);
    p10->addSpacing(20);
    SBNewPage = Button(panel10, "SBNewPage", QStringLiteral("创建新页"));
    SBDelCurrentPage = Button(panel10, "SBDelCurrentPage", QStringLiteral("删除当前页"));
    SBMakemms = Button(panel10, "SBMakemms", QStringLiteral("制作彩信"));
    for (QToolButton* b : {SBNewPage, SBDelCurrentPage, SBMakemms}) {
        b->setAutoRaise(false);
        p10->addWidget(b);
    }
    EditmmsTitle = new QLineEdit(panel10);
    EditmmsTitle->setObjectName("EditmmsTitle");
    EditmmsTitle->setFrame(false);
    EditmmsTitle->setReadOnly(true);
    QFont titleFont = EditmmsTitle->font();
    titleFont.setBold(true);
    titleFont.setItalic(true);
    EditmmsTitle->setFont(titleFont);
    EditmmsTitle->setVisible(false);
    p10->addWidget(EditmmsTitle, 1);
    p10->addStretch();
    p5->addWidget(panel10);

    PageControl1 = new TPageControl(Splitter1);
    PageControl1->setObjectName("PageControl1");
    struct Tab {
        QWidget** sheet;
        const char* name;
        const char* caption;
    };
    const Tab tabs[] = {{&TabSheet6, "TabSheet6", "彩信头"},
                        {&TabSheet7, "TabSheet7", "SMIL代码"},
                        {&TabSheet1, "TabSheet1", " 素材 "},
                        {&TabSheet2, "TabSheet2", "输出设置"},
                        {&TabSheet3, "TabSheet3", "系统配置"}};
    for (const Tab& t : tabs) {
        *t.sheet = new QWidget(PageControl1);
        (*t.sheet)->setObjectName(t.name);
        PageControl1->addTab(*t.sheet, QString::fromUtf8(t.caption));
    }
    BuildMaterialBrowser(TabSheet1);

    Splitter1->addWidget(Panel5);
    Splitter1->addWidget(PageControl1);
    Splitter1->setCollapsible(0, false);
    Splitter1->setSizes({305, 250});

    BuildMenu();
    statusBar()->setObjectName("StatusBar1");

    connect(SBNewPage, &QToolButton::clicked, this, [this] { SBNewPageClick(); });
    connect(SBDelCurrentPage, &QToolButton::clicked, this, [this] { SBDelCurrentPageClick(); });
    connect(SBMakemms, &QToolButton::clicked, this, [this] { SBNewmmsClick(); });
    connect(SBNEXT, &QToolButton::clicked, this, [this] { SBNEXTClick(); });
    connect(SBBack, &QToolButton::clicked, this, [this] { SBBackClick(); });
}

void Tfrmmms::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto item = [this](QMenu* menu, const char* name, const char* caption,
                       void (Tfrmmms::*handler)() = nullptr) {
        QAction* a = caption ? menu->addAction(QString::fromUtf8(caption)) : menu->addSeparator();
        a->setObjectName(name);
        if (handler) connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };
    auto submenu = [](QMenu* menu, const char* name, const char* caption) {
        QMenu* sub = menu->addMenu(QString::fromUtf8(caption));
        sub->setObjectName(name);
        sub->menuAction()->setObjectName(QString::fromUtf8(name) + "Action");
        return sub;
    };

    QMenu* file = bar->addMenu(QStringLiteral("文件"));
    file->setObjectName("MenuFile");
    item(file, "N5", "打开彩信文件", &Tfrmmms::N5Click);
    item(file, "N26", nullptr);
    item(file, "N10", "关闭", &Tfrmmms::N10Click);

    QMenu* tools = bar->addMenu(QStringLiteral("工具"));
    tools->setObjectName("MenuTools");
    item(tools, "N8", "新建彩信", &Tfrmmms::N8Click);
    item(tools, "N24", "彩信页向前切换", &Tfrmmms::N24Click);
    item(tools, "N4", "彩信页向后切换", &Tfrmmms::N4Click);
    item(tools, "N9", nullptr);
    QMenu* convert = submenu(tools, "N30", "文本格式转换");
    item(convert, "N31", "文本->ANSI文本", &Tfrmmms::N31Click);
    item(convert, "UTF81", "文本->UTF8文本", &Tfrmmms::UTF81Click);
    item(convert, "Unicode1", "文本->Unicode文本", &Tfrmmms::Unicode1Click);
    item(tools, "N29", "文本分割", &Tfrmmms::N29Click);
    item(tools, "N17", nullptr);
    QMenu* folders = submenu(tools, "N28", "文件夹");
    struct Shortcut {
        const char* name;
        const char* caption;
        const std::string* dir;
    };
    const Shortcut shortcuts[] = {{"N7", "系统文件夹", &FFolders.ProgramDir},
                                  {"N14", "临时目录", &FFolders.TempDir},
                                  {"N11", "彩信目录", &FFolders.OutputDir},
                                  {"N12", "素材目录", &FFolders.MaterialDir},
                                  {"N13", "配置目录", &FFolders.ConfigDir}};
    for (const Shortcut& s : shortcuts) {
        QAction* a = item(folders, s.name, s.caption);
        const std::string* dir = s.dir;
        connect(a, &QAction::triggered, this, [this, dir] { OpenFolder(*dir); });
    }
    item(tools, "N16", nullptr);
    item(tools, "N15", "删除临时目录内容 ", &Tfrmmms::N15Click);
    item(tools, "N25", nullptr);
    item(tools, "N3", "音频转换工具", &Tfrmmms::N3Click);
    item(tools, "N33", nullptr);
    item(tools, "N32", "自定义彩信制作", &Tfrmmms::N32Click);

    QMenu* help = bar->addMenu(QStringLiteral("帮助"));
    help->setObjectName("MenuHelp");
    item(help, "N27", "说明", &Tfrmmms::N27Click);
}

void Tfrmmms::BuildMaterialBrowser(QWidget* tab) {
    auto* layout = new QHBoxLayout(tab);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* split = new QSplitter(Qt::Horizontal, tab);
    layout->addWidget(split);

    FTreeModel = new QFileSystemModel(this);
    FTreeModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    FTreeModel->setRootPath(QStringLiteral("/"));
    STVData = new QTreeView(split);
    STVData->setObjectName("STVData");
    STVData->setModel(FTreeModel);
    STVData->setHeaderHidden(true);
    for (int c = 1; c < FTreeModel->columnCount(); ++c) STVData->hideColumn(c);

    FListModel = new TMaterialModel(this);
    FListModel->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    SLVData = new QListView(split);
    SLVData->setObjectName("SLVData");
    SLVData->setModel(FListModel);
    SLVData->setSelectionMode(QAbstractItemView::SingleSelection);
    SLVData->setDragEnabled(true);
    SLVData->setDragDropMode(QAbstractItemView::DragOnly);
    split->setSizes({220, 520});

    // The list follows the tree's current folder.
    connect(STVData->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                QString dir = FTreeModel->filePath(current);
                SLVData->setRootIndex(FListModel->setRootPath(dir));
            });
    connect(SLVData, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        QString path = FListModel->filePath(index);
        if (FListModel->isDir(index)) {
            // A folder opens in place; material comes only from files.
            STVData->setCurrentIndex(FTreeModel->index(path));
            return;
        }
        SLVDataDblClick(path.toStdString());
    });
}

void Tfrmmms::ShowSubject(const std::string& subject) {
    if (Trim(subject).empty()) {
        EditmmsTitle->setVisible(false);
        return;
    }
    EditmmsTitle->setText(QString::fromStdString(subject));
    EditmmsTitle->setVisible(true);
}

void Tfrmmms::WriteHeaderTemplate() { ::WriteHeaderTemplate(CustomDir); }

void Tfrmmms::ClearTempFolder() { ::ClearTempFolder(TempDir); }

void Tfrmmms::FreeAutosaveName() {
    if (!FAutosaveHeld) return;
    const std::string autosave = ConfigDir + kAutosaveName;
    // Taken away meanwhile, or a name freed for keeping it aside since the start.
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(autosave, ec)) && !ec) {
        FAutosaveHeld = false;
        return;
    }
    if (!KeepUnreadAutosave(autosave, FQuestions))
        throw std::runtime_error("上次未能读取的自动保存彩信仍在原处，不能覆盖：" + autosave);
    FAutosaveHeld = false;
}

bool Tfrmmms::SaveOnClose() {
    try {
        FreeAutosaveName();
        FMaker->MakeMms(ConfigDir + kAutosaveName, kMaxAutosaveSize);
        SBSavecfgClick();
    } catch (const std::exception& e) {
        // The user learns why, and may still leave: what is on disk stays as it is.
        // Leaving loses the pages, so Enter stays.
        return FQuestions.Ask(
                   "提示",
                   std::string("无法保存制作内容：") + e.what() + "\r\n\r\n是否不保存，直接退出？",
                   TButtons::YesNo, TIcon::Information, TAnswer::No) == TAnswer::Yes;
    }
    return true;
}

bool Tfrmmms::FormCloseQuery() {
    if (FCloseHintMode == 0) return true;
    if (FCloseHintMode == 1) return SaveOnClose();
    // Enter saves: No is the answer that gives the pages up.
    switch (FQuestions.Ask("退出提示", "是否保存制作内容", TButtons::YesNoCancel,
                           TIcon::Information, TAnswer::Yes)) {
        case TAnswer::Yes:
            return SaveOnClose();
        case TAnswer::No:
            if (!FAutosaveHeld) TruncateAndRemove(ConfigDir + kAutosaveName);
            return true;
        default:
            return false;
    }
}

void Tfrmmms::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void Tfrmmms::N10Click() { close(); }

void Tfrmmms::N3Click() {
    const std::string zur = ProgramDir + "zur";
    std::error_code ec;
    if (fs::is_regular_file(zur, ec)) FStartDetached(QString::fromStdString(zur));
}

void Tfrmmms::N27Click() { FQuestions.Ask("提示", kHelpText, TButtons::Ok, TIcon::Information); }

void Tfrmmms::OpenFolder(const std::string& dir) {
    FOpenUrl(QUrl::fromLocalFile(QString::fromStdString(dir)));
}

void Tfrmmms::SelectPageUnderCursor() {
    FStrip->SelectPageAt(PanelmmsEdit->mapFromGlobal(FCursorPos()).x());
}

void Tfrmmms::OfferMessageFile(const std::string& path, bool& opened) {
    opened = false;
    if (!IsMessageFile(path)) return;
    // Reading replaces every page: with pages in the strip, Enter keeps them.
    const TAnswer safe = FMaker->FPages.Count() > 0 ? TAnswer::No : TAnswer::Yes;
    if (FQuestions.Ask("提示", "是否要显示彩信内容", TButtons::YesNo, TIcon::Information, safe) !=
        TAnswer::Yes)
        return;
    opened = true;
    ReadMessage(path);
}

void Tfrmmms::ReadMessage(const std::string& path) {
    // The strip is laid out and drawn once, when the read is done: a page made
    // on show would decode its picture, and no one can follow thousands of pages
    // going by. Input is still taken, the page count still runs.
    PanelmmsEdit->setUpdatesEnabled(false);
    FStrip->HoldLayout();
    try {
        FMaker->LoadMms(path, *this);
    } catch (...) {
        FStrip->ReleaseLayout();
        PanelmmsEdit->setUpdatesEnabled(true);
        throw;
    }
    FStrip->ReleaseLayout();
    PanelmmsEdit->setUpdatesEnabled(true);
}

void Tfrmmms::SLVDataDblClick(const std::string& path) {
    if (path.empty()) return;
    bool opened = false;
    OfferMessageFile(path, opened);
    if (!opened) AddMaterialFile(path);
}

void Tfrmmms::N5Click() {
    const QString file = FChooseMessageFile();
    if (file.isEmpty()) return;
    ReadMessage(file.toStdString());
}

void Tfrmmms::DropFiles(const QStringList& paths) {
    for (const QString& p : paths) {
        const std::string path = p.toStdString();
        LastDropFile = path;
        SelectPageUnderCursor();
        bool opened = false;
        OfferMessageFile(path, opened);
        if (opened) return;
        // A file that could not be taken ends the drop; the user has been told.
        if (!AddMaterialFile(path)) return;
    }
}
