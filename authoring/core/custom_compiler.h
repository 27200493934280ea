// The custom-message compiler: packs a hand-written SMIL file of the custom folder
// and the files it names into "自定义彩信.mms", with header values from
// "彩信头信息.txt".
#pragma once

#include <functional>
#include <string>

#include "services.h"
#include "string_list.h"

class TMmsMaker;

extern const char* const kHeaderTemplateName;  // "彩信头信息.txt"
extern const char* const kCustomOutputName;    // "自定义彩信.mms"

// The nine lines of the empty header template.
TStringList HeaderTemplateLines();
// Writes the template into the custom folder (ending with "/"), replacing it.
void WriteHeaderTemplate(const std::string& customDir);

// The value of a key in "name=value" lines: the first line whose text before its
// first "=" equals the key without regard to case; empty when none.
std::string ReadHeaderKey(const TStringList& lines, const std::string& key);
// Reads the nine keys in order into the maker's header fields; a number that does
// not convert ends the reading there (EConvertError is caught here).
void ReadHeaderValues(const TStringList& lines, TMmsMaker& maker);

// The compile. Shows its messages through questions, and opens the folder through
// openFolder after a successful make. Read and write errors propagate.
void CompileCustomMessage(const std::string& customDir, TQuestions& questions,
                          const std::function<void(const std::string&)>& openFolder);
