// Making messages: one file from the header as typed, or a batch of files, one per
// group of addresses taken from an address list (a file or a typed list), with the
// subjects of an optional subject list used in turn. Also the output file naming
// and the phone-number filter.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <string>

#include "services.h"
#include "settings_store.h"
#include "string_list.h"

class TMmsMaker;

// The n-th output file name (no folder) from the pattern: "随机数字" becomes n as
// "%.4d", "彩信主题" the subject, "日期" the date text, "时间" the time text, "随机"
// n in plain decimal, each over the result of the one before; ".mms" is added.
// The name never leaves its folder and is one the file system accepts: "/", "\"
// and the characters a file name cannot hold on common systems (: * ? " < > | and
// control characters) become "_", and an overlong name is cut to 255 bytes.
std::string MakeOutputName(const std::string& pattern, int32_t n, const std::string& subject,
                           const std::string& dateText, const std::string& timeText);

// Removes every entry that is not a phone number ('+' and digits; the empty entry stays).
void FilterPhoneNumbers(TStringList& list);

// The lines of an address or subject file. A file whose text, decoded by its form
// (a byte-order mark, or UTF-8 by the rule of TextFormOf), differs from its lines each followed by CR LF is rewritten in
// place as ANSI with CR LF after every line; a file whose characters the ANSI code
// page cannot all hold is only read, so that nothing of it is lost.
TStringList LoadListFileRewriting(const std::string& path);
// The address list of a source text: the lines of the file it names, or the typed
// list with blanks, ";" and "," as separators.
TStringList LoadAddressSource(const std::string& source);
// The subjects of a source text: none for the empty text, the non-blank lines of
// the file it names, or the text itself.
TStringList LoadSubjectSource(const std::string& source);

// Why a make or a save stopped when a number of the settings tabs does not convert.
inline constexpr const char* kSettingsNotNumbers = "“系统配置”中有数值不是有效的整数";

// What one press of "制作彩信" reads from the window.
struct TMakeInput {
    std::string SmilText;   // the SMIL editor's lines, each followed by CR LF
    bool Batch = false;     // "根据地址批量生成彩信文件" ticked
    std::string ToCount, CcCount, BccCount;  // the three group count edits
    std::string AddressSource;               // the address file or typed list
    std::string SubjectSource;               // the subject file or typed subject
};

enum class TMakeOutcome {
    Refused,   // a message box said why; nothing written
    Made,      // files written, result box shown, folder opened
    Failed     // ended at an error, told in one box; files made so far stay
};

struct TMakeResult {
    TMakeOutcome Outcome = TMakeOutcome::Refused;
    int32_t Made = 0;        // files written
    std::string Error;       // the error that ended a failed make
};

// The make, with the window reached through its arguments.
class TMessageMake {
public:
    // outputDir ends with "/". openFolder is called with outputDir after the result
    // box; gather copies the controls into the maker and settings and returns false
    // when a number does not convert (the make then fails).
    TMessageMake(TMmsMaker& maker, const TMmsSettings& settings, std::string outputDir,
                 TQuestions& questions, std::function<void(const std::string&)> openFolder,
                 std::function<bool()> gather = {});

    // The clock for the date and time text; the local time when not set.
    std::function<QDateTime()> Now;

    // One line per file of the last make over the size limit.
    TStringList FOversizeList;

    TMakeResult SBNewmmsClick(const TMakeInput& input);

    // "2026年12月07日" and "23时55分14秒".
    static std::string DateText(const QDateTime& t);
    static std::string TimeText(const QDateTime& t);

private:
    void Tell(const std::string& text);
    void SizeCheck(const std::string& name, int32_t size);
    int32_t MakeOne(int32_t n, const std::string& date, const std::string& time, std::string& name);
    bool RunBatch(const TMakeInput& input, const std::string& date, const std::string& time,
                  int32_t& made);

    TMmsMaker& maker_;
    const TMmsSettings& settings_;
    std::string outputDir_;
    TQuestions& questions_;
    std::function<void(const std::string&)> openFolder_;
    std::function<bool()> gather_;
};
