// Reading a ".mms" file back into pages: the parts are unpacked into the temporary
// folder under their (cleaned) part names and the pages are rebuilt from the SMIL
// document, one page per "par" element (without one, from the parts in their
// order); parts the SMIL does not name become attachments, one per page. Text parts
// are read by their declared character set.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

#include "message_editor.h"
#include "mms_maker.h"
#include "mms_reader_parse.h"
#include "program_folders.h"
#include "regular_file.h"
#include "shared_procs.h"
#include "text_codec.h"

namespace {

// Reads the file, at most limit + 1 bytes of it (one more than the limit tells a
// file that is too large, or grew since it was measured); throws when it cannot be
// read.
std::vector<uint8_t> ReadFileUpTo(const std::string& path, int64_t limit) {
    FILE* f = OpenRegularStream(path);
    if (!f) throw std::runtime_error("无法打开文件 " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    const int64_t want = limit + 1;
    while (static_cast<int64_t>(bytes.size()) < want) {
        const size_t at = bytes.size();
        const size_t chunk =
            static_cast<size_t>(std::min<int64_t>(want - static_cast<int64_t>(at), 1 << 20));
        bytes.resize(at + chunk);
        const size_t n = std::fread(bytes.data() + at, 1, chunk, f);
        bytes.resize(at + n);
        if (n < chunk) break;
    }
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) throw std::runtime_error("无法读取文件 " + path);
    return bytes;
}

void Inform(TMessageEditor& editor, const std::string& text) {
    editor.Questions().Ask("提示", text, TButtons::Ok, TIcon::Information);
}

// The duration of a "par" element in the unit SetPlayTime takes, when it has one
// that reads as a whole number.
bool ParDuration(const std::string& element, int32_t& value) {
    const size_t d = element.find("dur=");
    if (d == std::string::npos) return false;
    std::string v = element.substr(std::min(d + 5, element.size()));
    v = v.substr(0, v.find('"'));
    for (const char* what : {"\"", " ", "ms", "s"}) v = RemoveTextIgnoreCase(v, what);
    return TryStrToInt(v, value);
}

// One unpacked part: its file in the temporary folder and the names the message
// gives it (UTF-8, as they stand).
struct TReadPart {
    std::string File, Name, Location, ContentId;
    uint32_t Charset = 0;  // of a text part, as declared; 0 for none
};

// name, or name with "_1", "_2", ... before its extension when another part of the
// message has the file name already.
std::string DistinctName(const std::string& name, const std::set<std::string>& taken) {
    if (!taken.count(name)) return name;
    const std::string ext = ExtractFileExt(name);
    const std::string stem = name.substr(0, name.size() - ext.size());
    for (int i = 1;; ++i) {
        std::string candidate = stem + "_" + std::to_string(i) + ext;
        if (!taken.count(candidate)) return candidate;
    }
}

bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameTextAscii(s.substr(0, prefix.size()), prefix);
}

// The file of the part a SMIL reference names, or "" when it names none: "cid:X"
// by Content-ID, anything else by Content-Location or name, then by Content-ID;
// last the reference without blanks, "cid" and ":" as a file name.
std::string ResolveReference(const std::string& written, const std::vector<TReadPart>& parts,
                             const std::set<std::string>& files) {
    const std::string ref = Trim(written);
    auto byId = [&](const std::string& id) -> const TReadPart* {
        for (const auto& p : parts)
            if (!p.ContentId.empty() && p.ContentId == id) return &p;
        return nullptr;
    };
    if (StartsWithIgnoreCase(ref, "cid:")) {
        if (const TReadPart* p = byId(WithoutAngles(Trim(ref.substr(4))))) return p->File;
    } else {
        for (const auto& p : parts)
            if ((!p.Location.empty() && p.Location == ref) || (!p.Name.empty() && p.Name == ref))
                return p.File;
        if (files.count(CleanPartName(ref))) return CleanPartName(ref);
        if (const TReadPart* p = byId(WithoutAngles(ref))) return p->File;
    }
    std::string bare = written;
    for (const char* what : {" ", "cid", ":id", ":"}) bare = RemoveTextIgnoreCase(bare, what);
    const std::string name = CleanPartName(bare);
    return files.count(name) ? name : std::string();
}

using TFileOnPage = std::function<void(TPageModel&, const std::string&)>;

// The pages a SMIL document gives: one per "par" element, with its duration and
// the parts its sources name.
void PagesFromSmil(TMmsMaker& maker, const std::string& smilData,
                   const std::vector<TReadPart>& parts, const std::set<std::string>& unpacked,
                   TMessageEditor& editor, const TFileOnPage& fileOnPage) {
    maker.FScratch = SplitLines(Cp936ToUtf8(smilData));
    const std::string t = JoinLines(maker.FScratch);
    size_t from = 0;
    for (;;) {
        const size_t p = t.find("<par", from);
        if (p == std::string::npos) break;
        // An element without "</par>" runs to the end of the document.
        const size_t e = t.find("</par>", p);
        std::string element;
        if (e == std::string::npos) {
            element = t.substr(p);
            from = t.size();
        } else {
            element = t.substr(p, e + 6 - p);
            // Go on right after "</par>": the next element may follow at once.
            from = e + 6;
        }

        TPageModel* page = editor.NewPage();
        if (!page) page = maker.FPages.Selected();
        if (!page) break;

        // A duration that is not a whole number leaves the page's own.
        int32_t dur = 0;
        if (ParDuration(element, dur)) page->SetPlayTime(dur);

        std::string rest = element;
        for (size_t s = rest.find("src"); s != std::string::npos; s = rest.find("src")) {
            rest.erase(0, std::min(s + 5, rest.size()));
            const size_t q = rest.find('"');
            const std::string raw = q == std::string::npos ? std::string() : rest.substr(0, q + 1);
            const std::string written = RemoveTextIgnoreCase(raw, "\"");
            if (Trim(written).empty()) continue;
            const std::string name = ResolveReference(written, parts, unpacked);
            // A reference to no part of this message is not filed.
            if (name.empty()) continue;

            fileOnPage(*page, name);
        }
    }
}

// Without a SMIL document: the parts in their order, each into its slot on the
// current page, and a new page when that slot is taken. Parts that fit no slot are
// left for the attachments.
void PagesInPartOrder(TMmsMaker& maker, TMessageEditor& editor, const TFileOnPage& fileOnPage) {
    TPageModel* page = nullptr;
    const TStringList names = maker.FAddrList;
    for (const std::string& name : names) {
        const TMediaKind slot = TPageModel::SlotByType(name);
        if (slot == mkAttach) continue;
        if (!page || !page->Slot(slot).File.empty()) {
            page = editor.NewPage();
            if (!page) page = maker.FPages.Selected();
            if (!page) return;
        }
        fileOnPage(*page, name);
    }
}

// The text a size beyond the reader's bound is told with: the user's files by the
// program's own words; the larger bound of the autosave with its figure.
std::string TooLargeText(int32_t bound) {
    if (bound <= kMaxMmsSize) return "彩信文件太大";
    const bool mb = bound % (1024 * 1024) == 0;
    return "彩信文件太大（超过 " + std::to_string(mb ? bound / (1024 * 1024) : bound / 1024) +
           (mb ? " MB" : " KB") + "），未能读取";
}

}  // namespace

void TMmsMaker::LoadMms(const std::string& path, TMessageEditor& editor) {
    FMessageRead = false;
    const int32_t bound = std::max(FMaxFileSize, kMaxMmsSize);
    if (QueryFileSize(path) > bound) {
        Inform(editor, TooLargeText(bound));
        return;
    }
    std::vector<uint8_t> file = ReadFileUpTo(path, bound);
    if (static_cast<int64_t>(file.size()) > bound) {
        Inform(editor, TooLargeText(bound));
        return;
    }
    FBufLen = static_cast<int32_t>(file.size());
    // At least one zero byte after the loaded ones.
    file.push_back(0);
    FBuffer = std::move(file);
    FBufPos = 0;
    const uint8_t* buf = FBuffer.data();

    // The body starts where the header ends: found by walking the header's fields,
    // whatever their order; a header that cannot be walked is searched for the
    // Content-Type's "smil" as before.
    int32_t count = 0;
    std::string subject;
    TMessageHead head;
    if (ReadMessageHead(buf, FBufLen, head)) {
        int32_t pos = head.BodyPos;
        uint32_t c = 0;
        // A count cut off by the end of the file counts as none.
        if (!TryReadUintvar(buf, FBufLen, pos, c)) c = 0;
        count = static_cast<int32_t>(c);
        FBufPos = pos;
        subject = head.Subject;
    } else {
        int32_t smilPos = 0;
        count = FindEntryCount(buf, FBufLen, FBufPos, smilPos);
        subject = ReadSubject(buf, FBufLen, smilPos);
    }
    if (count <= 0 || count > 500) {
        Inform(editor, "解析出错:未能找到有效的文件个数 " + std::to_string(count));
        return;
    }

    editor.ShowSubject(Trim(subject).empty() ? std::string() : "主题:" + subject);

    // Unpack the parts. An entry that runs past the loaded bytes ends the unpacking:
    // its headers must be whole; of its data, what is there is kept. Every part gets
    // a file of its own: a part without a name takes its Content-ID, and a name
    // another part of the message took already is made distinct.
    FAddrList.clear();
    std::vector<TReadPart> parts;
    std::set<std::string> unpacked;
    std::string smilData;
    bool haveSmil = false;
    for (int32_t n = 0; n < count; ++n) {
        int32_t pos = FBufPos;
        uint32_t h = 0, d = 0;
        if (!TryReadUintvar(buf, FBufLen, pos, h) || !TryReadUintvar(buf, FBufLen, pos, d)) break;
        const int64_t dataStart = static_cast<int64_t>(pos) + h;
        if (dataStart > FBufLen) break;
        const TPartHeaders headers = ReadPartHeaders(buf, FBufLen, pos, h);
        TReadPart part;
        part.Name = Cp936ToUtf8(ReadPartName(buf, FBufLen, pos, h));
        part.Location = Cp936ToUtf8(headers.Location);
        part.ContentId = Cp936ToUtf8(headers.ContentId);
        part.Charset = headers.Charset;
        // Named only by its Content-ID, or by a name without an extension: the type
        // gives the extension the page files it by.
        std::string name = CleanPartName(!part.Name.empty() ? part.Name : part.ContentId);
        if ((!part.Name.empty() || !part.ContentId.empty()) && ExtractFileExt(name).empty())
            name += ExtensionOfType(headers);
        name = DistinctName(name, unpacked);
        part.File = name;
        const int64_t take = std::min<int64_t>(d, FBufLen - dataStart);
        const std::string_view data(reinterpret_cast<const char*>(buf) + dataStart,
                                    static_cast<size_t>(take));
        if (name.find("smil") != std::string::npos || headers.ContentType == "application/smil") {
            // A later SMIL part replaces an earlier one.
            smilData.assign(data);
            haveSmil = true;
        } else {
            FAddrList.push_back(name);
        }
        // Never through a link left in the temporary folder.
        WriteNewFile(TempDir + name, data);
        unpacked.insert(name);
        parts.push_back(std::move(part));
        FBufPos = static_cast<int32_t>(dataStart + take);
        if (take < static_cast<int64_t>(d)) break;
    }

    editor.NewMessage();
    editor.Pump().ProcessMessages();

    // Text parts travel in the character set their type declares; on disk the
    // program keeps ANSI text where that reads back the same, else UTF-8
    // (StoredTextBytes). Each file is converted once, however often it is filed.
    std::set<std::string> converted;
    auto fileOf = [&](const std::string& name) {
        const std::string file = TempDir + name;
        if (LowerAscii(ExtractFileExt(name)) == ".txt" && converted.insert(name).second) {
            uint32_t charset = 0;
            for (const auto& p : parts)
                if (p.File == name) charset = p.Charset;
            bool ansiKept = false;
            const std::string text = PartTextAsUtf8(ReadFileBytes(file), charset, ansiKept);
            // Bytes that are the program's ANSI text already keep their form.
            if (!ansiKept) {
                FScratch = SplitLines(text);
                WriteNewFile(file, StoredTextBytes(JoinLines(FScratch)));
            }
        }
        return file;
    };
    auto fileOnPage = [&](TPageModel& page, const std::string& name) {
        try {
            page.AddFileByType(fileOf(name), false);
        } catch (const std::exception&) {
            // A picture the window cannot show stays filed on its page; the rest
            // of the message is still read.
        }
        FAddrList.erase(std::remove(FAddrList.begin(), FAddrList.end(), name), FAddrList.end());
    };

    if (haveSmil)
        PagesFromSmil(*this, smilData, parts, unpacked, editor, fileOnPage);
    else
        PagesInPartOrder(*this, editor, fileOnPage);

    // Leftover parts: one attachment per page from the first page on. Without a
    // SMIL document nothing tells where they belong, and none is left behind: each
    // that finds no page gets a page of its own.
    for (size_t i = 0; !FAddrList.empty(); ++i) {
        TPageModel* page = nullptr;
        if (i < FPages.Items.size())
            page = FPages.Items[i].get();
        else if (!haveSmil)
            page = editor.NewPage();
        if (!page) break;
        page->AddFileByType(TempDir + FAddrList.front(), true);
        FAddrList.erase(FAddrList.begin());
    }
    FMessageRead = true;
}

bool ReadAutosave(TMmsMaker& maker, const std::string& path, TQuestions& questions,
                  const std::function<void()>& read, int32_t bound) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(path, ec)) return true;
    const int32_t userBound = maker.FMaxFileSize;
    maker.FMaxFileSize = bound;
    maker.FMessageRead = false;
    try {
        read();
    } catch (const std::exception&) {
        // Whatever was read stays; the start goes on.
        maker.FMessageRead = false;
    }
    maker.FMaxFileSize = userBound;
    if (maker.FMessageRead) return true;
    // An empty file, or anything but a file, holds no work.
    const auto size = fs::file_size(path, ec);
    if (ec || size == 0) return true;
    if (KeepUnreadAutosave(path, questions)) return true;
    questions.Ask(
        "提示",
        "未能读取上次自动保存的彩信，也无法将它另存；它留在原处，关闭时不会被覆盖：\r\n" + path,
        TButtons::Ok, TIcon::Information);
    return false;
}
