#include "custom_compiler.h"

#include <algorithm>
#include <filesystem>

#include "mms_maker.h"
#include "shared_procs.h"
#include "text_codec.h"

const char* const kHeaderTemplateName = "彩信头信息.txt";
const char* const kCustomOutputName = "自定义彩信.mms";

namespace {
const char* const kKeys[] = {"mmsTo",      "mmsCC",        "mmsBCC",
                             "mmsSubject", "mmsClass",     "mmsPriority",
                             "mmsSenderVisibility", "mmsDeliveryReport", "mmsReadReply"};

// The folder's entries that have an extension, in one fixed order (by name), which
// decides both the SMIL file taken and the order of the parts.
TStringList SortedEntries(const std::string& dir) {
    TStringList list;
    FindFiles(dir, "*.*", list);
    std::sort(list.begin(), list.end());
    return list;
}
}  // namespace

TStringList HeaderTemplateLines() {
    TStringList lines;
    for (const char* k : kKeys) lines.push_back(std::string(k) + "=");
    return lines;
}

void WriteHeaderTemplate(const std::string& customDir) {
    SaveStringList(customDir + kHeaderTemplateName, HeaderTemplateLines());
}

std::string ReadHeaderKey(const TStringList& lines, const std::string& key) {
    for (const auto& line : lines) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (SameTextAscii(line.substr(0, eq), key)) return line.substr(eq + 1);
    }
    return {};
}

void ReadHeaderValues(const TStringList& lines, TMmsMaker& maker) {
    std::string* texts[] = {&maker.FTo, &maker.FCc, &maker.FBcc, &maker.FSubject};
    for (int i = 0; i < 4; ++i) *texts[i] = Cp936ToUtf8(ReadHeaderKey(lines, kKeys[i]));
    try {
        for (int i = 4; i < 9; ++i) {
            std::string v = Trim(ReadHeaderKey(lines, kKeys[i]));
            if (v.empty()) continue;
            int32_t n = StrToInt(v);
            switch (i) {
                case 4: maker.FMessageClass = static_cast<uint8_t>(n); break;
                case 5: maker.FPriority = static_cast<uint8_t>(n); break;
                case 6: maker.FSenderVisibility = static_cast<uint8_t>(n); break;
                case 7: maker.FDeliveryReport = n; break;
                default: maker.FReadReply = n; break;
            }
        }
    } catch (const EConvertError&) {
        // The reading ends at a number that does not convert; the compile goes on.
    }
}

void CompileCustomMessage(const std::string& customDir, TQuestions& questions,
                          const std::function<void(const std::string&)>& openFolder) {
    TClockRandom rng;
    TMmsMaker maker(rng, customDir);
    maker.FSmilPartName.clear();

    TStringList files = SortedEntries(customDir);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (LowerAscii(ExtractFileExt(*it)) == ".smil") {
            maker.FSmilPartName = *it;
            break;
        }
    }
    if (maker.FSmilPartName.empty()) {
        questions.Ask("提示",
                      "未找到相关的smil文件。\r\n"
                      "请把smil文件和相关的文本(图片)都放在自定义彩信目录下,然后会自动编译成彩信文件。 ",
                      TButtons::Ok, TIcon::Information);
        return;
    }

    files = SortedEntries(customDir);
    std::string smil = ReadFileBytes(customDir + maker.FSmilPartName);
    smil = JoinLines(SplitLines(smil.substr(0, smil.find('\0'))));

    const std::string headerPath = customDir + kHeaderTemplateName;
    // Only a file counts: a folder of that name is no header file.
    std::error_code ec;
    if (std::filesystem::is_regular_file(headerPath, ec)) {
        ReadHeaderValues(SplitLines(LoadTextAsAnsi(headerPath)), maker);
    }

    TStringList parts;
    for (const auto& name : files) {
        // Names are looked for as ANSI bytes, case and all, anywhere in the text.
        if (smil.find(Utf8ToCp936(name)) != std::string::npos) parts.push_back(customDir + name);
    }
    maker.MakeCustomMms(customDir + kCustomOutputName, customDir + maker.FSmilPartName, parts);
    questions.Ask("提示", "自定义彩信制作完成！", TButtons::Ok, TIcon::Information);
    if (openFolder) openFolder(customDir);
}
