// The text tools of the "工具" menu: rewriting text files in place as ANSI, UTF-8
// with mark or UTF-16LE with mark, and splitting long texts into numbered parts.
#pragma once

#include <cstdint>
#include <string>

enum class TTextEncoding { Ansi, Utf8, Unicode };

// Writes CP936 text as UTF-8 (after EF BB BF when asked), replacing the file; an
// empty text writes nothing at all.
void WriteUtf8File(const std::string& path, const std::string& ansiText, bool withMark);
// The same as UTF-16LE after FF FE.
void WriteUnicodeFile(const std::string& path, const std::string& ansiText, bool withMark);

// Reads the file by its form (LoadTextAsAnsi) and writes it back in the chosen
// encoding.
// Throws std::runtime_error when the file cannot be read or written.
void ConvertTextFile(const std::string& path, TTextEncoding to);

// Splits the file into dir/base.0001.txt, ... of at most maxLen UTF-16 characters
// each; returns the number of parts written. A limit below 1 writes nothing. A
// UTF-8 file is split on its characters. Parts are ANSI lines, or UTF-8 where ANSI
// would lose or garble their text (StoredTextBytes).
int SplitTextFile(const std::string& path, int32_t maxLen);
