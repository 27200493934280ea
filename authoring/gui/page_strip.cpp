#include "page_strip.h"

#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <future>
#include <optional>
#include <vector>

#include "mms_frame.h"

TPageStrip::TPageStrip(const TLent& lent)
    : FPages(lent.Pages),
      FPanel(lent.Panel),
      FPageInfo(lent.PageInfo),
      FIntake(lent.Intake),
      FQuestions(lent.Questions),
      FSettings(lent.Settings),
      FChoosers(lent.Choosers),
      FPlayer(lent.Player) {}

TPageStrip::~TPageStrip() {
    for (auto& [page, frame] : FFrames) {
        frame->SetPage(nullptr);
        delete frame;
    }
    FFrames.clear();
}

TFrameDispaly* TPageStrip::FrameOf(const TPageModel* page) const {
    auto it = FFrames.find(page);
    return it == FFrames.end() ? nullptr : it->second;
}

void TPageStrip::ShowPageCount() {
    FPageInfo.setText(QStringLiteral("总页数:") + QString::number(FPages.Count()));
}

void TPageStrip::ReleaseFrame(TFrameDispaly* frame) {
    frame->SetPage(nullptr);
    // A hidden focus widget hands the focus on to the next one, which may be
    // another page's duration box.
    frame->LetFocusGo();
    frame->hide();
    // Later: the release may come from the frame's own menu.
    frame->deleteLater();
}

void TPageStrip::SyncFrames() { LayoutPages(FFirstVisiblePage); }

void TPageStrip::ReleaseLayout() {
    FLayoutHeld = false;
    SyncFrames();
}

void TPageStrip::LayoutPages(int first, bool sync) {
    if (FLayoutHeld) return;
    TPageList& pages = FPages;
    // Only the pages on show have a frame, so that neither a layout nor a new
    // page costs more with the number of pages in the message. A page that stays
    // on show keeps its frame; one that comes on show takes the frame of one that
    // left, since building a frame costs far more than showing another page in it.
    std::vector<TPageModel*> onShow;
    for (int s = 0; s < kVisiblePages; ++s) {
        const int i = first + s;
        if (i >= 0 && i < pages.Count()) onShow.push_back(pages[i]);
    }
    std::map<const TPageModel*, TFrameDispaly*> shown;
    for (TPageModel* page : onShow) {
        auto it = FFrames.find(page);
        if (it == FFrames.end()) continue;
        shown[page] = it->second;
        FFrames.erase(it);
    }
    std::vector<TFrameDispaly*> spare;
    for (auto& [page, frame] : FFrames) {
        // Its page was freed elsewhere: the frame must not reach it any more.
        // Without sync no page is gone, so the frames need no check.
        if (sync && pages.IndexOf(page) < 0) frame->ForgetPage();
        spare.push_back(frame);
    }
    FFrames.clear();
    std::vector<TFrameDispaly*> frames;
    for (TPageModel* page : onShow) {
        TFrameDispaly*& frame = shown[page];
        if (!frame) {
            if (!spare.empty()) {
                frame = spare.back();
                spare.pop_back();
            } else {
                frame = new TFrameDispaly(this, &FPanel);
            }
        }
        frames.push_back(frame);
    }
    // The pictures of the pages that come into a frame are decoded side by side:
    // a decode costs more than all the rest of showing a page, and a message read
    // brings up to four at once.
    std::vector<std::optional<std::future<QImage>>> pictures(onShow.size());
    for (size_t s = 0; s < onShow.size(); ++s) {
        TPageModel* page = onShow[s];
        // A page at the address of a freed one is bound anew as well.
        if (frames[s]->Page() == page && page->FView == frames[s]) continue;
        if (!page->FHasPicture) continue;
        pictures[s] = std::async(std::launch::async,
                                 [file = page->Slot(mkPicture).File, side = frames[s]->BoxSide()] {
                                     try {
                                         return TFrameDispaly::BoxPicture(file, side);
                                     } catch (const std::exception&) {
                                         return QImage();  // shown as an empty box
                                     }
                                 });
    }
    for (size_t s = 0; s < onShow.size(); ++s) {
        TPageModel* page = onShow[s];
        TFrameDispaly* frame = frames[s];
        if (pictures[s]) {
            const QImage picture = pictures[s]->get();
            frame->SetPage(page, &picture);
        } else if (frame->Page() != page || page->FView != frame) {
            frame->SetPage(page);
        }
        frame->setGeometry(static_cast<int>(s) * kPageStep + 3, 3, kPageWidth, kPageHeight);
        frame->show();
        page->UpdatePageCaption();
    }
    for (TFrameDispaly* frame : spare) ReleaseFrame(frame);
    FFrames = std::move(shown);
}

void TPageStrip::AddPage() {
    TPageList& pages = FPages;
    TPageModel* page = pages.InsertAfterSelected();
    // The page the new one follows (the first when the list was empty).
    const int i = std::max(pages.IndexOf(page) - 1, 0);
    if (i == FFirstVisiblePage + 3) ++FFirstVisiblePage;
    // No other page is gone, so the frames need no check.
    LayoutPages(FFirstVisiblePage, false);
    FLastNewPage = page;
    page->SelectPage();
    ShowPageCount();
}

TPageModel* TPageStrip::NewPage() {
    FLastNewPage = nullptr;
    AddPage();
    // Gone again already (deleted while its selection let events run): the
    // reader then takes the current page.
    return FLastNewPage;
}

void TPageStrip::DeletePage(int index) {
    TPageList& pages = FPages;
    TPageModel* page = pages[index];
    if (page == FLastNewPage) FLastNewPage = nullptr;
    auto it = FFrames.find(page);
    if (it != FFrames.end()) {
        ReleaseFrame(it->second);
        FFrames.erase(it);
    }
    pages.Items.erase(pages.Items.begin() + index);
}

void TPageStrip::DeleteCurrentPage() {
    TPageList& pages = FPages;
    int i = pages.SelectedIndex();
    if (i < 0) return;
    DeletePage(i);
    if (i < pages.Count())
        pages[i]->SelectPage();
    else if (i >= 1)
        pages[i - 1]->SelectPage();
    if (pages.Count() < FFirstVisiblePage + kVisiblePages && FFirstVisiblePage > 0)
        --FFirstVisiblePage;
    LayoutPages(FFirstVisiblePage);
    ShowPageCount();
}

void TPageStrip::ScrollRight() {
    if (FFirstVisiblePage < FPages.Count() - kVisiblePages) {
        ++FFirstVisiblePage;
        LayoutPages(FFirstVisiblePage);
    }
}

void TPageStrip::ScrollLeft() {
    if (FFirstVisiblePage > 0) --FFirstVisiblePage;
    LayoutPages(FFirstVisiblePage);
}

void TPageStrip::MoveCurrentForward() {
    TPageList& pages = FPages;
    int i = pages.SelectedIndex();
    if (i <= 0) return;
    std::swap(pages.Items[i], pages.Items[i - 1]);
    if (i == FFirstVisiblePage) --FFirstVisiblePage;
    LayoutPages(FFirstVisiblePage);
}

void TPageStrip::MoveCurrentBackward() {
    TPageList& pages = FPages;
    int i = pages.SelectedIndex();
    if (i < 0 || i >= pages.Count() - 1) return;
    std::swap(pages.Items[i], pages.Items[i + 1]);
    if (i == FFirstVisiblePage + 3) ++FFirstVisiblePage;
    LayoutPages(FFirstVisiblePage);
}

void TPageStrip::Clear() {
    while (FPages.Count() > 0) DeletePage(0);
    FFirstVisiblePage = 0;
    FPageInfo.setText(QStringLiteral("总页数:0"));
}

void TPageStrip::SelectPageAt(int x) {
    // Only the pages on show have a frame, and so a place.
    for (const auto& entry : FFrames) {
        TFrameDispaly* frame = entry.second;
        const QRect r = frame->geometry();
        if (frame->Page() && r.left() < x && x < r.left() + r.width()) {
            frame->Page()->SelectPage();
            return;
        }
    }
}

TPageModel* TPageStrip::TargetPage() const {
    // The first current page from the leftmost on show on, else the last page.
    for (int i = std::max(0, FFirstVisiblePage); i < FPages.Count(); ++i)
        if (FPages[i]->FSelected) return FPages[i];
    return FPages.Count() > 0 ? FPages[FPages.Count() - 1] : nullptr;
}

bool TPageStrip::AddMaterialFile(const std::string& path) {
    if (FPages.Count() == 0) return true;
    // A folder or a file that is gone is no material, whatever its name says.
    if (!FIntake.Admits(path)) return false;
    const TMediaKind kind = TMaterialIntake::KindOf(path);
    if (kind == mkAttach) {
        // Yes replaces an attachment the page holds: then Enter keeps it.
        const TPageModel* shown = TargetPage();
        const TAnswer safe =
            shown && !shown->Slot(mkAttach).File.empty() ? TAnswer::No : TAnswer::Yes;
        if (FQuestions.Ask("提示", "确定增加附件吗", TButtons::YesNo, TIcon::Information, safe) !=
            TAnswer::Yes)
            return true;
    }

    // The target is found after the question: the pages may change while it is open.
    TPageModel* target = TargetPage();
    if (!target) return true;

    const std::string copy = FIntake.Take(path, kind);
    if (copy.empty()) return false;
    std::string files[4];
    files[kind] = copy;
    target->SetMedia(files[mkText], files[mkPicture], files[mkAudio], files[mkAttach], 0);
    return true;
}
