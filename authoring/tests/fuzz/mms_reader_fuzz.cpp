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
#include "own_pages_editor.h"
#include "page_model.h"
#include "string_list.h"

namespace fs = std::filesystem;

namespace {

TFuzzFolders& Dirs() {
    static TFuzzFolders f("in.mms");
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzFolders& d = Dirs();
    d.Begin(data, size);

    TZeroRandom rng;
    TMmsMaker maker(rng, d.Temp.string() + "/");
    TOwnPagesEditor editor(maker);
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
