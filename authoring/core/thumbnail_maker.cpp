#include "thumbnail_maker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "chooser_rules.h"

namespace {

// How long the end of the program waits for the pictures under way; a sound one
// takes well under a second.
constexpr std::chrono::seconds kEndWait{5};

// The pictures under way on the workers of every maker. A detached worker must not
// be decoding while the program's statics and the toolkit's own are torn down:
// the application's end waits for the pictures under way and begins no other.
// Never freed, so that a worker may still use it at any time.
struct TWorkersInFlight {
    std::mutex M;
    std::condition_variable Cv;
    int Running = 0;       // guarded by M
    bool Closing = false;  // guarded by M
    // When the end stops waiting; one bound for the application's end and the
    // program's after it. Guarded by M.
    std::chrono::steady_clock::time_point GiveUpAt{};

    static TWorkersInFlight& Get() {
        static auto* const all = [] {
            // A program without an application ends through its statics only.
            std::atexit(&AtApplicationEnd);
            return new TWorkersInFlight;
        }();
        return *all;
    }
    // False once the program is ending: the job is not begun.
    bool Begin() {
        std::lock_guard lock(M);
        if (Closing) return false;
        ++Running;
        return true;
    }
    void End() {
        std::lock_guard lock(M);
        --Running;
        Cv.notify_all();
    }
    // The end of app waits for the workers; makers of a later application work again.
    static void WaitAtEndOf(QCoreApplication* app) {
        Get();
        static QCoreApplication* registered = nullptr;  // the owner's thread only
        if (!app || app == registered) return;
        registered = app;
        {
            std::lock_guard lock(Get().M);
            Get().Closing = false;
            Get().GiveUpAt = {};
        }
        qAddPostRoutine(&AtApplicationEnd);
    }
    static void AtApplicationEnd() {
        TWorkersInFlight& all = Get();
        std::unique_lock lock(all.M);
        if (!all.Closing) all.GiveUpAt = std::chrono::steady_clock::now() + kEndWait;
        all.Closing = true;
        // A picture that never ends (a file system that stopped answering) must
        // not keep the program from ending: past the bound it ends without it.
        all.Cv.wait_until(lock, all.GiveUpAt, [&] { return all.Running == 0; });
    }
};

}  // namespace

// What the maker and its workers share; it lives as long as either does.
struct TThumbnailMaker::TShared {
    std::mutex M;
    std::condition_variable Cv;
    std::deque<std::function<void()>> Jobs;  // guarded by M
    bool Stop = false;                       // guarded by M: the maker is gone
    TThumbnailMaker* Owner = nullptr;        // guarded by M; results are posted to it
    // The listing that is current, so that a file of a dropped listing is not begun.
    std::atomic<quint64> Listing{0};

    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(M);
                Cv.wait(lock, [&] { return Stop || !Jobs.empty(); });
                if (Stop) return;
                job = std::move(Jobs.front());
                Jobs.pop_front();
            }
            if (!TWorkersInFlight::Get().Begin()) return;
            job();
            job = nullptr;  // what it holds goes too before the end goes on
            TWorkersInFlight::Get().End();
        }
    }
};

TThumbnailMaker::TThumbnailMaker(int workers, TThumbnailLoader loader, QObject* parent)
    : QObject(parent),
      shared_(std::make_shared<TShared>()),
      loader_(std::move(loader)),
      workers_(workers > 0 ? workers
                           : std::max(1, static_cast<int>(std::thread::hardware_concurrency()))) {
    if (!loader_) loader_ = LoadThumbnail;
    shared_->Owner = this;
    TWorkersInFlight::WaitAtEndOf(QCoreApplication::instance());
    // Detached: a picture that takes long to decode never holds up the program's end.
    int started = 0;
    for (int i = 0; i < workers_; ++i) {
        try {
            std::thread([shared = shared_] { shared->Work(); }).detach();
            ++started;
        } catch (const std::system_error&) {
            break;  // no more threads to be had: fewer workers
        }
    }
    workers_ = started;
}

TThumbnailMaker::~TThumbnailMaker() {
    std::lock_guard lock(shared_->M);
    shared_->Owner = nullptr;
    shared_->Stop = true;
    shared_->Jobs.clear();
    shared_->Listing.store(0);
    shared_->Cv.notify_all();
}

quint64 TThumbnailMaker::Start(const std::string& folder, const TStringList& names, int bw,
                               int bh) {
    Cancel();
    const quint64 listing = listing_;
    outstanding_ = static_cast<int>(names.size());
    if (names.empty()) {
        QMetaObject::invokeMethod(
            this,
            [this, listing] {
                if (listing == listing_) emit ListingDone(listing);
            },
            Qt::QueuedConnection);
        return listing;
    }
    std::unique_lock lock(shared_->M);
    // Begun in the listing's order, so that the first thumbnails come first.
    for (size_t i = 0; i < names.size(); ++i) {
        shared_->Jobs.push_back([shared = shared_.get(), loader = loader_, listing,
                                 index = static_cast<int>(i), path = folder + names[i], bw, bh] {
            if (shared->Listing.load() != listing) return;
            std::optional<QImage> thumb;
            try {
                thumb = loader(path, bw, bh);
            } catch (const std::exception&) {
                thumb.reset();  // a loader that fails leaves the file out
            }
            // Posted under the lock, so that the maker cannot go meanwhile.
            std::lock_guard lock(shared->M);
            if (TThumbnailMaker* owner = shared->Owner)
                QMetaObject::invokeMethod(
                    owner,
                    [owner, listing, index, t = std::move(thumb)]() mutable {
                        owner->Deliver(listing, index, std::move(t));
                    },
                    Qt::QueuedConnection);
        });
    }
    shared_->Cv.notify_all();
    if (workers_ == 0) {
        // Without a worker thread the files are made here, one after the other.
        std::deque<std::function<void()>> jobs;
        jobs.swap(shared_->Jobs);
        lock.unlock();
        for (auto& job : jobs) job();
    }
    return listing;
}

void TThumbnailMaker::Cancel() {
    shared_->Listing.store(++listing_);
    outstanding_ = 0;
    std::lock_guard lock(shared_->M);
    shared_->Jobs.clear();
}

void TThumbnailMaker::Deliver(quint64 listing, int index, std::optional<QImage> thumb) {
    if (listing != listing_ || outstanding_ <= 0) return;
    --outstanding_;
    const bool ok = thumb.has_value();
    emit ThumbnailReady(listing, index, ok, ok ? *thumb : QImage());
    // A handler may have started another listing meanwhile.
    if (listing == listing_ && outstanding_ == 0) emit ListingDone(listing);
}
