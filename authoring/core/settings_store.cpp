#include "settings_store.h"

#include "mms_maker.h"
#include "string_list.h"
#include "text_codec.h"

namespace {
const QDateTime& ZeroDate() {
    static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0, 0));
    return zero;
}
constexpr const char* kDateTimeForm = "yyyy-MM-dd hh:mm:ss";
constexpr const char* kDateForm = "yyyy-MM-dd";
}  // namespace

bool IsZeroDateTime(const QDateTime& t) { return !t.isValid() || t == ZeroDate(); }

std::string DateTimeToText(const QDateTime& t) {
    const QDateTime& v = IsZeroDateTime(t) ? ZeroDate() : t;
    const QTime time = v.time();
    const bool midnight = time.hour() == 0 && time.minute() == 0 && time.second() == 0;
    return v.toString(midnight ? kDateForm : kDateTimeForm).toStdString();
}

QDateTime TextToDateTime(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    QDateTime t = QDateTime::fromString(s, kDateTimeForm);
    if (!t.isValid()) {
        const QDate d = QDate::fromString(s, kDateForm);
        if (d.isValid()) t = QDateTime(d, QTime(0, 0, 0));
    }
    if (IsZeroDateTime(t)) return QDateTime();
    return t;
}

TSettingsStore::TSettingsStore(std::string iniPath, TMmsMaker& maker, TMmsSettings& settings,
                               TIniFileAccess* access)
    : profile_(std::move(iniPath), access ? access : &disk_),
      access_(access ? access : &disk_),
      maker_(maker),
      settings_(settings) {}


void TSettingsStore::SetFirstRunValues() {
    ResetHeader();
    settings_.SmilTemplateName.clear();
    settings_.MmsMaxSize = 50;
    maker_.FPicEncodeMode = 1;
    maker_.FPicEncodeInfo = "176X210";
    settings_.TxtTimeOptPs = 612;
    maker_.FJpegQuality = 90;
    maker_.FPages.FrameColor = 65280;
    settings_.AudioEx = true;
    settings_.CloseHintMode = 0;
    settings_.MmsOutFormat = "随机数字";
    settings_.TxtMaxLen = 612;
    maker_.FSmilPartName = "0000.smil";
    // The thumbnail box, the naming mode and the picture box keep what they hold.
}

void TSettingsStore::ResetHeader() {
    maker_.FTo.clear();
    maker_.FCc.clear();
    maker_.FBcc.clear();
    maker_.FSubject.clear();
    maker_.FMessageClass = 0;
    maker_.FExpiryTime = QDateTime();
    maker_.FDeliveryTime = QDateTime();
    maker_.FPriority = 0;
    maker_.FSenderVisibility = 0;
    maker_.FDeliveryReport = 0;
    maker_.FReadReply = 0;
}

void TSettingsStore::LoadSettings() {
    std::string probe;
    bool exists = true;
    try {
        const auto hold = access_->Hold(profile_.Path(), false);
        exists = access_->Read(profile_.Path(), probe);
    } catch (const std::exception&) {
        // There but unreadable: not a first run; every key takes its default.
    }
    // What a save killed before its rename left beside the file.
    if (access_ == &disk_) RemoveStaleTemporaries(profile_.Path());
    if (!exists) {
        SetFirstRunValues();
        SaveSettings();
    }
    const TIniSection file = profile_.ReadSection(kSection);
    auto text = [&](const char* key, const char* def) { return file.Read(key, def); };
    auto date = [&](const char* key) { return TextToDateTime(text(key, "")); };
    auto ReadInt = [&](const char* key, int32_t def) {
        int32_t v = def;
        if (!TryStrToInt(text(key, ""), v)) v = def;
        return v;
    };

    maker_.FTo = text("mmsTo", "");
    maker_.FCc = text("mmsCC", "");
    maker_.FBcc = text("mmsBCC", "");
    maker_.FSubject = text("mmsSubject", "");
    maker_.FMessageClass = static_cast<uint8_t>(ReadInt("mmsClass", 0));
    maker_.FExpiryTime = date("mmsExpiryTime");
    maker_.FDeliveryTime = date("mmsDeliveryTime");
    maker_.FPriority = static_cast<uint8_t>(ReadInt("mmsPriority", 0));
    maker_.FSenderVisibility = static_cast<uint8_t>(ReadInt("mmsSenderVisibility", 0));
    maker_.FDeliveryReport = ReadInt("mmsDeliveryReport", 0);
    maker_.FReadReply = ReadInt("mmsReadReply", 0);
    settings_.SmilTemplateName = text("SmilName", "");
    settings_.MmsMaxSize = ReadInt("MmsMaxSize", 100);
    maker_.FPicEncodeMode = ReadInt("PicEncodeMode", 3);
    maker_.FPicEncodeInfo = text("PicEncodeInfo", "176X210");
    settings_.TxtTimeOptPs = ReadInt("TxtTimeOptPs", 612);
    maker_.FJpegQuality = ReadInt("JPGCompressionQuality", 90);
    maker_.FPages.FrameColor = static_cast<uint32_t>(ReadInt("Framecolor", 65280));
    settings_.AudioEx = ReadInt("AudioEx", 1) != 0;
    settings_.CloseHintMode = ReadInt("CloseHintMode", 0);
    settings_.MmsOutFormat = text("MmsOutFormat", "随机数字");
    settings_.TxtMaxLen = ReadInt("TxtMaxLen", 612);
    settings_.PicMaxH = ReadInt("PicMAX_H", 80);
    settings_.PicMaxW = ReadInt("PicMAX_W", 80);
    maker_.NameMode = ReadInt("NameMode", 0);
    maker_.FSmilPartName = text("mmsSmilName_", "0000.smil");
}

void TSettingsStore::SaveSettings() {
    // The whole file is rewritten once, atomically: the keys all new or all old.
    TIniEntries entries;
    auto text = [&](const char* key, const std::string& value) { entries.emplace_back(key, value); };
    auto WriteInt = [&](const char* key, int64_t value) { text(key, std::to_string(value)); };
    text("mmsTo", maker_.FTo);
    text("mmsCC", maker_.FCc);
    text("mmsBCC", maker_.FBcc);
    text("mmsSubject", maker_.FSubject);
    WriteInt("mmsClass", maker_.FMessageClass);
    text("mmsExpiryTime", DateTimeToText(maker_.FExpiryTime));
    text("mmsDeliveryTime", DateTimeToText(maker_.FDeliveryTime));
    WriteInt("mmsPriority", maker_.FPriority);
    WriteInt("mmsSenderVisibility", maker_.FSenderVisibility);
    WriteInt("mmsDeliveryReport", maker_.FDeliveryReport);
    WriteInt("mmsReadReply", maker_.FReadReply);
    WriteInt("mmsPicwidth", maker_.FPicBoxW);
    WriteInt("mmspicHeight", maker_.FPicBoxH);
    text("SmilName", settings_.SmilTemplateName);
    WriteInt("MmsMaxSize", settings_.MmsMaxSize);
    WriteInt("PicEncodeMode", maker_.FPicEncodeMode);
    text("PicEncodeInfo", maker_.FPicEncodeInfo);
    WriteInt("TxtTimeOptPs", settings_.TxtTimeOptPs);
    WriteInt("JPGCompressionQuality", maker_.FJpegQuality);
    // The colour is a 32-bit pattern; it goes out as the signed number it reads back as.
    WriteInt("Framecolor", static_cast<int32_t>(maker_.FPages.FrameColor));
    WriteInt("AudioEx", settings_.AudioEx ? 1 : 0);
    WriteInt("CloseHintMode", settings_.CloseHintMode);
    text("MmsOutFormat", settings_.MmsOutFormat);
    WriteInt("TxtMaxLen", settings_.TxtMaxLen);
    WriteInt("PicMAX_H", settings_.PicMaxH);
    WriteInt("PicMAX_W", settings_.PicMaxW);
    WriteInt("NameMode", maker_.NameMode);
    text("mmsSmilName_", maker_.FSmilPartName);
    profile_.WriteStrings(kSection, entries);
    if (access_ == &disk_) RemoveStaleTemporaries(profile_.Path());
}
