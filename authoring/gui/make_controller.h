// "制作彩信": reads the SMIL editor and the batch controls, gathers the settings and
// runs the make (one message or a batch) against the window's maker.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "batch_make.h"

class TMmsMaker;
class TOutputTab;
class TQuestions;
class TSettingsController;
class TSmilTab;
struct TMmsSettings;

class TMakeController : public QObject {
    Q_OBJECT
public:
    // outputDir ends with "/".
    TMakeController(TMmsMaker& maker, const TMmsSettings& settings, std::string outputDir,
                    TQuestions& questions, TSmilTab& smil, TOutputTab& output,
                    TSettingsController& settingsController, QObject* parent = nullptr);

    // Opens the output folder after the result box; replaceable for tests.
    std::function<void(const std::string&)> FOpenFolder;

    // The handler of "制作彩信".
    TMakeResult SBNewmmsClick();
    // One line per file of the last make over the size limit.
    const TStringList& OversizeList() const { return make_.FOversizeList; }
    TMessageMake& Make() { return make_; }

private:
    TSmilTab& smil_;
    TOutputTab& output_;
    TMessageMake make_;
};
