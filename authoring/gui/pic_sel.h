// The picture chooser: a folder tree opened on the picture folder and the folder's
// pictures as thumbnails; a click makes a picture current, "确认" or a double-click
// hands it to the page.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "services.h"
#include "string_list.h"
#include "thumbnail_maker.h"

class QLabel;
class QListWidget;
class QProgressBar;
class TFolderBrowser;

class TfrmPicsel : public QDialog {
    Q_OBJECT
public:
    // picMaxW x picMaxH is the thumbnail size ("PicMAX_W", "PicMAX_H").
    TfrmPicsel(TMessagePump& pump, int32_t picMaxW, int32_t picMaxH, const std::string& pictureDir,
               QWidget* parent = nullptr);

    // The preset before each showing: the page's current picture (empty for none).
    void SetCurrentFile(const std::string& path);
    // After exec() == Accepted: the chosen picture; empty means nothing was chosen.
    const std::string& SelPicFile() const { return selPicFile_; }

    const std::string& CurFile() const { return curFile_; }
    const std::string& Folder() const { return folder_; }
    const TStringList& PicFiles() const { return picFiles_; }
    bool PicListed() const { return picListed_; }
    bool Busy() const { return busy_; }

    void SetFolderOpener(std::function<void(const std::string&)> f) { openFolder_ = std::move(f); }
    // The thumbnails' maker, for tests: any listing under way is dropped.
    void SetThumbnailLoader(TThumbnailLoader loader);

    // Collects the folder's pictures and starts their thumbnails on the workers;
    // each is shown in its place as it comes. A listing under way is dropped.
    void ListFolder(const std::string& folder);

    // Handlers, named after their controls and events.
    void STVDataChange(const QString& folder);
    void LvPicClick();
    void LvPicDblClick();
    void BitBtn1Click();
    void SpeedButton1Click();

signals:
    // The listing of Folder() has every thumbnail it will get.
    void ListingFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void MakeMaker(TThumbnailLoader loader);
    void ThumbnailReady(quint64 listing, int index, bool ok, const QImage& thumb);
    void ListingDone(quint64 listing);

    TMessagePump& pump_;
    int thumbW_, thumbH_;
    std::function<void(const std::string&)> openFolder_;

    bool busy_ = false;
    bool picListed_ = false;
    bool firstListingQueued_ = false;
    std::string curFile_;
    std::string folder_;
    std::string selPicFile_;
    TStringList allFiles_;
    TStringList picFiles_;
    // Per file of allFiles_: 0 not yet made, 1 listed, 2 left out.
    std::vector<char> made_;
    int madeCount_ = 0;
    quint64 listing_ = 0;

    TFolderBrowser* browser_ = nullptr;
    QListWidget* lvPic_ = nullptr;
    QLabel* panelPath_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::unique_ptr<TThumbnailMaker> maker_;
};
