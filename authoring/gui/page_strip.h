// The page strip: the row of pages on the main window's page panel, four of them
// on show at a time. It owns the frames of the pages on show and lays them out,
// keeps the scroll position, and does what the strip's buttons and menu items do
// to the row: a new page, deleting, moving and scrolling, a new message, the
// page at a place, and material onto the target page. The frames reach it, and
// what the window lends them, as their TPageFrameHost.
#pragma once

#include <map>
#include <string>

#include "mms_frame.h"
#include "page_model.h"
#include "services.h"
#include "settings_store.h"
#include "working_copy.h"

class MediaPlayer;
class QLabel;
class QWidget;

class TPageStrip : public TPageFrameHost {
public:
    static constexpr int kVisiblePages = 4;
    static constexpr int kPageStep = 170;
    static constexpr int kPageWidth = 167;
    static constexpr int kPageHeight = 245;

    // What the window lends the strip; all of it outlives the strip. The
    // choosers and the player are read at each use: the program sets them after
    // the window is made.
    struct TLent {
        TPageList& Pages;
        QWidget& Panel;    // the page panel, the frames' parent
        QLabel& PageInfo;  // the page count
        TMaterialIntake& Intake;
        TQuestions& Questions;
        const TMmsSettings& Settings;
        TPageChoosers* const& Choosers;
        MediaPlayer* const& Player;
    };
    explicit TPageStrip(const TLent& lent);
    // Frees the frames; the pages belong to the page list.
    ~TPageStrip() override;

    // Index of the leftmost page on show.
    int FFirstVisiblePage = 0;

    // A page after the current one, made current; the row scrolls by one when
    // the current page was the rightmost on show.
    void AddPage();
    // AddPage for the message reader: the page made, or none when it is gone
    // again already (deleted while its selection let events run).
    TPageModel* NewPage();
    void DeleteCurrentPage() override;
    // Places the pages with first as the leftmost on show. sync: pages may have
    // been freed behind the strip's back, so every frame is checked.
    void LayoutPages(int first, bool sync = true);
    // Frames follow the page list after it changed behind the strip's back: the
    // pages on show get theirs, a page that is gone keeps none.
    void SyncFrames();
    // While held, pages are made, selected and scrolled to without frames; the
    // release lays the strip out once. A message being read is held, so that only
    // the pages on show at its end decode their pictures, not every page it makes.
    void HoldLayout() { FLayoutHeld = true; }
    void ReleaseLayout();
    void ScrollRight();
    void ScrollLeft();
    void MoveCurrentForward();
    void MoveCurrentBackward();
    // Frees every page: a new, empty message.
    void Clear();
    // Makes the page on show at x (page panel coordinates) current; a gap or a
    // place right of the pages leaves the current page.
    void SelectPageAt(int x);
    // Puts a material file on the target page by its kind; false when it could not
    // be taken (the user was told and the page is as it was).
    bool AddMaterialFile(const std::string& path) override;

    // The frame of a page on show; none for any other page.
    TFrameDispaly* FrameOf(const TPageModel* page) const;

    // TPageFrameHost.
    TMaterialIntake& Intake() override { return FIntake; }
    TPageChoosers* Choosers() override { return FChoosers; }
    MediaPlayer* Player() override { return FPlayer; }
    int32_t TxtMaxLen() const override { return FSettings.TxtMaxLen; }
    int32_t TxtTimeOptPs() const override { return FSettings.TxtTimeOptPs; }

private:
    void ShowPageCount();
    // The page material goes onto; none without pages.
    TPageModel* TargetPage() const;
    void DeletePage(int index);
    // Takes a frame off the strip for good.
    void ReleaseFrame(TFrameDispaly* frame);

    TPageList& FPages;
    QWidget& FPanel;
    QLabel& FPageInfo;
    TMaterialIntake& FIntake;
    TQuestions& FQuestions;
    const TMmsSettings& FSettings;
    TPageChoosers* const& FChoosers;
    MediaPlayer* const& FPlayer;
    // The frames of the pages on show (at most four).
    std::map<const TPageModel*, TFrameDispaly*> FFrames;
    // The page AddPage made last, while it lives: the reader fills it even when
    // a click during its selection has made another page current.
    TPageModel* FLastNewPage = nullptr;
    bool FLayoutHeld = false;
};
