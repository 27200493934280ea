// The folders a fuzz target works in: a root made once per process, on a memory
// file system where there is one (every run writes files), holding the input
// file and a temporary folder that each run starts empty.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "string_list.h"

class TFuzzFolders {
public:
    std::filesystem::path Root, Temp;
    std::string Input;

    // inputName: the input file's name, such as "in.mms".
    explicit TFuzzFolders(const std::string& inputName) {
        namespace fs = std::filesystem;
        std::string tmpl = fs::is_directory("/dev/shm") ? "/dev/shm/quilmar-fuzz-XXXXXX"
                                                        : "/tmp/quilmar-fuzz-XXXXXX";
        Root = mkdtemp(tmpl.data());
        Temp = Root / "temp";
        Input = (Root / inputName).string();
    }
    ~TFuzzFolders() {
        std::error_code ec;
        std::filesystem::remove_all(Root, ec);
    }
    TFuzzFolders(const TFuzzFolders&) = delete;
    TFuzzFolders& operator=(const TFuzzFolders&) = delete;

    // An empty temporary folder, and the input written as the file.
    void Begin(const uint8_t* data, size_t size) {
        std::filesystem::remove_all(Temp);
        std::filesystem::create_directory(Temp);
        WriteFileBytes(Input, std::string_view(reinterpret_cast<const char*>(data), size));
    }
};
