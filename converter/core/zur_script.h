// The batch file "run.bat" of the converter window: the mode names of the ZUR
// bit rates, the two command lines that call the outside program "Converter",
// and the writing of the file as a shell script.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mode names by the item index of the bit-rate list ("4.75" ... "12.2").
inline constexpr const char* ZurModeNames[8] = {"MR475", "MR515", "MR59",  "MR67",
                                                "MR74",  "MR795", "MR102", "MR122"};
// The outside program's name in the converter's folder.
inline constexpr const char* ZurConverterName = "Converter";

// Text placed between double quotes so that the shell takes it as it is ("\",
// "$", "`" and the double quote are escaped).
std::string ShellDoubleQuoted(std::string_view Text);
// A path as one shell word: bare when it holds only characters that the shell
// takes as they are, single-quoted otherwise.
std::string ShellWord(std::string_view Path);

// "AppDir/Converter" wav2zur "TempWav"  "Target" Mode  (the quoted paths, two
// blanks between them). AppDir ends with "/".
std::string ZurEncodeLine(std::string_view AppDir, std::string_view TempWav,
                          std::string_view Target, std::string_view ModeName);
// "AppDir/Converter" zur2wav "Source"  "Target"
std::string ZurDecodeLine(std::string_view AppDir, std::string_view Source,
                          std::string_view Target);

// Writes the lines, each ended by a line feed, and sets the file's run bits.
// Raises std::runtime_error when the file cannot be written.
void SaveScriptFile(const std::vector<std::string>& Lines, const std::string& FileName);
