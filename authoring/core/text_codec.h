// Conversions between the in-memory text (UTF-8) and the ANSI code page of the
// files and messages this program exchanges (code page 936), plus the small text
// rules shared by every window: trimming and the integer conversion.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised where text does not convert to a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// CP936 bytes -> UTF-8. Bytes that are not valid CP936 become "?".
std::string Cp936ToUtf8(std::string_view ansi);
// UTF-8 -> CP936 bytes. A character that CP936 cannot hold (or malformed UTF-8)
// becomes "?".
std::string Utf8ToCp936(std::string_view utf8);

std::u16string Cp936ToUtf16(std::string_view ansi);
std::string Utf16ToCp936(std::u16string_view text);
// Malformed input becomes U+FFFD (UTF-8 -> UTF-16) or "?" (UTF-16 -> UTF-8).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

// True when the bytes are well-formed UTF-8 (no overlong form, no surrogate, nothing
// above U+10FFFF, no sequence cut off at the end).
bool IsValidUtf8(std::string_view bytes);

// How the bytes of a text file are encoded. A byte-order mark decides first (FF FE,
// then EF BB BF, then FE FF). A file without one is UTF-8 when its bytes are valid
// UTF-8, hold at least one non-ASCII character, and read as UTF-8 give the more
// plausible text of the two readings (common hanzi, simplified or traditional,
// letters among letters of their own script, signs such as © among ASCII, ...
// against rare characters, stray marks and mixed scripts); else it is ANSI (code
// page 936): short GBK texts are often valid UTF-8 too. This is the one place that
// decides it for every reader of text files. Linear in the size.
enum class TTextForm { Ansi, Utf8, Utf8Marked, Utf16Le, Utf16Be };
TTextForm TextFormOf(std::string_view bytes);
// Whether every byte is below 0x80.
bool IsAscii(std::string_view s);
// UTF-8 with or without its mark.
inline bool IsUtf8Form(TTextForm f) { return f == TTextForm::Utf8 || f == TTextForm::Utf8Marked; }
// The byte-order mark of a form ("" for Ansi and unmarked UTF-8).
std::string_view TextMark(TTextForm f);
// The text of a file that is not ANSI, decoded into UTF-16 (the mark dropped; a
// lone odd byte at the end of UTF-16 dropped); empty for an ANSI file.
std::u16string DecodeUnicodeText(std::string_view bytes, TTextForm form);
// The form of UTF-16 bytes without a mark, told by where their zero bytes stand:
// in text with Latin letters (a profile's names and keys) every such unit has one
// zero half, on the same side. Utf16Le or Utf16Be; Ansi for bytes that do not look
// so (an odd length, or too few zero halves on one side and too many on the other).
TTextForm UnmarkedUtf16Form(std::string_view bytes);
// The bytes to store a text in that the program reads back by TextFormOf: its ANSI
// form where that holds every character and reads back as ANSI, else the UTF-8 text
// itself, without a mark unless it would then be taken for ANSI. An ANSI text can
// happen to read as UTF-8, and would then come back garbled.
std::string StoredTextBytes(std::string_view utf8);
// Whether UTF-8 text stored without its mark would be read back as ANSI (TextFormOf).
bool Utf8NeedsMark(std::string_view utf8);
// The file's text as UTF-8, the way a page and a message take it, decoded by its
// form (TextFormOf): a UTF-8 text as it is, without the mark; UTF-16 by its mark;
// any other bytes as ANSI. NUL characters are kept. form, when given, gets the form.
std::string TextAsUtf8(std::string_view bytes, TTextForm* form = nullptr);

// Removes the characters with codes 0 to 32 at both ends. Works on UTF-8 and on
// CP936 bytes alike: no byte of a multi-byte character is below 33.
std::string Trim(std::string_view s);

// Lower-cases the ASCII letters A to Z only.
std::string LowerAscii(std::string_view s);
// Compares without regard to the case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);

// The program's one integer rule: optional leading blanks, an optional sign, then
// decimal digits that fit in 32 bits signed, or after "$", "x", "X", "0x", "0X" at
// most eight significant hexadecimal digits taken as a 32-bit pattern. Nothing may
// follow.
bool TryStrToInt(std::string_view s, int32_t& value);
// The same, raising EConvertError when the text does not convert.
int32_t StrToInt(std::string_view s);
