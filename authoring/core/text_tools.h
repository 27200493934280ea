// The text tools of the "工具" menu: rewriting text files in place as ANSI, UTF-8
// with mark or UTF-16LE with mark, and splitting long texts into numbered parts.
// Every file they write is written whole or not at all: the old file stays as it
// was until the new one stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "services.h"

enum class TTextEncoding { Ansi, Utf8, Unicode };

// Writes the text (UTF-8 in memory) as UTF-8 (after EF BB BF when asked), replacing
// the file as a whole (ReplaceFileAtomically; a missing one is created); an empty
// text writes nothing at all.
void WriteUtf8File(const std::string& path, const std::string& text, bool withMark);
// The same as UTF-16LE after FF FE.
void WriteUnicodeFile(const std::string& path, const std::string& text, bool withMark);

// Reads the file by its form (as LoadTextAsAnsi does) and writes it back in the
// chosen encoding, replacing it atomically (ReplaceFileAtomically). UTF-8 and
// UTF-16 take the text as it was read, so nothing is lost on the way. ANSI lines
// that would lose a character, or would read back as another text (TextFormOf),
// are not written: the file is kept as it is and false comes back.
// Throws std::runtime_error when the file cannot be read or written; it is then
// as it was.
bool ConvertTextFile(const std::string& path, TTextEncoding to);

// The conversion of the chosen files, in order, with its one box (caption "提示"):
// "文件格式转换完成！" when all were converted; else which files were kept as they
// were because ANSI would lose or change their text; or, at the first file that cannot be
// read or written, the file, the reason and how many were converted (the rest are
// left alone).
void ConvertTextFiles(const std::vector<std::string>& files, TTextEncoding to,
                      TQuestions& questions);

// Splits the file into dir/base.0001.txt, ... of at most maxLen UTF-16 characters
// each; returns the number of parts written. A limit below 1 writes nothing. The
// file is read by its form (a mark, or UTF-8 by the rule; else ANSI). A cut never
// falls inside a character: between the two halves of a surrogate pair it moves
// back by one (a limit of 1 then takes the pair whole). Parts are ANSI lines, or
// UTF-8 where ANSI would lose or garble their text (StoredTextBytes); each is
// written atomically, so a failure leaves no empty or cut part. written, when
// given, follows the parts that stand, also when a later part throws.
int SplitTextFile(const std::string& path, int32_t maxLen, int* written = nullptr);

// The name of part k of base: base.0001.txt (at least four digits).
std::string SplitPartName(const std::string& base, int k);

// The split of the chosen files, in order. Nothing is shown when all are split;
// at the first file that cannot be read or a part that cannot be written, one box
// (caption "提示") names the file and the reason, and says what is on disk: the
// parts of that file that were written (they stay) and where, the files split
// before it; the rest are left alone.
void SplitTextFiles(const std::vector<std::string>& files, int32_t maxLen, TQuestions& questions);
