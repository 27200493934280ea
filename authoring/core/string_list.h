// Text files as lists of lines, read and written the way the program's string
// lists do: ANSI (code page 936) bytes, lines split at CR LF, a lone CR or a lone
// LF; saved with CR LF after every line, the last one included; no byte-order mark.
#pragma once

#include <string>
#include <string_view>
#include <vector>

using TStringList = std::vector<std::string>;

// Splits text at CR LF, lone CR or lone LF; a final line break adds no empty line.
TStringList SplitLines(std::string_view text);
// Joins lines, each followed by CR LF.
std::string JoinLines(const TStringList& lines);

// Reads a whole file's bytes; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file, replacing it; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Writes through a temporary file beside the target and renames it into place, so
// a failed write never leaves a half-written target.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Loads an ANSI text file into UTF-8 lines.
TStringList LoadStringList(const std::string& path);
// Saves UTF-8 lines as an ANSI text file.
void SaveStringList(const std::string& path, const TStringList& lines);
