// The SMIL templates: "*.smil" files in the configuration folder, listed, loaded,
// saved, and saved as "自定义" plus the next free four-digit number.
#pragma once

#include <string>

#include "string_list.h"

// The 30 lines of the template help, joined by CR LF.
std::string SmilHelpText();

// The editor's hint on the region ids.
extern const char* const kSmilEditorHint;

class TSmilTemplates {
public:
    // configDir ends with "/".
    explicit TSmilTemplates(std::string configDir);

    const std::string& Folder() const { return dir_; }

    // The names of the "*.smil" files, in the folder listing's order.
    TStringList List() const;

    // What start-up chooses from the listed names and the remembered name.
    struct TChoice {
        int Index = -1;          // the entry to select, -1 for none
        std::string Name;        // the chosen name (the remembered one when nothing fits)
        bool Load = false;       // whether Name is to be loaded into the editor
        bool NameChanged = false;  // the first entry replaced the remembered name: save the settings
    };
    // The remembered name when its file exists (the last entry equal to it with
    // ASCII case folded is selected), else the first entry, else nothing.
    TChoice Choose(const TStringList& names, const std::string& remembered) const;

    // The lines of a template (UTF-8); throws when it cannot be read.
    TStringList Load(const std::string& name) const;
    // Writes the lines as the template of that name; throws on failure.
    void Save(const std::string& name, const TStringList& lines) const;
    // Writes the lines to the first free "自定义0000.smil" .. "自定义1000.smil" and
    // gives its name; "" when every name is taken.
    std::string SaveAsCustom(const TStringList& lines) const;

private:
    // The full path of a bare name; a name holding a folder part is refused.
    std::string PathOf(const std::string& name) const;
    std::string dir_;
};
