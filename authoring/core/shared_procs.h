// Free procedures the whole authoring program shares: file kinds by name, phone
// numbers, folder search, random names, and text loading by byte-order mark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "services.h"
#include "string_list.h"

// The tail of a file name from its last "." on, provided no "/" stands after it.
std::string ExtractFileExt(std::string_view name);
// The name without its folder part.
std::string ExtractFileName(std::string_view path);
// The folder part, ending with "/" (empty when there is none).
std::string ExtractFilePath(std::string_view path);
// The path with its extension replaced by ext.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

bool IsTextFile(std::string_view name);
bool IsAudioFile(std::string_view name);
bool IsPictureFile(std::string_view name);

// True when every character is "+" or an ASCII digit; the empty text passes.
bool IsPhoneNumber(std::string_view s);

// Appends the bare names of the entries of folder that match the wildcard mask and
// have an extension. maxCount 0 means no limit; it counts the whole list.
void FindFiles(const std::string& folder, const std::string& mask, TStringList& list,
               int32_t maxCount = 0, bool recurse = false);

// n random letters-and-digits / digits; n = 0 means 6 to 11 characters, a negative
// n the empty text. Both reseed the generator from the clock first.
std::string RandomString(int32_t n, TRandomSource& rng);
std::string RandomDigits(int32_t n, TRandomSource& rng);

// The whole text file decoded by its form (TextFormOf: UTF-16LE, UTF-8 with its mark
// or by the rule, UTF-16BE) and given as CP936 bytes; an ANSI file comes back byte
// for byte.
// Throws std::runtime_error when the file cannot be opened.
std::string LoadTextAsAnsi(const std::string& path);

void SwapWideCharBytes(char16_t& c);

// A text file's text as a page, its preview, the text editor and the message take
// it, in UTF-8: decoded by its form (TextFormOf: UTF-16LE or BE by its mark, UTF-8
// with its mark or by the rule, anything else ANSI), the mark dropped, the text
// ending before its first NUL character.
std::string TextFileAsUtf8(std::string_view bytes);
// The same read from a file; throws std::runtime_error when it cannot be read.
std::string LoadTextAsUtf8(const std::string& path);
// UTF-16 text as the bytes of a UTF-16LE or UTF-16BE file, after its mark when asked.
std::string Utf16FileBytes(std::u16string_view text, bool bigEndian, bool withMark);

// A text file as the places that normalise text files in place see it (the text
// chooser's click, the batch lists): its text as ANSI lines, CR LF after each.
struct TAnsiLines {
    std::string Lines;        // LoadTextAsAnsi's text as lines, each followed by CR LF
    bool Differs = false;     // the file's bytes are not these lines already
    // Those lines would lose characters, or would read back as UTF-8 (TextFormOf):
    // the file is to be kept as it is.
    bool KeepAsIs = false;
    std::string Utf8Text;     // the text: the file's own when kept as is, else Lines'
};
// Throws std::runtime_error when the file cannot be read.
TAnsiLines LoadAsAnsiLines(const std::string& path);
