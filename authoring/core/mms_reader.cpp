// Reading a ".mms" file back into pages: the parts are unpacked into the temporary
// folder under their (cleaned) part names and the pages are rebuilt from the SMIL
// document's body (a page per "par" and per media element in its sequence); what
// the document does not place goes by the parts' order, attachments one per page.
// Text parts are read by their declared character set. The parts are written
// aside first and take their names only once the whole message is on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "message_editor.h"
#include "mms_maker.h"
#include "mms_reader_parse.h"
#include "part_staging.h"
#include "program_folders.h"
#include "regular_file.h"
#include "shared_procs.h"
#include "smil_body.h"
#include "text_codec.h"

namespace {

// Reads the file whole into a buffer of its own size and one zero byte after it:
// the file is held once, and nothing is zeroed first. A file above limit is not
// read (false). Throws when it cannot be opened or read, and for what is not a
// plain file: a pipe or a device would be read without end, and a pipe no one
// writes cannot hold the open either (OpenRegularFile).
bool ReadFileUpTo(const std::string& path, int32_t limit, std::unique_ptr<uint8_t[]>& buffer,
                  int32_t& len) {
    struct stat st;
    const int fd = OpenRegularFile(path, O_RDONLY, &st);
    if (fd < 0) throw std::runtime_error("无法打开文件 " + path + ": " + FileErrorText(errno));
    if (st.st_size > limit) {
        ::close(fd);
        return false;
    }
    // What was measured is read; a file that changes meanwhile is read as far as that.
    const size_t size = static_cast<size_t>(st.st_size);
    buffer = std::make_unique_for_overwrite<uint8_t[]>(size + 1);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer.get() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int readErr = errno;
            ::close(fd);
            buffer.reset();
            throw std::runtime_error("无法读取文件 " + path + ": " + FileErrorText(readErr));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    buffer[got] = 0;
    len = static_cast<int32_t>(got);
    return true;
}

void Inform(TMessageEditor& editor, const std::string& text) {
    editor.Questions().Ask("提示", text, TButtons::Ok, TIcon::Information);
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

// The pages a SMIL document gives (SmilPages), each with its duration and the
// parts its sources name.
void PagesFromSmil(TMmsMaker& maker, const std::string& smilData,
                   const std::vector<TReadPart>& parts, const std::set<std::string>& unpacked,
                   TMessageEditor& editor, const TFileOnPage& fileOnPage) {
    maker.FScratch = SplitLines(Cp936ToUtf8(smilData));
    const std::vector<TSmilPage> pages = SmilPages(JoinLines(maker.FScratch));
    for (const TSmilPage& smilPage : pages) {
        TPageModel* page = editor.NewPage();
        if (!page) page = maker.FPages.Selected();
        if (!page) break;

        // A duration that is not a whole number leaves the page's own.
        int32_t dur = 0;
        if (smilPage.HasDur && SmilDuration(smilPage.Dur, dur)) page->SetPlayTime(dur);

        for (const std::string& source : smilPage.Sources) {
            const std::string written = RemoveTextIgnoreCase(source, "\"");
            if (Trim(written).empty()) continue;
            const std::string name = ResolveReference(written, parts, unpacked);
            // A reference to no part of this message is not filed.
            if (name.empty()) continue;
            // A second part for a slot this page has filled (two texts, a video and
            // a sound that are both attachments here) would put the first out:
            // it goes with the parts left over.
            if (!page->Slot(TPageModel::SlotByType(name)).File.empty()) continue;

            fileOnPage(*page, name);
        }
    }
}

// Without a SMIL document, or for the parts it leaves over: the parts in their
// order, each into its slot on the current page, and a new page when that slot is
// taken (the first on a new page). Parts that fit no slot are left for the
// attachments.
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

// Rewrites an unpacked text part the way the program keeps its text files: read by
// its declared character set, each line ended by CR LF, ANSI where that reads back
// the same, else UTF-8 (StoredTextBytes). Bytes that are the program's ANSI text
// already keep their form. The part's bytes are let go before the text is stored,
// and the text is not copied on the way.
void StoreTextPart(const std::string& file, uint32_t charset) {
    bool ansiKept = false;
    std::string text = PartTextAsUtf8(ReadFileBytes(file), charset, ansiKept);
    if (ansiKept) return;
    text = CrLfLines(std::move(text));
    TPartStaging::ReplaceWorkingFile(file, StoredTextBytes(text));
}

// The text a size beyond the reader's bound is told with: the user's files by the
// program's own words; the larger bound of the autosave with its figure.
std::string TooLargeText(int32_t bound) {
    if (bound <= kMaxMmsSize) return "彩信文件太大";
    return "彩信文件太大（超过 " + SizeBoundText(bound) + "），未能读取";
}

}  // namespace

void TMmsMaker::LoadMms(const std::string& path, TMessageEditor& editor) {
    FMessageRead = false;
    const int32_t bound = std::max(FMaxFileSize, kMaxMmsSize);
    FBufLen = 0;
    FBufPos = 0;
    if (!ReadFileUpTo(path, bound, FBuffer, FBufLen)) {
        Inform(editor, TooLargeText(bound));
        return;
    }
    // The file is needed only until its parts are on disk.
    struct TRelease {
        TMmsMaker& M;
        ~TRelease() {
            M.FBuffer.reset();
            M.FBufLen = 0;
        }
    } release{*this};
    const uint8_t* buf = FBuffer.get();

    // A file that holds no message (a notification, a report, a failed retrieve) is
    // told for what it is, before anything of the current message changes.
    if (const std::string what = NoMessageText(buf, FBufLen); !what.empty()) {
        Inform(editor, what);
        return;
    }

    // The body starts where the header ends: found by walking the header's fields,
    // whatever their order; a header that cannot be walked is searched for the
    // Content-Type's "smil" as before.
    int32_t count = 0;
    std::string subject;
    TMessageHead head;
    // A message whose body is not multipart is its one part: its Content-Type is
    // the part's, the rest of the file its data.
    bool singlePart = false;
    if (ReadMessageHead(buf, FBufLen, head)) {
        singlePart = !IsMultipartType(
            ReadPartHeaders(buf, FBufLen, head.TypePos, head.BodyPos - head.TypePos));
        int32_t pos = head.BodyPos;
        uint32_t c = 0;
        // A count cut off by the end of the file counts as none.
        if (!TryReadUintvar(buf, FBufLen, pos, c)) c = 0;
        count = singlePart ? 1 : static_cast<int32_t>(c);
        if (singlePart) pos = head.BodyPos;
        FBufPos = pos;
        subject = head.Subject;
    } else {
        int32_t smilPos = 0;
        count = FindEntryCount(buf, FBufLen, FBufPos, smilPos);
        subject = ReadSubject(buf, FBufLen, smilPos);
    }
    if (!UsableEntryCount(count, bound)) {
        Inform(editor, "解析出错:未能找到有效的文件个数 " + std::to_string(count));
        return;
    }

    // Unpack the parts. An entry that runs past the loaded bytes ends the unpacking:
    // its headers must be whole; of its data, what is there is kept. Every part gets
    // a file of its own: a part without a name takes its Content-ID, and a name
    // another part of the message took already is made distinct. The parts are
    // staged until all are written: a part that cannot be written leaves the
    // message on the pages and its files as they were.
    FAddrList.clear();
    std::vector<TReadPart> parts;
    std::set<std::string> unpacked;
    std::string smilData;
    bool haveSmil = false;
    TPartStaging staging(TempDir);
    for (int32_t n = 0; n < count; ++n) {
        int32_t pos = FBufPos;
        uint32_t h = 0, d = 0;
        if (singlePart) {
            pos = head.TypePos;
            h = static_cast<uint32_t>(head.BodyPos - head.TypePos);
            d = static_cast<uint32_t>(FBufLen - head.BodyPos);
        } else if (!TryReadUintvar(buf, FBufLen, pos, h) || !TryReadUintvar(buf, FBufLen, pos, d)) {
            break;
        }
        const int64_t dataStart = static_cast<int64_t>(pos) + h;
        if (dataStart > FBufLen) break;
        const TPartHeaders headers = ReadPartHeaders(buf, FBufLen, pos, h);
        TReadPart part;
        // The content type's Name (or file name) parameter, as the walk of its
        // value finds it: the first 85 or 8E byte may be a value before it (the
        // character set iso-8859-2 is 85). Else the part name that byte marks,
        // which also takes 8-bit names written without their quote.
        part.Name =
            Cp936ToUtf8(!headers.Name.empty() ? headers.Name : ReadPartName(buf, FBufLen, pos, h));
        part.Location = Cp936ToUtf8(headers.Location);
        part.ContentId = Cp936ToUtf8(headers.ContentId);
        part.Charset = headers.Charset;
        const std::string name =
            DistinctName(PartFileName(part.Name, part.ContentId, headers), unpacked);
        part.File = name;
        const int64_t take = std::min<int64_t>(d, FBufLen - dataStart);
        std::string_view data(reinterpret_cast<const char*>(buf) + dataStart,
                              static_cast<size_t>(take));
        std::string decoded;
        if (DecodeTransferEncoding(headers.TransferEncoding, data, decoded)) data = decoded;
        if (name.find("smil") != std::string::npos || headers.ContentType == "application/smil") {
            // A later SMIL part replaces an earlier one.
            smilData.assign(data);
            haveSmil = true;
        } else {
            FAddrList.push_back(name);
        }
        // Under a name of its own until the message is whole; never through a link.
        if (!staging.Add(name, data)) break;
        unpacked.insert(name);
        parts.push_back(std::move(part));
        FBufPos = static_cast<int32_t>(dataStart + take);
        if (take < static_cast<int64_t>(d)) break;
    }
    if (staging.Failed()) {
        FAddrList.clear();
        Inform(editor, "彩信未能打开：" + path + "\r\n" + staging.Failure());
        return;
    }
    FBuffer.reset();

    // The new message is whole: it takes the place of the one on the pages.
    editor.NewMessage();
    editor.ShowSubject(Trim(subject).empty() ? std::string() : "主题:" + subject);
    const std::map<std::string, std::string> files = staging.Commit();
    auto fileNamed = [&](const std::string& name) {
        const auto f = files.find(name);
        return f != files.end() ? f->second : TempDir + name;
    };
    editor.Pump().ProcessMessages();

    // Text parts travel in the character set their type declares; on disk the
    // program keeps ANSI text where that reads back the same, else UTF-8
    // (StoredTextBytes). Each file is converted once, however often it is filed.
    std::set<std::string> converted;
    auto fileOf = [&](const std::string& name) {
        const std::string file = fileNamed(name);
        if (LowerAscii(ExtractFileExt(name)) == ".txt" && converted.insert(name).second) {
            uint32_t charset = 0;
            for (const auto& p : parts)
                if (p.File == name) charset = p.Charset;
            try {
                StoreTextPart(file, charset);
            } catch (const std::exception&) {
                // The part stays as it came; the page reads it by its form.
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

    // What the SMIL document does not place (everything, where it gives no page)
    // is placed by the parts' order: nothing received is lost.
    if (haveSmil) PagesFromSmil(*this, smilData, parts, unpacked, editor, fileOnPage);
    PagesInPartOrder(*this, editor, fileOnPage);

    // Leftover parts: one attachment per page from the first page on, past pages
    // whose attachment the SMIL document placed; each that finds no page gets a
    // page of its own.
    for (size_t i = 0; !FAddrList.empty(); ++i) {
        while (i < FPages.Items.size() && !FPages.Items[i]->Slot(mkAttach).File.empty()) ++i;
        TPageModel* page = nullptr;
        if (i < FPages.Items.size())
            page = FPages.Items[i].get();
        else
            page = editor.NewPage();
        if (!page) break;
        page->AddFileByType(fileNamed(FAddrList.front()), true);
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
