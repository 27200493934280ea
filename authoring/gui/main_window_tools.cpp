// The main menu's text tools (rewriting text files in another encoding, splitting
// long texts into parts of one page each) and the custom-message compiler.
#include <QStringList>
#include <exception>

#include "custom_compiler.h"
#include "main_window.h"
#include "text_tools.h"

namespace {
// A file that cannot be read or written ends the run there with one box naming
// it and the reason; the files before it stay converted.
void ConvertChosenFiles(Tfrmmms& w, TTextEncoding to) {
    const QStringList files = w.FChooseTextFiles();
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    ConvertTextFiles(paths, to, w.Questions());
}
}  // namespace

void Tfrmmms::N31Click() { ConvertChosenFiles(*this, TTextEncoding::Ansi); }

void Tfrmmms::UTF81Click() { ConvertChosenFiles(*this, TTextEncoding::Utf8); }

void Tfrmmms::Unicode1Click() { ConvertChosenFiles(*this, TTextEncoding::Unicode); }

void Tfrmmms::N29Click() {
    // Without a usable part length there is nothing to split into.
    if (FTxtMaxLen < 1) return;
    const QStringList files = FChooseSplitFiles(QString::fromStdString(FFolders.TextDir));
    if (files.isEmpty()) return;
    FScratchList.clear();
    for (const QString& f : files) FScratchList.push_back(f.toStdString());
    SplitTextFiles(FScratchList, FTxtMaxLen, FQuestions);
}

void Tfrmmms::N32Click() {
    try {
        CompileCustomMessage(CustomDir, FQuestions, [this](const std::string& dir) { OpenFolder(dir); });
    } catch (const std::exception&) {
        // No output, no box, no file browser.
    }
}
