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
