// The settings file "mms.ini" (section "mms"): its 28 keys in their fixed order,
// the values a first run writes, the defaults taken when a key is missing or does
// not convert, and the value forms (integer rule, Boolean, date-time text, text).
//
// Every value lives in one place: the header group, the picture settings, the
// JPEG quality, the SMIL part name, the part naming mode and the frame colour in
// the maker (TMmsMaker, its page list for the colour); the main window's own
// options in TMmsSettings.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <string>
#include <string_view>

#include "ini_profile.h"

class TMmsMaker;

// The options the main window holds, with the values they have before the first
// load.
struct TMmsSettings {
    std::string SmilTemplateName;             // "SmilName": a file name in the config folder
    int32_t MmsMaxSize = 50;                  // size limit in K of 1000 bytes
    int32_t TxtTimeOptPs = 612;               // characters read per 100 seconds
    bool AudioEx = true;                      // kept for the file only
    int32_t CloseHintMode = 0;                // 0 discard, 1 save, 2 ask
    std::string MmsOutFormat = "随机数字";    // output-name pattern
    int32_t TxtMaxLen = 612;                  // characters per text page
    int32_t PicMaxH = 100, PicMaxW = 100;     // thumbnail box
};

// The date-time text of the file and the two date combos: "yyyy-MM-dd hh:mm:ss",
// the date alone at midnight. "Not set" (a null QDateTime, or the zero date
// 1899-12-30 00:00) is written as "1899-12-30".
std::string DateTimeToText(const QDateTime& t);
// The same form back; a text that does not convert, and the zero date, give a null
// QDateTime.
QDateTime TextToDateTime(std::string_view text);
// True for a null value or the zero date.
bool IsZeroDateTime(const QDateTime& t);

class TSettingsStore {
public:
    static constexpr const char* kSection = "mms";
    static constexpr const char* kFileName = "mms.ini";

    // iniPath is the full path of "mms.ini"; access may be null for the disk.
    TSettingsStore(std::string iniPath, TMmsMaker& maker, TMmsSettings& settings,
                   TIniFileAccess* access = nullptr);

    // Reads the file into the values. On a first run (no file) it sets the
    // first-run values and writes the file first; a failure of that write is
    // raised (EIniWriteError) before anything is read, the first-run values in
    // force.
    void LoadSettings();
    // Writes all 28 keys in order from the values as held, with one atomic
    // rewrite of the file (lines it does not know kept): a failure raises
    // EIniWriteError and leaves the file as it was.
    void SaveSettings();
    // Empties and zeroes the header group (To, Cc, Bcc, Subject, class, the two
    // times, priority, sender visibility, delivery report, read reply).
    void ResetHeader();

    const std::string& Path() const { return profile_.Path(); }

private:
    void SetFirstRunValues();

    TIniProfile profile_;
    TIniFileAccess* access_;
    TDiskIniAccess disk_;
    TMmsMaker& maker_;
    TMmsSettings& settings_;
};
