// libFuzzer target for the message reader: every input is written as a ".mms"
// file and read into pages through a small editor that owns them. Any exception,
// sanitizer report or file outside the temporary folder is a finding.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

struct Folders {
    fs::path root;
    fs::path temp;
    std::string input;
    Folders() {
        // A memory file system where there is one: every run writes the parts.
        std::string tmpl = fs::is_directory("/dev/shm") ? "/dev/shm/quilmar-fuzz-XXXXXX"
                                                        : "/tmp/quilmar-fuzz-XXXXXX";
        root = mkdtemp(tmpl.data());
        temp = root / "temp";
        input = (root / "in.mms").string();
    }
    ~Folders() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Folders& Dirs() {
    static Folders f;
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Folders& d = Dirs();
    fs::remove_all(d.temp);
    fs::create_directory(d.temp);
    WriteFileBytes(d.input, std::string_view(reinterpret_cast<const char*>(data), size));

    Random rng;
    TMmsMaker maker(rng, d.temp.string() + "/");
    Editor editor(maker);
    maker.LoadMms(d.input, editor);

    // Every unpacked part stays inside the temporary folder.
    for (const auto& e : fs::directory_iterator(d.root)) {
        const auto name = e.path().filename();
        if (name != "temp" && name != "in.mms") std::abort();
    }
    for (const auto& page : maker.FPages.Items)
        for (const auto& slot : page->FSlots)
            if (!slot.File.empty() && slot.File.rfind(d.temp.string() + "/", 0) != 0) std::abort();
    return 0;
}
