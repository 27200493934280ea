// The small readers the message reader is made of. Each works on the loaded bytes
// of a ".mms" file (bytes, len) and never looks at a byte at or past len, whatever
// the lengths and counts inside the file say.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Largest ".mms" file the reader takes from the user (opened or dropped), in bytes.
constexpr int32_t kMaxMmsSize = 307200;
// Largest autosave the start-up reads. The autosave is the program's own copy of the
// work and holds whatever the pages hold (sound clips make it megabytes); this bound
// only keeps a damaged or foreign file from taking all the memory.
constexpr int32_t kMaxAutosaveSize = 256 * 1024 * 1024;

// The file's size in bytes; -1 when it cannot be opened.
int32_t QueryFileSize(const std::string& path);

// A variable-length integer at pos: 7 bits a byte, high bit set on all but the last,
// wrapping within 32 bits. On success pos moves past it. When the bytes end before
// the last byte, pos is left as it was and the value read so far comes back.
uint32_t ReadUintvar(const uint8_t* bytes, int32_t len, int32_t& pos);
// The same, telling whether the integer ended inside the bytes.
bool TryReadUintvar(const uint8_t* bytes, int32_t len, int32_t& pos, uint32_t& value);

// The part name in an entry's headers (the header bytes from pos, length bytes
// long): after the first Name (85) or Content-Location (8E) byte, up to its 00.
// CP936 bytes, as they stand in the file.
std::string ReadPartName(const uint8_t* bytes, int32_t len, int32_t pos, uint32_t length);

// The subject of the header (the first n bytes), UTF-8; empty when there is none.
// Takes both the short form (96, a, EA, 7F, text, 00) and the quoted one
// (96, 1F, length, EA, 7F, text, 00). The first field that fits ends the search;
// when its text is not UTF-8 there is no subject.
std::string ReadSubject(const uint8_t* bytes, int32_t len, int32_t n);

// Where the entry count stands, found behind the "smil" of the message's
// Content-Type. Gives the count (0 when none is found), the position just past it
// in pos, and in smilPos the position of that "smil" (the end of the header part
// the subject is searched in).
int32_t FindEntryCount(const uint8_t* bytes, int32_t len, int32_t& pos, int32_t& smilPos);

// What the reader takes from a message's header when its fields can be walked one
// by one by the encoding rules (every value is a short integer, a text up to its
// 00, or a value-length and that many bytes), whatever their order.
struct TMessageHead {
    int32_t TypePos = 0;  // the Content-Type's value
    int32_t BodyPos = 0;  // just past the Content-Type's value: the entry count
    std::string Subject;  // UTF-8; empty when there is none or it does not convert
};
// False when the bytes do not start as a message header (X-Mms-Message-Type first)
// or a field runs past the loaded bytes before the Content-Type ends.
bool ReadMessageHead(const uint8_t* bytes, int32_t len, TMessageHead& head);

// The headers of one body entry (the header bytes from pos, length bytes long), as
// far as they can be walked: the content type when it is a text, its Name (or file
// name) parameter, Content-Location and Content-ID (without quotes and "<>"); CP936
// bytes as they stand.
struct TPartHeaders {
    int ContentTypeCode = -1;  // a well-known content type's number
    uint32_t Charset = 0;      // the declared character set's number; 0 for none
    std::string ContentType;
    std::string Name;
    std::string Location;
    std::string ContentId;
    std::string TransferEncoding;  // of a Content-Transfer-Encoding header, lower-cased
};
TPartHeaders ReadPartHeaders(const uint8_t* bytes, int32_t len, int32_t pos, uint32_t length);
// Whether a content type is one of the multipart types, whose body is a count and
// entries. A type the reader does not know counts as one.
bool IsMultipartType(const TPartHeaders& h);
// The file extension the program files a part of this content type by (".jpg",
// ".txt", ...); empty for any other type.
std::string ExtensionOfType(const TPartHeaders& h);
// The file name a part is unpacked under, from its Name (or Content-Location) or
// else its Content-ID, both UTF-8, cleaned (CleanPartName); a name without an
// extension takes its type's. A part with neither takes a name made from its type
// ("text.txt", "image.jpg"), so that it is filed by its kind.
std::string PartFileName(const std::string& name, const std::string& contentId,
                         const TPartHeaders& h);
// A part's data without its transfer encoding ("base64", "quoted-printable"): false
// when there is none, it is another, or the data does not decode; then the data is
// kept as it came.
bool DecodeTransferEncoding(std::string_view encoding, std::string_view data, std::string& out);
// What a file that holds no message is, in the user's words: a notification of a
// message still on the server, a delivery or read report, an acknowledgement, a send
// confirmation, a retrieve that failed with its status and text. Empty for a message
// (m-send-req, a retrieved message) and for bytes that do not start as one.
std::string NoMessageText(const uint8_t* bytes, int32_t len);
// Bytes that are UTF-8, or UTF-8 cut inside their last character by their sender:
// the whole characters, in text. False for any other bytes. A lone last byte after
// ASCII text is too little to tell a cut from a single-byte code page: false.
bool WholeUtf8Characters(std::string_view bytes, std::string& text);
// The number of a character set named by its text ("utf-8", "GB2312", ...); 0 for a
// name the reader does not know.
uint32_t CharsetNumber(std::string_view name);
// The text of a text part (or a subject) as UTF-8, read by its declared character
// set: UTF-8, US-ASCII, ISO-8859-1, GB2312, GBK, GB18030, Big5, UTF-16 (by its mark;
// without one, by where its zero bytes stand). Bytes with no declared set, or that
// the declared set cannot hold, are read by the program's text rule (TextFormOf),
// except that 8-bit bytes under a Latin label that are not UTF-8 are Latin-1.
// ansiKept is set when the text rule took the bytes as the program's own ANSI text:
// they can stay as they are.
std::string PartTextAsUtf8(std::string_view bytes, uint32_t charset, bool& ansiKept);
// The same for bytes that are no longer needed: UTF-8 text comes back without a copy.
std::string PartTextAsUtf8(std::string&& bytes, uint32_t charset, bool& ansiKept);
// A Content-ID or a reference without its enclosing "<>".
std::string WithoutAngles(std::string_view s);

// A part name (UTF-8) made safe as a file name inside the temporary folder: folder
// parts (after "/" or "\") are dropped, control characters and < > : " | ? * become
// "_", an empty name, "." and ".." become "_", and a very long name is cut, keeping
// its extension. The SMIL references are cleaned the same way before they are matched.
std::string CleanPartName(std::string_view name);

// Removes every occurrence of what, ignoring the case of ASCII letters.
std::string RemoveTextIgnoreCase(std::string_view s, std::string_view what);
