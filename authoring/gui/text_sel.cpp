#include "text_sel.h"

#include <QColorDialog>
#include <QEvent>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "chooser_browser.h"
#include "chooser_rules.h"
#include "shared_procs.h"

namespace {

const QColor kCream(0xFF, 0xFB, 0xF0);

// Editor text from file text: every CR LF or lone CR becomes "\n".
QString EditorText(const std::string& utf8) {
    QString s = QString::fromStdString(utf8);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

}  // namespace

TFrmtextSel::TFrmtextSel(TMessagePump& pump, int32_t txtMaxLen, const std::string& textDir,
                         QWidget* parent)
    : QDialog(parent), pump_(pump), txtMaxLen_(txtMaxLen), openFolder_(OpenFolderInFileBrowser) {
    setObjectName("FrmtextSel");
    setWindowTitle("文本编辑");
    resize(581, 482);

    chooseSize_ = [this](int current) -> std::optional<int> {
        bool ok = false;
        QFont f = font();
        f.setPointSize(current);
        QFont chosen = QFontDialog::getFont(&ok, f, this);
        if (!ok) return std::nullopt;
        return chosen.pointSize();
    };
    chooseColour_ = [this](QColor current) -> std::optional<QColor> {
        QColor c = QColorDialog::getColor(current, this);
        if (!c.isValid()) return std::nullopt;
        return c;
    };

    auto* groupBox1 = new QGroupBox("文本区域", this);
    groupBox1->setObjectName("GroupBox1");
    memo_ = new QPlainTextEdit(groupBox1);
    memo_->setObjectName("Memotext");
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    {
        QPalette pal = memo_->palette();
        pal.setColor(QPalette::Base, kCream);
        pal.setColor(QPalette::Text, Qt::black);
        memo_->setPalette(pal);
        QFont f = memo_->font();
        f.setPointSize(9);
        memo_->setFont(f);
    }
    memo_->viewport()->installEventFilter(this);
    auto* g = new QVBoxLayout(groupBox1);
    g->addWidget(memo_);

    auto* split = new QSplitter(this);
    browser_ = new TFolderBrowser(split, true);
    split->addWidget(browser_->Tree());
    split->addWidget(browser_->List());

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("StatusBar");
    statusBar->setSizeGripEnabled(false);
    AddStatusPanel(statusBar, "StatusPanel0", "文本长度", 60);
    panelLen_ = AddStatusPanel(statusBar, "StatusPanel1", "", 100, true);
    AddStatusPanel(statusBar, "StatusPanel2", "文件名", 60);
    panelPath_ = AddStatusPanel(statusBar, "StatusPanel3", "", 100);

    auto* buttons = new QWidget(this);
    auto* bitBtn4 = new QPushButton("文字参数", buttons);
    bitBtn4->setObjectName("BitBtn4");
    auto* bitBtn3 = new QPushButton("确定并优化播放时间", buttons);
    bitBtn3->setObjectName("BitBtn3");
    auto* bitBtn1 = new QPushButton("确定", buttons);
    bitBtn1->setObjectName("BitBtn1");
    auto* bitBtn2 = new QPushButton("取消", buttons);
    bitBtn2->setObjectName("BitBtn2");
    auto* speedButton1 = new QPushButton("文本路径", buttons);
    speedButton1->setObjectName("SpeedButton1");
    speedButton1->setFlat(true);
    SetTextColour(speedButton1, QColor(0x00, 0x00, 0xFF));
    for (auto* b : {bitBtn4, bitBtn3, bitBtn2, speedButton1}) b->setAutoDefault(false);
    bitBtn1->setDefault(true);
    auto* b = new QHBoxLayout(buttons);
    b->addWidget(speedButton1);
    b->addStretch(1);
    for (auto* w : {bitBtn4, bitBtn3, bitBtn1, bitBtn2}) b->addWidget(w);

    popup1_ = new QMenu(this);
    popup1_->setObjectName("PopupMenu1");
    QAction* n2 = popup1_->addAction("重新计算");
    n2->setObjectName("N2");
    QAction* n1 = popup1_->addAction("叠加时间");
    n1->setObjectName("N1");
    popup2_ = new QMenu(this);
    popup2_->setObjectName("PopupMenu2");
    QAction* n3 = popup2_->addAction("文字大小");
    n3->setObjectName("N3");
    QAction* n4 = popup2_->addAction("文字颜色");
    n4->setObjectName("N4");
    QAction* n5 = popup2_->addAction("文字背景");
    n5->setObjectName("N5");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(groupBox1, 1);
    layout->addWidget(split, 1);
    layout->addWidget(statusBar);
    layout->addWidget(buttons);

    connect(memo_, &QPlainTextEdit::textChanged, this, &TFrmtextSel::MemotextChange);
    connect(bitBtn1, &QPushButton::clicked, this, &TFrmtextSel::BitBtn1Click);
    connect(bitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    PopUpOnMouseRelease(bitBtn3, popup1_);
    PopUpOnMouseRelease(bitBtn4, popup2_);
    connect(speedButton1, &QPushButton::clicked, this, &TFrmtextSel::SpeedButton1Click);
    connect(n1, &QAction::triggered, this, &TFrmtextSel::N1Click);
    connect(n2, &QAction::triggered, this, &TFrmtextSel::N2Click);
    connect(n3, &QAction::triggered, this, &TFrmtextSel::N3Click);
    connect(n4, &QAction::triggered, this, &TFrmtextSel::N4Click);
    connect(n5, &QAction::triggered, this, &TFrmtextSel::N5Click);
    connect(browser_->List(), &QListView::clicked, this, &TFrmtextSel::SLVDataClick);
    connect(browser_->List(), &QListView::doubleClicked, this, &TFrmtextSel::SLVDataDblClick);

    browser_->OpenFolder(textDir);
    MemotextChange();
}

void TFrmtextSel::SetTxtMaxLen(int32_t maxLen) {
    txtMaxLen_ = maxLen;
    MemotextChange();
}

void TFrmtextSel::SetEditorText(const std::string& utf8) { memo_->setPlainText(EditorText(utf8)); }

bool TFrmtextSel::LoadTextFile(const std::string& path) {
    selTextFile_ = path;
    panelPath_->setText(QString::fromStdString(path));
    memo_->clear();
    bool ok = true;
    if (!path.empty()) {
        try {
            SetEditorText(LoadEditorText(path));
        } catch (const std::exception&) {
            ok = false;
        }
    }
    pump_.ProcessMessages();
    return ok;
}

std::string TFrmtextSel::Text() const { return memo_->toPlainText().toStdString(); }
QColor TFrmtextSel::TextColour() const { return memo_->palette().color(QPalette::Text); }
QColor TFrmtextSel::BackgroundColour() const { return memo_->palette().color(QPalette::Base); }

void TFrmtextSel::SLVDataClick() {
    const std::string path = browser_->SelectedPath();
    if (path.empty() || browser_->SelectedIsFolder() || !IsTextFile(path)) return;
    TClickedText loaded;
    try {
        loaded = NormaliseClickedTextFile(path);
    } catch (const std::exception& e) {
        // A file that cannot be read or rewritten is left as it was, and so is the
        // editor; the user learns why.
        if (questions_)
            questions_->Ask("提示", "无法载入文本文件：" + path + "\r\n" + e.what(), TButtons::Ok,
                            TIcon::Information);
        return;
    }
    selTextFile_ = path;
    panelPath_->setText(QString::fromStdString(path));
    SetEditorText(loaded.Utf8Text);
}

void TFrmtextSel::SLVDataDblClick() {
    if (browser_->SelectedIsFolder()) browser_->OpenFolder(browser_->SelectedPath());
    timeMode_ = 3;
    accept();
}

void TFrmtextSel::MemotextChange() {
    textLen_ = CountTextUnits(Text());
    const bool over = textLen_ > txtMaxLen_;
    panelLen_->setText(QString::fromStdString(TextLengthCaption(textLen_, txtMaxLen_)));
    SetTextColour(panelLen_, over ? QColor(Qt::red) : QColor(Qt::black));
}

void TFrmtextSel::MemotextDblClick() { memo_->clear(); }

bool TFrmtextSel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        MemotextDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmtextSel::BitBtn1Click() {
    timeMode_ = 3;
    accept();
}

void TFrmtextSel::N2Click() {
    timeMode_ = 2;
    accept();
}

void TFrmtextSel::N1Click() {
    timeMode_ = 1;
    accept();
}

void TFrmtextSel::N3Click() {
    QFont f = memo_->font();
    if (auto size = chooseSize_(f.pointSize()); size && *size > 0) {
        f.setPointSize(*size);
        memo_->setFont(f);
    }
}

void TFrmtextSel::N4Click() {
    if (auto c = chooseColour_(TextColour())) {
        QPalette pal = memo_->palette();
        pal.setColor(QPalette::Text, *c);
        memo_->setPalette(pal);
    }
}

void TFrmtextSel::N5Click() {
    if (auto c = chooseColour_(BackgroundColour())) {
        QPalette pal = memo_->palette();
        pal.setColor(QPalette::Base, *c);
        memo_->setPalette(pal);
    }
}

void TFrmtextSel::SpeedButton1Click() {
    const std::string dir = ExistingFolderOf(panelPath_->text().toStdString());
    if (!dir.empty()) openFolder_(dir);
}
