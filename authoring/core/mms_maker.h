// The message builder (and, in mms_reader.cpp, the reader): holds the page list,
// the header values, the picture settings and the SMIL head, and turns them into
// one ".mms" file, an m-send-req PDU (version 1.0) whose multipart/related body
// carries the SMIL document first.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mms_reader_parse.h"
#include "page_model.h"
#include "services.h"
#include "string_list.h"

class TMessageEditor;

class TMmsMaker {
public:
    // tempDir ends with "/": where the SMIL document and working copies live.
    TMmsMaker(TRandomSource& rng, std::string tempDir);
    ~TMmsMaker();
    TMmsMaker(const TMmsMaker&) = delete;
    TMmsMaker& operator=(const TMmsMaker&) = delete;

    std::string FOut;
    TPageList FPages;
    TStringList FAddrList;
    TStringList FScratch;
    TStringList FSmilLines;
    TStringList FSmilHead;
    std::string FSmilPath;
    // The file being read, FBufLen bytes and a zero byte after them; held only
    // while its parts are unpacked.
    std::unique_ptr<uint8_t[]> FBuffer;
    int32_t FBufLen = 0;
    int32_t FBufPos = 0;

    // Header values, UTF-8 in memory.
    std::string FTo, FCc, FBcc;
    std::string FSubject;
    uint8_t FMessageClass = 0;
    QDateTime FExpiryTime, FDeliveryTime;
    uint8_t FPriority = 0;
    uint8_t FSenderVisibility = 0;
    int32_t FDeliveryReport = 0;
    int32_t FReadReply = 0;

    // Picture settings: 1 keep, 2 re-encode at own size, 3 re-encode into the box.
    int32_t FPicBoxW = 0, FPicBoxH = 0;
    int32_t FPicEncodeMode = 1;
    std::string FPicEncodeInfo = "176X210";
    // JPEG quality used when pictures are re-encoded (held by the main window).
    int32_t FJpegQuality = 80;

    std::string FSmilPartName = "0000.smil";

    // Part naming of one build: the running counter and the naming mode.
    std::string PartCounter = "0";
    int32_t NameMode = 0;

    std::string TempDir;
    TRandomSource& Rng;

    void ClearPages();
    int32_t CountParts() const;
    static std::string EncodeUintvar(uint32_t value);
    void WriteHeader();
    void AddPart(const std::string& path, const std::string& partName, bool attachment);
    void SetSmilHead(std::string_view text);
    void BuildSmil();
    // Both return the saved message's size in K (bytes div 1000). A part that cannot
    // be read, or a picture that cannot be re-encoded, raises and writes no output.
    // With a bound (the autosave's), a message the reader would not take under it
    // raises as well, so that what is written can always be read back.
    int32_t MakeMms(const std::string& outputPath, int32_t bound = 0);
    int32_t MakeCustomMms(const std::string& outputPath, const std::string& smilPath,
                          const TStringList& files);

    // The start text: "<0000>" for the default SMIL name, else "<" + name + ">".
    std::string StartText() const;

    // Picture re-encoding before packing (in picture modes 2 and 3).
    void ParsePicEncodeInfo();
    // Re-encodes the picture at path in place; a ".bmp" becomes a ".jpg" beside it
    // and path is changed to it.
    void RecodePicture(std::string& path);
    // The bytes a picture part carries outside mode 1: the file re-encoded (a JPEG
    // straight from the page's file, the others through a fresh copy in the
    // temporary folder), so that the page's own file never changes and every
    // message of a batch is one encoding away from it. The fresh files are removed
    // again. For a bitmap, path's extension becomes ".jpg".
    std::string RecodedPictureData(std::string& path);

    // Reading a message back into pages through the editing window.
    void LoadMms(const std::string& path, TMessageEditor& editor);
    // The largest file LoadMms takes (kMaxMmsSize; the start-up raises it for the
    // autosave).
    int32_t FMaxFileSize = kMaxMmsSize;
    // Whether the last LoadMms took the file and rebuilt the pages from it.
    bool FMessageRead = false;

private:
    void WriteAddressFields(uint8_t field, const std::string& addresses);
};

// The most entries a message the user opens may announce. The autosave, which the
// program writes itself, is bounded by its size alone: whatever a close writes, the
// next start reads back.
constexpr int32_t kMaxUserEntries = 500;
// Whether the reader takes a message announcing count entries when it reads with
// this size bound (kMaxMmsSize for the user's files, more for the autosave).
bool UsableEntryCount(int32_t count, int32_t bound);
// A size bound as the user is told it: "256 MB", "300 KB".
std::string SizeBoundText(int32_t bound);

// Reads the autosave at path at start-up through read (which reads it into the
// window's pages with maker's LoadMms), whatever its size up to kMaxAutosaveSize.
// An autosave that is there but could not be read is kept aside
// (KeepUnreadAutosave), so that a close that saves cannot write over the work it
// holds. False when it could not be: it still stands under path and must not be
// written over.
bool ReadAutosave(TMmsMaker& maker, const std::string& path, TQuestions& questions,
                  const std::function<void()>& read, int32_t bound = kMaxAutosaveSize);

// Splits an address text into items: ",", ";" and "|" count as blanks, bytes 01 to
// 20 separate items, a double-quoted item keeps its blanks ("" inside stands for ").
TStringList SplitAddressItems(const std::string& addresses);
// A value length: below 31 one byte; otherwise 1F and a variable-length integer.
std::string EncodeValueLength(uint32_t len);
