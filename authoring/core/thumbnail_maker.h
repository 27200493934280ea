// Thumbnails of a folder's pictures made on worker threads, one per core, so that
// the window that shows them keeps answering while a large picture is decoded. The
// results come back on the thread that owns the maker, as they are done; a new
// listing drops whatever the one before it still had under way. A maker that goes
// does not wait for a picture under way: its worker ends after that picture. The
// application's end (or the program's, without one) waits a bounded time for the
// pictures under way, so that no worker decodes while the statics are torn down
// and no picture that never ends holds the program up.
#pragma once

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "string_list.h"

// Makes one thumbnail; empty when the file cannot be read or decoded. Called on
// several worker threads at once.
using TThumbnailLoader =
    std::function<std::optional<QImage>(const std::string& path, int bw, int bh)>;

class TThumbnailMaker : public QObject {
    Q_OBJECT
public:
    // workers 0: one worker per core. The loader is LoadThumbnail unless given.
    explicit TThumbnailMaker(int workers = 0, TThumbnailLoader loader = {},
                             QObject* parent = nullptr);
    // Drops the files not yet begun; those under way report nowhere.
    ~TThumbnailMaker() override;

    // Starts the thumbnails of folder + names[i]; a listing still under way is
    // dropped. Returns the new listing's number, which its signals carry.
    quint64 Start(const std::string& folder, const TStringList& names, int bw, int bh);
    // Drops the listing under way: none of its results come any more.
    void Cancel();
    // The number of the current listing; 0 before the first.
    quint64 Listing() const { return listing_; }
    // True while the current listing has files not yet reported.
    bool Busy() const { return outstanding_ > 0; }
    int Workers() const { return workers_; }

signals:
    // File index of the current listing is done; ok false when it gave no thumbnail.
    void ThumbnailReady(quint64 listing, int index, bool ok, const QImage& thumb);
    // Every file of the current listing has been reported.
    void ListingDone(quint64 listing);

private:
    struct TShared;
    void Deliver(quint64 listing, int index, std::optional<QImage> thumb);

    std::shared_ptr<TShared> shared_;
    TThumbnailLoader loader_;
    int workers_;
    quint64 listing_ = 0;
    int outstanding_ = 0;
};
