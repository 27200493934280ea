#include "settings_controller.h"

#include <QPushButton>

#include "header_tab.h"
#include "system_tab.h"

TSettingsController::TSettingsController(std::string iniPath, TMmsMaker& maker,
                                         TMmsSettings& settings, THeaderTab& header,
                                         TSystemTab& system, TIniFileAccess* access, QObject* parent)
    : QObject(parent),
      maker_(maker),
      header_(header),
      system_(system),
      store_(std::move(iniPath), maker, settings, access) {
    connect(header_.SBSavecfg, &QPushButton::clicked, this, [this] { SBSavecfgClick(); });
    connect(system_.SpeedButton5, &QPushButton::clicked, this, [this] { SBSavecfgClick(); });
    connect(header_.SBDefault, &QPushButton::clicked, this, &TSettingsController::SBDefaultClick);
}

bool TSettingsController::LoadSettings() {
    try {
        store_.LoadSettings();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSettingsController::SaveSettings() {
    try {
        store_.SaveSettings();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TSettingsController::ShowSettings() {
    header_.ShowHeader(maker_);
    system_.ShowOptions();
}

bool TSettingsController::GatherSettings() {
    header_.GatherHeader(maker_);
    return system_.GatherOptions();
}

bool TSettingsController::SBSavecfgClick() { return GatherSettings() && SaveSettings(); }

void TSettingsController::SBDefaultClick() {
    store_.ResetHeader();
    if (!SaveSettings()) return;  // the failed write ends the handler, as any error does
    ShowSettings();
}
