#include "make_controller.h"

#include "output_tab.h"
#include "settings_controller.h"
#include "settings_controls.h"
#include "smil_tab.h"

TMakeController::TMakeController(TMmsMaker& maker, const TMmsSettings& settings,
                                 std::string outputDir, TQuestions& questions, TSmilTab& smil,
                                 TOutputTab& output, TSettingsController& settingsController,
                                 QObject* parent)
    : QObject(parent),
      FOpenFolder(tabs::OpenFolder),
      smil_(smil),
      output_(output),
      make_(maker, settings, std::move(outputDir), questions,
            [this](const std::string& dir) {
                if (FOpenFolder) FOpenFolder(dir);
            },
            [&settingsController] { return settingsController.GatherSettings(); }) {}

TMakeResult TMakeController::SBNewmmsClick() {
    TMakeInput input;
    input.SmilText = smil_.EditorText();
    output_.FillInput(input);
    return make_.SBNewmmsClick(input);
}
