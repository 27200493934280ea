// libFuzzer target for the message reader: every input is written as a ".mms"
// file and read into pages through a small editor that owns them. Any exception,
// sanitizer report or file outside the temporary folder is a finding.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "fuzz_folders.h"
#include "message_editor.h"
#include "mms_maker.h"
#include "page_model.h"
#include "string_list.h"

namespace fs = std::filesystem;

namespace {

class Answers : public TQuestions {
public:
    TAnswer Ask(const std::string&, const std::string&, TButtons, TIcon, TAnswer) override {
        return TAnswer::Ok;
    }
};

class Random : public TRandomSource {
public:
    void Reseed() override {}
    uint32_t Below(uint32_t) override { return 0; }
};

class Editor : public TMessageEditor {
public:
    explicit Editor(TMmsMaker& maker) : maker_(maker) {}
    void NewMessage() override { maker_.FPages.Clear(); }
    TPageModel* NewPage() override {
        TPageModel* page = maker_.FPages.InsertAfterSelected();
        page->SelectPage();
        return page;
    }
    void ShowSubject(const std::string&) override {}
    TQuestions& Questions() override { return answers_; }
    TMessagePump& Pump() override { return pump_; }

private:
    TMmsMaker& maker_;
    Answers answers_;
    TMessagePump pump_;
};

TFuzzFolders& Dirs() {
    static TFuzzFolders f("in.mms");
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzFolders& d = Dirs();
    d.Begin(data, size);

    Random rng;
    TMmsMaker maker(rng, d.Temp.string() + "/");
    Editor editor(maker);
    maker.LoadMms(d.Input, editor);

    // Every unpacked part stays inside the temporary folder.
    for (const auto& e : fs::directory_iterator(d.Root)) {
        const auto name = e.path().filename();
        if (name != "temp" && name != "in.mms") std::abort();
    }
    for (const auto& page : maker.FPages.Items)
        for (const auto& slot : page->FSlots)
            if (!slot.File.empty() && slot.File.rfind(d.Temp.string() + "/", 0) != 0) std::abort();
    return 0;
}
