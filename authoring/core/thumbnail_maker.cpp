#include "thumbnail_maker.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <atomic>

#include "chooser_rules.h"

// What the workers read: the listing that is current, so that a file of a dropped
// listing is not begun at all.
struct TThumbnailMaker::TShared {
    std::atomic<quint64> Listing{0};
};

TThumbnailMaker::TThumbnailMaker(int workers, TThumbnailLoader loader, QObject* parent)
    : QObject(parent), shared_(std::make_shared<TShared>()), loader_(std::move(loader)) {
    if (!loader_) loader_ = LoadThumbnail;
    pool_.setMaxThreadCount(workers > 0 ? workers : std::max(1, QThread::idealThreadCount()));
}

TThumbnailMaker::~TThumbnailMaker() {
    Cancel();
    pool_.waitForDone();
}

quint64 TThumbnailMaker::Start(const std::string& folder, const TStringList& names, int bw, int bh) {
    Cancel();
    const quint64 listing = listing_;
    outstanding_ = static_cast<int>(names.size());
    if (names.empty()) {
        QMetaObject::invokeMethod(
            this, [this, listing] { if (listing == listing_) emit ListingDone(listing); }, Qt::QueuedConnection);
        return listing;
    }
    // Begun in the listing's order, so that the first thumbnails come first.
    for (size_t i = 0; i < names.size(); ++i) {
        pool_.start([this, shared = shared_, loader = loader_, listing, index = static_cast<int>(i),
                     path = folder + names[i], bw, bh] {
            if (shared->Listing.load() != listing) return;
            std::optional<QImage> thumb;
            try {
                thumb = loader(path, bw, bh);
            } catch (const std::exception&) {
                thumb.reset();  // a loader that fails leaves the file out
            }
            QMetaObject::invokeMethod(
                this, [this, listing, index, t = std::move(thumb)]() mutable { Deliver(listing, index, std::move(t)); },
                Qt::QueuedConnection);
        });
    }
    return listing;
}

void TThumbnailMaker::Cancel() {
    shared_->Listing.store(++listing_);
    outstanding_ = 0;
    pool_.clear();
}

void TThumbnailMaker::Deliver(quint64 listing, int index, std::optional<QImage> thumb) {
    if (listing != listing_ || outstanding_ <= 0) return;
    --outstanding_;
    const bool ok = thumb.has_value();
    emit ThumbnailReady(listing, index, ok, ok ? *thumb : QImage());
    // A handler may have started another listing meanwhile.
    if (listing == listing_ && outstanding_ == 0) emit ListingDone(listing);
}
