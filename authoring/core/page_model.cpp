#include "page_model.h"

#include <cstdio>

#include "shared_procs.h"
#include "text_codec.h"

int TPageList::IndexOf(const TPageModel* page) const {
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i].get() == page) return static_cast<int>(i);
    return -1;
}

TPageModel* TPageList::Selected() const {
    for (const auto& p : Items)
        if (p->FSelected) return p.get();
    return nullptr;
}

int TPageList::SelectedIndex() const { return IndexOf(Selected()); }

TPageModel* TPageList::InsertAfterSelected() {
    const int current = SelectedIndex();
    const size_t at = current < 0 ? Items.size() : static_cast<size_t>(current) + 1;
    auto it = Items.insert(Items.begin() + static_cast<std::ptrdiff_t>(at),
                           std::make_unique<TPageModel>(this));
    return it->get();
}

TPageModel::TPageModel(TPageList* pages) : FPages(pages) {}

void TPageModel::Changed() {
    if (FView) FView->PageChanged(*this);
}

void TPageModel::UpdatePageCaption() {
    int n = FPages ? FPages->IndexOf(this) + 1 : 0;
    FCaption = "第" + std::to_string(n) + "页";
    Changed();
}

void TPageModel::SelectPage() {
    if (!FPages) return;
    for (auto& item : FPages->Items) {
        TPageModel* p = item.get();
        if (p != this) {
            // Only a page whose look changes is shown again: a message of
            // thousands of pages would otherwise redraw them all for each one.
            if (!p->FSelected && p->FColor == clCream) continue;
            p->FSelected = false;
            p->FColor = clCream;
            p->Changed();
        } else {
            if (p->FColor != clLime) p->FColor = FPages->FrameColor;
            p->FSelected = true;
            p->Changed();
        }
    }
    if (FPages->Pump) FPages->Pump->ProcessMessages();
}

std::string TPageModel::TextPreview(const std::string& ansiText) {
    // Line breaks go, then blanks and control characters at both ends.
    std::string flat;
    flat.reserve(ansiText.size());
    for (char c : ansiText)
        if (c != '\r' && c != '\n') flat += c;
    flat = Trim(flat);
    // The cuts fall between whole characters: a double-byte character split at
    // byte 20 or 36 would garble the rest of the preview.
    auto boundaryAtOrBefore = [&](size_t limit) {
        size_t i = 0;
        while (i < flat.size()) {
            const auto c = static_cast<unsigned char>(flat[i]);
            const size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < flat.size()) ? 2 : 1;
            if (i + len > limit) break;
            i += len;
        }
        return i;
    };
    std::string preview = flat.substr(0, boundaryAtOrBefore(36)) + "...";
    if (preview.size() > 20) {
        flat = preview;
        preview.insert(boundaryAtOrBefore(20), "\r\n");
    }
    return preview;
}

namespace {

// The length of the longest start of a text's bytes (after its mark), at most n,
// that ends between two characters of its form.
size_t WholeCharacters(std::string_view body, TTextForm form, size_t n) {
    if (n >= body.size()) return body.size();
    auto at = [&](size_t i) { return static_cast<unsigned char>(body[i]); };
    if (IsUtf8Form(form)) {
        while (n > 0 && (at(n) & 0xC0) == 0x80) --n;
        return n;
    }
    if (form == TTextForm::Ansi) {
        size_t i = 0;
        for (size_t len = 1; i + len <= n; i += len) len = at(i) >= 0x81 && at(i) <= 0xFE ? 2 : 1;
        return i;
    }
    // UTF-16: whole units, never between the two halves of a pair.
    n &= ~size_t{1};
    if (n >= 2) {
        const unsigned unit =
            form == TTextForm::Utf16Le ? at(n - 2) | at(n - 1) << 8 : at(n - 2) << 8 | at(n - 1);
        if (unit >= 0xD800 && unit < 0xDC00) n -= 2;
    }
    return n;
}

// Whether the ANSI text, without its line breaks, has a byte that is not a blank
// more than 36 bytes after its first such byte: the preview of any text that
// starts so is the same.
bool PreviewSettled(std::string_view ansi) {
    size_t seen = 0;
    bool started = false;
    for (char ch : ansi) {
        if (ch == '\r' || ch == '\n') continue;
        const bool blank = static_cast<unsigned char>(ch) <= 32;
        if (!started && blank) continue;
        started = true;
        if (!blank && seen > 36) return true;
        ++seen;
    }
    return false;
}

// The ANSI form of a text file's bytes as a page reads them (TextFileAsUtf8), or of
// as much of their start as its preview depends on: a long text is not converted
// whole, only by growing stretches until the preview is settled.
std::string PreviewAnsi(std::string_view bytes) {
    const TTextForm form = TextFormOf(bytes);
    const size_t mark = TextMark(form).size();
    for (size_t want = 4096;; want *= 8) {
        const size_t n = mark + WholeCharacters(bytes.substr(mark), form, want);
        const std::string_view piece = bytes.substr(0, n);
        std::string utf8 = form == TTextForm::Ansi ? Cp936ToUtf8(piece)
                           : IsUtf8Form(form)      ? std::string(piece.substr(mark))
                                                   : Utf16ToUtf8(DecodeUnicodeText(piece, form));
        bool whole = n >= bytes.size();
        const size_t nul = utf8.find('\0');
        if (nul != std::string::npos) {
            utf8.resize(nul);
            whole = true;
        }
        std::string ansi = Utf8ToCp936(utf8);
        if (whole || PreviewSettled(ansi)) return ansi;
    }
}

}  // namespace

void TPageModel::SetMedia(const std::string& text, const std::string& picture,
                          const std::string& audio, const std::string& attach, int32_t seconds) {
    if (!text.empty()) {
        FSlots[mkText].File = text;
        FSlots[mkText].Ext = ExtractFileExt(text);
        // The preview counts the bytes of the ANSI form of the text the message carries.
        std::string preview = TextPreview(PreviewAnsi(ReadFileBytes(text)));
        FTextCaption = Cp936ToUtf8(preview);
        FTextBold = true;
        Changed();
    }
    if (!picture.empty()) {
        FSlots[mkPicture].File = picture;
        FSlots[mkPicture].Ext = ExtractFileExt(picture);
        FHasPicture = true;
        if (FView) FView->ShowPicture(*this, picture);
    }
    if (!audio.empty()) {
        FSlots[mkAudio].File = audio;
        FSlots[mkAudio].Ext = ExtractFileExt(audio);
        FAudioCaption = ExtractFileName(audio) + " ...";
        FAudioBold = true;
        Changed();
    }
    if (!attach.empty()) {
        FSlots[mkAttach].File = attach;
        FSlots[mkAttach].Ext = ExtractFileExt(attach);
    }
    if (seconds > 0) FPlayTime = seconds;
}

void TPageModel::ClearMedia(int kind) {
    switch (kind) {
        case mkText:
            FSlots[mkText].File.clear();
            FTextCaption = "点此添加文字";
            FTextBold = false;
            break;
        case mkPicture:
            FSlots[mkPicture].File.clear();
            FHasPicture = false;
            break;
        case mkAudio:
            FSlots[mkAudio].File.clear();
            FAudioCaption = "点此添加声音";
            FAudioBold = false;
            break;
        case mkAttach:
            FSlots[mkAttach].File.clear();
            break;
        default:
            return;
    }
    Changed();
}

void TPageModel::SetPlayTime(int32_t v) {
    FPlayTime = v < 1000 ? v : v / 1000;
    FPlayTimeText = std::to_string(FPlayTime) + "秒";
    Changed();
}

TMediaKind TPageModel::SlotByType(const std::string& path) {
    const std::string e = LowerAscii(ExtractFileExt(path));
    if (e == ".txt") return mkText;
    if (e == ".gif" || e == ".jpg" || e == ".jpeg" || e == ".png") return mkPicture;
    if (e == ".mid" || e == ".midi" || e == ".mp3" || e == ".wav" || e == ".zur") return mkAudio;
    return mkAttach;
}

void TPageModel::AddFileByType(const std::string& path, bool attachment) {
    switch (attachment ? mkAttach : SlotByType(path)) {
        case mkText:
            SetMedia(path, "", "", "", 0);
            break;
        case mkPicture:
            SetMedia("", path, "", "", 0);
            break;
        case mkAudio:
            SetMedia("", "", path, "", 0);
            break;
        default:
            SetMedia("", "", "", path, 0);
            break;
    }
}

int32_t TPageModel::MediaCount() const {
    int32_t n = 0;
    for (const auto& s : FSlots)
        if (!s.File.empty()) ++n;
    return n;
}

const TStringList& TPageModel::GetSmilPar(std::string& partCounter, int32_t nameMode,
                                          TRandomSource& rng) {
    rng.Reseed();
    FLines.clear();
    FLines.push_back("<par dur=\"" + std::to_string(static_cast<int64_t>(FPlayTime) * 1000) + "ms\">");
    static const TMediaKind order[] = {mkPicture, mkText, mkAudio, mkAttach};
    for (TMediaKind k : order) {
        TMediaSlot& slot = FSlots[k];
        if (slot.File.empty()) continue;
        int32_t next = StrToInt(partCounter) + 1;
        char buf[16];
        std::snprintf(buf, sizeof(buf), "%.4d", next);
        partCounter = buf;
        slot.PartName = (nameMode == 0 ? partCounter : RandomString(4, rng)) + slot.Ext;
        if (k == mkPicture && slot.Ext == ".bmp") slot.PartName = ChangeFileExt(slot.PartName, ".jpg");
        switch (k) {
            case mkPicture:
                FLines.push_back("<img src=\"" + slot.PartName + "\" region=\"image\"/>");
                break;
            case mkText:
                FLines.push_back("<text src=\"" + slot.PartName + "\" region=\"text\"/>");
                break;
            case mkAudio:
                FLines.push_back("<audio src=\"" + slot.PartName + "\"/>");
                break;
            default:
                break;
        }
    }
    FLines.push_back("</par>");
    return FLines;
}
