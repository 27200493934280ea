#include "mms_maker.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "shared_procs.h"
#include "text_codec.h"

TMmsMaker::TMmsMaker(TRandomSource& rng, std::string tempDir)
    : TempDir(std::move(tempDir)), Rng(rng) {}

TMmsMaker::~TMmsMaker() { ClearPages(); }

void TMmsMaker::ClearPages() { FPages.Clear(); }

int32_t TMmsMaker::CountParts() const {
    int32_t n = 0;
    for (const auto& p : FPages.Items) n += p->MediaCount();
    return n;
}

std::string TMmsMaker::EncodeUintvar(uint32_t value) {
    char groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    std::string out;
    for (int i = n - 1; i >= 0; --i) out += static_cast<char>(groups[i] | (i > 0 ? 0x80 : 0));
    return out;
}

std::string EncodeValueLength(uint32_t len) {
    if (len < 31) return std::string(1, static_cast<char>(len));
    return std::string(1, '\x1F') + TMmsMaker::EncodeUintvar(len);
}

std::string TMmsMaker::StartText() const {
    return FSmilPartName == "0000.smil" ? std::string("<0000>") : "<" + FSmilPartName + ">";
}

TStringList SplitAddressItems(const std::string& addresses) {
    // The text ends at a zero byte: every address field is closed by one, so a zero
    // inside an item would cut the field and turn its tail into false header bytes.
    std::string s = addresses.substr(0, addresses.find('\0'));
    for (char& c : s)
        if (c == ',' || c == ';' || c == '|') c = ' ';
    TStringList items;
    size_t i = 0;
    auto isSep = [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u >= 0x01 && u <= 0x20;
    };
    while (i < s.size()) {
        while (i < s.size() && isSep(s[i])) ++i;
        if (i >= s.size()) break;
        std::string item;
        if (s[i] == '"') {
            ++i;
            while (i < s.size()) {
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += s[i++];
            }
            if (item.empty()) continue;
        } else {
            while (i < s.size() && !isSep(s[i])) item += s[i++];
        }
        items.push_back(item);
    }
    return items;
}

void TMmsMaker::WriteAddressFields(uint8_t field, const std::string& addresses) {
    FAddrList = SplitAddressItems(addresses);
    for (const auto& item : FAddrList) {
        FOut += static_cast<char>(field);
        FOut += Utf8ToCp936(item);
        FOut += "/TYPE=PLMN";
        FOut += '\0';
    }
}

void TMmsMaker::WriteHeader() {
    FOut.clear();
    FOut += "\x8C\x80";
    FOut += '\x98';
    FOut += RandomDigits(4, Rng);
    FOut += '\0';
    FOut += "\x8D\x90";
    FOut += "\x89\x01\x81";
    WriteAddressFields(0x97, FTo);
    WriteAddressFields(0x82, FCc);
    WriteAddressFields(0x81, FBcc);
    if (!FSubject.empty()) {
        // The subject goes into the message as UTF-8, which is its in-memory form;
        // passing it through CP936 first keeps what the ANSI program could hold.
        std::string utf8 = Cp936ToUtf8(Utf8ToCp936(FSubject));
        FOut += '\x96';
        FOut += '\x1F';
        FOut += EncodeUintvar(static_cast<uint32_t>(utf8.size() + 3));
        FOut += '\xEA';
        FOut += '\x7F';
        FOut += utf8;
        FOut += '\0';
    }
    if (FDeliveryReport == 1) FOut += "\x86\x80";
    if (FDeliveryReport == 2) FOut += "\x86\x81";
    if (FSenderVisibility == 1) FOut += "\x94\x80";
    if (FSenderVisibility == 2) FOut += "\x94\x81";
    if (FReadReply == 1) FOut += "\x90\x80";
    if (FReadReply == 2) FOut += "\x90\x81";
    // Only a value of the field's range is written: 127 + any other value would
    // be a text or a long value to a reader, and swallow the fields after it.
    if (FMessageClass >= 1 && FMessageClass <= 4) {
        FOut += '\x8A';
        FOut += static_cast<char>(127 + FMessageClass);
    }
    if (FPriority >= 1 && FPriority <= 3) {
        FOut += '\x8F';
        FOut += static_cast<char>(127 + FPriority);
    }
    const std::string start = Utf8ToCp936(StartText());
    FOut += '\x84';
    FOut += EncodeValueLength(static_cast<uint32_t>(start.size() + 21));
    FOut += '\xB3';
    FOut += '\x89';
    FOut += "application/smil";
    FOut += '\0';
    FOut += '\x8A';
    FOut += start;
    FOut += '\0';
}

void TMmsMaker::AddPart(const std::string& partPath, const std::string& partName, bool attachment) {
    std::string path = partPath;
    std::string e = LowerAscii(ExtractFileExt(path));
    const bool recode = FPicEncodeMode != 1 &&
                        (e == ".jpg" || e == ".jpeg" || e == ".gif" || e == ".png" || e == ".bmp");
    std::string data = recode ? RecodedPictureData(path) : ReadFileBytes(path);
    e = LowerAscii(ExtractFileExt(path));
    const std::string name = Utf8ToCp936(partName);
    const uint32_t n = static_cast<uint32_t>(name.size());

    std::string headers;
    auto nameParam = [&] {
        headers += '\x85';
        headers += name;
        headers += '\0';
    };
    auto simple = [&](char ct, uint32_t extra) {
        headers += EncodeValueLength(n + extra);
        headers += ct;
    };
    if (e == ".smil") {
        headers += EncodeValueLength(n + 19);
        headers += "application/smil";
        headers += '\0';
        nameParam();
        headers += '\xC0';
        headers += '\x22';
        headers += Utf8ToCp936(StartText());
        headers += '\0';
    } else if (!attachment && (e == ".html" || e == ".txt")) {
        simple(e == ".html" ? '\x82' : '\x83', 5);
        headers += "\x81\xEA";
        nameParam();
    } else if (!attachment && (e == ".gif" || e == ".jpg" || e == ".jpeg" || e == ".png" || e == ".bmp")) {
        // A ".bmp" packed as it is travels as a picture; image/bmp has no
        // well-known code, so it goes under image/jpeg's like the name it carries.
        char ct = e == ".gif" ? '\x9D' : e == ".png" ? '\xA0' : '\x9E';
        simple(ct, 3);
        nameParam();
    } else if (!attachment && (e == ".mid" || e == ".midi" || e == ".mp3" || e == ".wav" || e == ".zur")) {
        std::string ct = (e == ".mid" || e == ".midi") ? "audio/midi"
                         : e == ".mp3"                 ? "audio/mp3"
                         : e == ".wav"                 ? "audio/wav"
                                                       : "audio/zur";
        headers += EncodeValueLength(static_cast<uint32_t>(ct.size()) + n + 3);
        headers += ct;
        headers += '\0';
        nameParam();
    } else {
        headers += '\x1F';
        headers += EncodeUintvar(n + 27);
        headers += "application/octet-stream";
        headers += '\0';
        nameParam();
    }
    headers += '\x8E';
    headers += name;
    headers += '\0';

    if (!attachment && (e == ".txt" || e == ".html")) {
        // The text up to its first zero character, sent as UTF-8, read by its form
        // like every text file (TextFileAsUtf8). A text longer than the old 300 KB
        // buffer is packed whole.
        data = TextFileAsUtf8(data);
    }
    FOut += EncodeUintvar(static_cast<uint32_t>(headers.size()));
    FOut += EncodeUintvar(static_cast<uint32_t>(data.size()));
    FOut += headers;
    FOut += data;
}

void TMmsMaker::SetSmilHead(std::string_view text) {
    std::string lower = LowerAscii(text);
    size_t b = lower.find("<head>");
    size_t start = b == std::string::npos ? 0 : b;
    size_t e = lower.find("</head>");
    // End is exclusive: through "</head>", or the text's first six characters.
    size_t end = e == std::string::npos ? std::min<size_t>(6, lower.size()) : e + 7;
    std::string block = end > start ? lower.substr(start, end - start) : std::string();
    FSmilHead = SplitLines(block + "\r\n");
}

void TMmsMaker::BuildSmil() {
    FSmilLines.clear();
    FSmilLines.push_back("<smil>");
    FSmilLines.insert(FSmilLines.end(), FSmilHead.begin(), FSmilHead.end());
    FSmilLines.push_back("<body>");
    for (auto& page : FPages.Items) {
        const TStringList& par = page->GetSmilPar(PartCounter, NameMode, Rng);
        FSmilLines.insert(FSmilLines.end(), par.begin(), par.end());
    }
    FSmilLines.push_back("</body>");
    FSmilLines.push_back("</smil>");
    // The name comes from the settings file; its folder part, if any, must not take
    // the document out of the temporary folder. The message keeps the name as it is.
    FSmilPath = TempDir + ExtractFileName(FSmilPartName);
    WriteNewFile(FSmilPath, Utf8ToCp936(JoinLines(FSmilLines)));
}

bool UsableEntryCount(int32_t count, int32_t bound) {
    return count > 0 && (bound > kMaxMmsSize || count <= kMaxUserEntries);
}

std::string SizeBoundText(int32_t bound) {
    const bool mb = bound % (1024 * 1024) == 0;
    return std::to_string(mb ? bound / (1024 * 1024) : bound / 1024) + (mb ? " MB" : " KB");
}

int32_t TMmsMaker::MakeMms(const std::string& outputPath, int32_t bound) {
    const int32_t entries = CountParts() + 1;
    auto refuse = [](const std::string& what) {
        throw std::runtime_error(what + "，保存后将无法再读取");
    };
    if (bound > 0 && !UsableEntryCount(entries, bound))
        refuse("彩信的文件个数超过 " + std::to_string(kMaxUserEntries));
    ParsePicEncodeInfo();
    WriteHeader();
    PartCounter = RandomDigits(4, Rng);
    FOut += EncodeUintvar(static_cast<uint32_t>(entries));
    BuildSmil();
    AddPart(FSmilPath, FSmilPartName, false);
    // Over the bound, the make stops at the part that passes it.
    auto fits = [&] { return bound <= 0 || FOut.size() <= static_cast<size_t>(bound); };
    for (auto& page : FPages.Items) {
        for (int k = mkText; k <= mkAttach && fits(); ++k) {
            const TMediaSlot& slot = page->FSlots[k];
            if (!slot.File.empty()) AddPart(slot.File, slot.PartName, k == mkAttach);
        }
    }
    if (!fits()) refuse("彩信超过 " + SizeBoundText(bound));
    WriteFileAtomically(outputPath, FOut);
    return static_cast<int32_t>(FOut.size() / 1000);
}

int32_t TMmsMaker::MakeCustomMms(const std::string& outputPath, const std::string& smilPath,
                                 const TStringList& files) {
    WriteHeader();
    FOut += EncodeUintvar(static_cast<uint32_t>(files.size() + 1));
    AddPart(smilPath, FSmilPartName, false);
    for (const auto& f : files) AddPart(f, ExtractFileName(f), false);
    WriteFileAtomically(outputPath, FOut);
    return static_cast<int32_t>(FOut.size() / 1000);
}
