// One page of the message on the main window's page panel. The page's data and
// rules live in TPageModel (owned by the maker's page list); this frame shows
// them and turns clicks into calls on the model.
#pragma once

#include <QFrame>
#include <cstdint>
#include <string>

#include "page_model.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

// Full path of the file of the drop being (or last) processed.
extern std::string LastDropFile;

// 0x00BBGGRR, as the settings hold colours.
QColor PageColor(uint32_t bgr);

class TFrameDispaly : public QFrame, public TPageView {
    Q_OBJECT
public:
    explicit TFrameDispaly(QWidget* parent = nullptr);
    // Unbinds from the page; the page itself belongs to the page list.
    ~TFrameDispaly() override;

    // Binds the frame to its page (or to none) and shows the page's data.
    void SetPage(TPageModel* page);
    TPageModel* Page() const { return FPage; }
    // Drops the binding without touching the page, for a page already freed.
    void ForgetPage() { FPage = nullptr; }

    void PageChanged(TPageModel& page) override;
    void ShowPicture(TPageModel& page, const std::string& path) override;

    // Click on the group box, the picture or the duration panel.
    void GB1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refresh();

    TPageModel* FPage = nullptr;
    QGroupBox* GB1;
    QFrame* Panel32;
    QLabel* Panel3;
    QLabel* ImageA;
    QFrame* Paneltext;
    QToolButton* SBText;
    QFrame* Panel1;
    QToolButton* SBAduio;
    QFrame* Panel33;
    QLineEdit* Editplaytime;
    QWidget* SpinButton1;
    QToolButton* SBMemu;
    QMenu* PopupMenuB;
};
