// Load, save, show and gather of the settings across the tabs "彩信头" and
// "系统配置", and their three buttons ("保存参数..." twice, "默认参数...").
#pragma once

#include <QObject>
#include <string>

#include "settings_store.h"

class THeaderTab;
class TSystemTab;
class TMmsMaker;

class TSettingsController : public QObject {
    Q_OBJECT
public:
    // iniPath: ConfigDir + "mms.ini". access may be null for the disk.
    TSettingsController(std::string iniPath, TMmsMaker& maker, TMmsSettings& settings,
                        THeaderTab& header, TSystemTab& system, TIniFileAccess* access = nullptr,
                        QObject* parent = nullptr);

    TSettingsStore& Store() { return store_; }

    // Reads the file (a first run writes it first); false when that write failed.
    bool LoadSettings();
    // Writes every value as held; false when a key could not be written (the
    // keys before it are written).
    bool SaveSettings();
    void ShowSettings();
    // Controls into values; false when a number edit does not convert (the
    // values before it are taken).
    bool GatherSettings();
    // Gather, then save; false when either stopped. Also the close with saving.
    bool SBSavecfgClick();
    // Empties and zeroes the header, saves, shows.
    void SBDefaultClick();

private:
    TMmsMaker& maker_;
    THeaderTab& header_;
    TSystemTab& system_;
    TSettingsStore store_;
};
