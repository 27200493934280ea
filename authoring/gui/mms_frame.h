// One page of the message on the main window's page panel. The page's data and
// rules live in TPageModel (owned by the maker's page list); this frame shows
// them and turns clicks into calls on the model.
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QPoint>
#include <cstdint>
#include <optional>
#include <string>

#include "page_model.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QToolButton;
class MediaPlayer;
class TMaterialIntake;
class TFrmAudioSel;
class TfrmPicsel;
class TFrmtextSel;

// Full path of the file of the drop being (or last) processed.
extern std::string LastDropFile;

// Drag formats of the program's own drags: an entry of the material list (the
// drag also carries its file URL) and a page frame.
extern const char* const kMaterialDragFormat;
extern const char* const kPageDragFormat;

// The material choosers that every page shares. Each call presets the chooser
// with the page's current file, shows it modally and gives its result only when
// it was confirmed; nothing means cancelled.
class TPageChoosers {
public:
    virtual ~TPageChoosers() = default;

    struct TTextChoice {
        std::string Text;  // UTF-8, "\n" line breaks
        QColor TextColour;
        QColor BackgroundColour;
        int TimeMode = 3;  // 1 add, 2 recompute, 3 keep the duration
    };
    struct TAudioChoice {
        std::string File;  // empty: nothing chosen
        int TimeMode = 3;
    };

    virtual std::optional<TTextChoice> ChooseText(const std::string& currentFile,
                                                  int32_t txtMaxLen) = 0;
    virtual std::optional<TAudioChoice> ChooseAudio(const std::string& currentFile) = 0;
    // Empty text in the result: nothing chosen.
    virtual std::optional<std::string> ChoosePicture(const std::string& currentFile) = 0;
    // Any one file for the attachment slot; empty when cancelled.
    virtual std::string ChooseAttachment(QWidget* parent) = 0;
};

// The program's choosers: the three windows, created once after the main window.
class TChooserWindows : public TPageChoosers {
public:
    TFrmtextSel* Text = nullptr;
    TFrmAudioSel* Audio = nullptr;
    TfrmPicsel* Picture = nullptr;

    std::optional<TTextChoice> ChooseText(const std::string& currentFile, int32_t txtMaxLen) override;
    std::optional<TAudioChoice> ChooseAudio(const std::string& currentFile) override;
    std::optional<std::string> ChoosePicture(const std::string& currentFile) override;
    std::string ChooseAttachment(QWidget* parent) override;
};

// What a page frame reaches beyond itself: the strip it stands on (material onto
// the current page, the current page's deletion), the material intake, and what
// the pages share (the choosers, the media player, two settings).
class TPageFrameHost {
public:
    virtual ~TPageFrameHost() = default;
    // Working copies of material in the temporary folder.
    virtual TMaterialIntake& Intake() = 0;
    // Puts a material file onto the target page by its kind.
    virtual bool AddMaterialFile(const std::string& path) = 0;
    virtual void DeleteCurrentPage() = 0;
    // None: the pages' choosing does nothing.
    virtual TPageChoosers* Choosers() = 0;
    virtual MediaPlayer* Player() = 0;
    virtual int32_t TxtMaxLen() const = 0;
    virtual int32_t TxtTimeOptPs() const = 0;
};

class TFrameDispaly : public QFrame, public TPageView {
    Q_OBJECT
public:
    // host: what the frame reaches beyond itself; without one the material
    // handlers do nothing.
    explicit TFrameDispaly(TPageFrameHost* host = nullptr, QWidget* parent = nullptr);
    // Unbinds from the page; the page itself belongs to the page list.
    ~TFrameDispaly() override;

    // Binds the frame to its page (or to none) and shows the page's data.
    // picture: the page's picture decoded for the box already (a null one: it
    // cannot be shown); without it the frame decodes the picture itself.
    void SetPage(TPageModel* page, const QImage* picture = nullptr);
    // The page's picture as the picture box shows it; throws when it cannot be
    // decoded. Touches no widget: it may run on another thread.
    static QImage BoxPicture(const std::string& path, int side);
    // The side of the square the box's picture is decoded to fit.
    int BoxSide() const;
    TPageModel* Page() const { return FPage; }
    // Drops the binding without touching the page, for a page already freed.
    void ForgetPage() { FPage = nullptr; }
    // The keyboard focus leaves the frame when it is inside: what is typed into a
    // frame that takes another page would land on that page.
    void LetFocusGo();

    void PageChanged(TPageModel& page) override;
    void ShowPicture(TPageModel& page, const std::string& path) override;

    // Handlers, named after their controls and events. Errors end them silently;
    // what was done before the error stays done.
    // Click on the group box, the picture or the duration panel.
    void GB1Click();
    void SBMemuMouseUp();
    void PopupMenuBPopup();
    void SBTextClick();
    void SBTextDblClick();
    void SBAduioClick();
    void SBAduioDblClick();
    void ImageADblClick();
    void N3Click();
    void SBDelCurrentPageClick();
    void SpinButton1UpClick();
    void SpinButton1DownClick();
    void ImageADragOver();
    void ImageADragDrop(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Refresh(const QImage* picture = nullptr);
    void StepPlayTime(int delta);
    // Sets the duration in seconds as the time modes compute it.
    void SetSeconds(int64_t seconds);
    // A working copy of source in the temporary folder for a slot of that kind;
    // empty when it could not be made (the user has been told).
    std::string CopyIntoTemp(const std::string& source, TMediaKind kind);

    TPageFrameHost* FHost = nullptr;
    TPageModel* FPage = nullptr;
    // The text button's font colour for a page whose text colours were never chosen.
    QColor FTextFontDefault;
    QPoint FPressPos;
    bool FPressed = false;

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
