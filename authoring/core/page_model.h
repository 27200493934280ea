// One page of a message as data: four media slots, a duration in whole seconds, the
// current-page flag, and the "par" element of the SMIL document that names its parts.
// The frame on screen (TFrameDispaly) shows what this holds.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services.h"
#include "string_list.h"

enum TMediaKind { mkText = 0, mkPicture = 1, mkAudio = 2, mkAttach = 3 };

struct TMediaSlot {
    std::string File;      // full path; empty means the slot holds nothing
    std::string Ext;       // extension as stored when filled, case kept
    std::string PartName;  // name inside the message, set by GetSmilPar
};

constexpr uint32_t clCream = 0xF0FBFF;
constexpr uint32_t clLime = 0x00FF00;

class TPageModel;

// Told when a page's shown data changes, so the frame can repaint it.
class TPageView {
public:
    virtual ~TPageView() = default;
    virtual void PageChanged(TPageModel& page) = 0;
    // Loads and shows the picture; throws when it cannot be loaded.
    virtual void ShowPicture(TPageModel& page, const std::string& path) = 0;
};

// The message's ordered page list (FPages); owns its pages.
class TPageList {
public:
    std::vector<std::unique_ptr<TPageModel>> Items;
    // The colour of the current page (from the settings).
    uint32_t FrameColor = clLime;
    // Lets the new colours paint at once when a page is selected.
    TMessagePump* Pump = nullptr;

    int Count() const { return static_cast<int>(Items.size()); }
    TPageModel* operator[](int i) const { return Items[static_cast<size_t>(i)].get(); }
    // 0-based position of a page, -1 when missing.
    int IndexOf(const TPageModel* page) const;
    // The current page, or nullptr.
    TPageModel* Selected() const;
    int SelectedIndex() const;
    // Makes a new page right after the current one (at the end when none is
    // current) and gives it; selecting it is the caller's.
    TPageModel* InsertAfterSelected();
    void Clear() { Items.clear(); }
};

class TPageModel {
public:
    explicit TPageModel(TPageList* pages);

    TPageList* FPages;
    TStringList FLines;
    bool FSelected = false;
    int32_t FPlayTime = 5;
    TMediaSlot FSlots[4];

    // What the frame shows.
    uint32_t FColor = clCream;
    std::string FCaption = "第 1 页";
    std::string FTextCaption = "点此添加文字";
    bool FTextBold = false;
    std::string FAudioCaption = "点此添加声音";
    bool FAudioBold = false;
    std::string FPlayTimeText = "5 秒";
    bool FHasPicture = false;
    // The text panel's colours as the text chooser last left them for this page;
    // they are the page's look only, never part of the message or the settings.
    // No font colour: the frame's own.
    uint32_t FTextPanelColor = clCream;
    std::optional<uint32_t> FTextFontColor;
    // A duration typed into the edit but not yet confirmed by the arrows, with
    // the duration text it was typed over: it shows until the duration changes.
    std::optional<std::string> FTypedPlayTime;
    std::string FTypedOver;

    TPageView* FView = nullptr;

    TMediaSlot& Slot(TMediaKind k) { return FSlots[k]; }
    const TMediaSlot& Slot(TMediaKind k) const { return FSlots[k]; }

    void UpdatePageCaption();
    // Makes this page the current one of its list.
    void SelectPage();
    void SetMedia(const std::string& text, const std::string& picture, const std::string& audio,
                  const std::string& attach, int32_t seconds);
    void ClearMedia(int kind);
    void SetPlayTime(int32_t v);
    void AddFileByType(const std::string& path, bool attachment);
    // The slot AddFileByType files a file that is not an attachment into, by its
    // extension.
    static TMediaKind SlotByType(const std::string& path);
    int32_t MediaCount() const;
    // Fills FLines with the page's "par" element and names its parts. partCounter
    // holds the running part number as decimal text and is advanced per named part;
    // nameMode 0 names by the counter, any other value by four random characters.
    const TStringList& GetSmilPar(std::string& partCounter, int32_t nameMode, TRandomSource& rng);

    // The text preview rule: the whole text (CP936 bytes), trimmed, line breaks
    // removed, cut to 36 bytes plus "...", with CR LF after byte 20. CP936 bytes out.
    static std::string TextPreview(const std::string& ansiText);

private:
    void Changed();
};
