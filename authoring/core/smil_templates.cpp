#include "smil_templates.h"

#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "shared_procs.h"
#include "text_codec.h"

const char* const kSmilEditorHint = "其中的  id=\"image\" (id=\"text\")标志不要修改 ";

std::string SmilHelpText() {
    static const char* const kLines[] = {
        "主要修改的地方：",
        "1.<root-layout width=\"×××\" height=\"×××\"/>",
        "×××决定了整体的显示布局",
        "",
        "2.<region id=\"text\" width=\"100%\" height=\"50%\" left=\"0%\" top=\"50%\" fit=\"scroll\"/>",
        "其中 width,height ,left,top 决定了text显示的布局,可以用相对表示方法，也可以绝对的表示方法",
        "绝对的表示方法: width=\"100\" height=\"200\" left=\"0\" top=\"50\"",
        "",
        "3.<region id=\"image\" width=\"100%\" height=\"50%\" left=\"0%\" top=\"0%\" fit=\"meet\"/>",
        "其中 width,height ,left,top 决定了图片显示的布局",
        "",
        "fit属性值有hidden、meet、fill、scroll和slice四个。其中hidden是默认的属性值。",
        "fit=\"hidden\"",
        "表示保持多媒体片断的尺寸不变，从窗口的左上角开始显示。如果多媒体片断尺寸比窗口的尺寸小，",
        "那么空白的地方将用背景色填充。如果多媒体片断尺寸比窗口的尺寸大，那么多媒体片断超出窗口部分被裁去，不被显示。",
        "fit=\"meet\"",
        "表示在保持多媒体片断宽/高比例不变的情况下，对多媒体片断的尺寸進行缩放。",
        "从左上角开始显示，缩放到高度和宽度中的一个尺寸等于窗口的相应的尺寸，而另外的一个小于窗口的相应的尺寸。",
        "空白处用背景色填充。",
        "fit=\"fill\"",
        "表示缩放多媒体片断使得其大小正好和窗口的大小一致。",
        "如果多媒体片断的宽/高比例和窗口的宽/高比例不等，那么多媒体片断就会变形，",
        "fit=\"scroll\"",
        "表示对多媒体片断的尺寸不做什么修改，它以正常的尺寸大小显示。",
        "但是，如果多媒体片断的尺寸超出了窗口的尺寸，",
        "那么将会相应出现水平或者垂直滚动条。该种发式适合于长时间的多媒体片断的显示。",
        "fit=\"slice\"",
        "表示在保持多媒体片断宽/高比例不变的情况下，对多媒体片断的尺寸進行缩放。",
        "从左上角开始显示，缩放到高度和宽度中的一个尺寸等于窗口的相应的尺寸，",
        "而另外的一个大于窗口的相应的尺寸。超出的不分被裁去而不显示。",
    };
    std::string text;
    for (size_t i = 0; i < std::size(kLines); ++i) {
        if (i > 0) text += "\r\n";
        text += kLines[i];
    }
    return text;
}

TSmilTemplates::TSmilTemplates(std::string configDir) : dir_(std::move(configDir)) {}

TStringList TSmilTemplates::List() const {
    TStringList names;
    FindFiles(dir_, "*.smil", names);
    return names;
}

std::string TSmilTemplates::PathOf(const std::string& name) const {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        throw std::runtime_error("无效的模板名 " + name);
    return dir_ + name;
}

TSmilTemplates::TChoice TSmilTemplates::Choose(const TStringList& names,
                                               const std::string& remembered) const {
    TChoice c;
    c.Name = remembered;
    bool exists = false;
    try {
        exists = !remembered.empty() && ::access(PathOf(remembered).c_str(), F_OK) == 0;
    } catch (const std::exception&) {
        return Choose(names, std::string());  // a name with a folder part is not one of ours
    }
    // The remembered name is matched with ASCII case folded, as the names were
    // stored on a file system that ignores case; the last match is selected.
    for (size_t i = 0; !remembered.empty() && i < names.size(); ++i)
        if (LowerAscii(names[i]) == LowerAscii(remembered)) c.Index = static_cast<int>(i);
    if (!exists && c.Index >= 0) {
        c.Name = names[static_cast<size_t>(c.Index)];  // the file under its listed spelling
        exists = true;
    }
    if (exists) {
        c.Load = true;
    } else if (!names.empty()) {
        c.Index = 0;
        c.Name = names[0];
        c.Load = true;
        c.NameChanged = true;
    }
    return c;
}

TStringList TSmilTemplates::Load(const std::string& name) const { return LoadStringList(PathOf(name)); }

void TSmilTemplates::Save(const std::string& name, const TStringList& lines) const {
    SaveStringList(PathOf(name), lines);
}

std::string TSmilTemplates::SaveAsCustom(const TStringList& lines) const {
    for (int i = 0; i <= 1000; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%.4d", i);
        const std::string name = std::string("自定义") + number + ".smil";
        if (::access((dir_ + name).c_str(), F_OK) == 0) continue;
        Save(name, lines);
        return name;
    }
    return {};
}
