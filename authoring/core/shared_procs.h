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

// The whole text file decoded by its byte-order mark (UTF-16LE, UTF-8, UTF-16BE)
// and given as CP936 bytes; a file without a mark comes back byte for byte.
// Throws std::runtime_error when the file cannot be opened.
std::string LoadTextAsAnsi(const std::string& path);

void SwapWideCharBytes(char16_t& c);
