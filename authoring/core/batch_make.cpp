#include "batch_make.h"

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

#include "mms_maker.h"
#include "shared_procs.h"
#include "text_codec.h"

namespace {

// Replaces every occurrence of what, found without regard to ASCII case, left to
// right; the inserted text is not searched again.
std::string ReplaceAllIgnoreCase(const std::string& s, const std::string& what, const std::string& by) {
    if (what.empty()) return s;
    const std::string ls = LowerAscii(s);
    const std::string lw = LowerAscii(what);
    std::string out;
    size_t from = 0;
    for (size_t at = ls.find(lw); at != std::string::npos; at = ls.find(lw, from)) {
        out.append(s, from, at - from);
        out += by;
        from = at + what.size();
    }
    out.append(s, from, std::string::npos);
    return out;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Cuts UTF-8 text to at most n bytes at a character boundary.
std::string CutUtf8(const std::string& s, size_t n) {
    if (s.size() <= n) return s;
    size_t i = n;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return s.substr(0, i);
}

}  // namespace

std::string MakeOutputName(const std::string& pattern, int32_t n, const std::string& subject,
                           const std::string& dateText, const std::string& timeText) {
    char number[16];
    std::snprintf(number, sizeof number, "%.4d", n);
    std::string p = pattern;
    p = ReplaceAllIgnoreCase(p, "随机数字", number);
    p = ReplaceAllIgnoreCase(p, "彩信主题", subject);
    p = ReplaceAllIgnoreCase(p, "日期", dateText);
    p = ReplaceAllIgnoreCase(p, "时间", timeText);
    p = ReplaceAllIgnoreCase(p, "随机", std::to_string(n));
    // A subject (or a pattern) may hold anything: keep the name inside its folder
    // and acceptable to the file system wherever the files are copied.
    for (char& c : p) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    }
    return CutUtf8(p, 255 - 4) + ".mms";
}

void FilterPhoneNumbers(TStringList& list) {
    for (size_t i = list.size(); i-- > 0;)
        if (!IsPhoneNumber(list[i])) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
}

TStringList LoadListFileRewriting(const std::string& path) {
    const TAnsiLines text = LoadAsAnsiLines(path);
    // A file that ANSI cannot hold, or would garble, is only read.
    if (text.Differs && !text.KeepAsIs) ReplaceFileAtomically(path, text.Lines);
    return SplitLines(text.Utf8Text);
}

TStringList LoadAddressSource(const std::string& source) {
    const std::string s = Trim(source);
    if (IsRegularFile(s)) return LoadListFileRewriting(s);
    std::string t = s;
    for (char& c : t)
        if (c == ' ' || c == ';') c = ',';
    return SplitLines(ReplaceAllIgnoreCase(t, ",", "\r\n"));
}

TStringList LoadSubjectSource(const std::string& source) {
    const std::string t = Trim(source);
    if (t.empty()) return {};
    if (!IsRegularFile(t)) return SplitLines(t);
    TStringList lines = LoadListFileRewriting(t);
    for (size_t i = lines.size(); i-- > 0;)
        if (Trim(lines[i]).empty()) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    return lines;
}

TMessageMake::TMessageMake(TMmsMaker& maker, const TMmsSettings& settings, std::string outputDir,
                           TQuestions& questions, std::function<void(const std::string&)> openFolder,
                           std::function<bool()> gather)
    : maker_(maker),
      settings_(settings),
      outputDir_(std::move(outputDir)),
      questions_(questions),
      openFolder_(std::move(openFolder)),
      gather_(std::move(gather)) {}

std::string TMessageMake::DateText(const QDateTime& t) {
    return t.toString("yyyy年MM月dd日").toStdString();
}

std::string TMessageMake::TimeText(const QDateTime& t) {
    return t.toString("hh时mm分ss秒").toStdString();
}

void TMessageMake::Tell(const std::string& text) {
    questions_.Ask("提示", text, TButtons::Ok, TIcon::Information);
}

void TMessageMake::SizeCheck(const std::string& name, int32_t size) {
    if (size > settings_.MmsMaxSize)
        FOversizeList.push_back("【" + name + "】 " + std::to_string(size) + "K");
}

int32_t TMessageMake::MakeOne(int32_t n, const std::string& date, const std::string& time,
                              std::string& name) {
    name = MakeOutputName(settings_.MmsOutFormat, n, maker_.FSubject, date, time);
    int32_t size = maker_.MakeMms(outputDir_ + name);
    SizeCheck(name, size);
    return size;
}

bool TMessageMake::RunBatch(const TMakeInput& input, const std::string& date,
                            const std::string& time, int32_t& made) {
    auto count = [](const std::string& text, const char* label) {
        int32_t v = 0;
        if (!TryStrToInt(text, v))
            throw std::runtime_error(std::string(label) + "“" + text + "”不是有效的整数");
        return v;
    };
    const int32_t toCount = count(input.ToCount, "接收个数");
    const int32_t ccCount = count(input.CcCount, "抄送个数");
    const int32_t bccCount = count(input.BccCount, "秘送个数");
    // A negative count would never empty the list: refused like a zero sum.
    if (toCount < 0 || ccCount < 0 || bccCount < 0 ||
        static_cast<int64_t>(toCount) + ccCount + bccCount == 0) {
        Tell("请输入相关参数");
        return false;
    }
    TStringList addresses = LoadAddressSource(input.AddressSource);
    FilterPhoneNumbers(addresses);
    const TStringList subjects = LoadSubjectSource(input.SubjectSource);

    size_t next = 0;  // the head of the address list
    auto take = [&](int32_t k) {
        std::string s;
        for (int32_t i = 0; i < k && next < addresses.size(); ++i) {
            s += addresses[next++];
            s += ',';
        }
        return s;
    };
    size_t subjectIndex = 0;
    std::string name;
    while (next < addresses.size()) {
        maker_.FTo = take(toCount);
        maker_.FCc = take(ccCount);
        maker_.FBcc = take(bccCount);
        maker_.FSubject.clear();
        if (!subjects.empty()) {
            if (subjectIndex >= subjects.size()) subjectIndex = 0;
            maker_.FSubject = subjects[subjectIndex++];
        }
        MakeOne(made + 1, date, time, name);
        ++made;
    }
    maker_.FTo.clear();
    maker_.FCc.clear();
    maker_.FBcc.clear();
    maker_.FSubject.clear();
    return true;
}

TMakeResult TMessageMake::SBNewmmsClick(const TMakeInput& input) {
    TMakeResult result;
    FOversizeList.clear();
    if (Trim(input.SmilText).empty()) {
        Tell("请设置好smil文件");
        return result;
    }
    if (maker_.FPages.Count() == 0) {
        Tell("请设置好彩信内容");
        return result;
    }
    const QDateTime now = Now ? Now() : QDateTime::currentDateTime();
    const std::string date = DateText(now), time = TimeText(now);
    std::string text;
    try {
        maker_.SetSmilHead(input.SmilText);
        if (gather_ && !gather_()) throw std::runtime_error(kSettingsNotNumbers);
        if (!input.Batch) {
            std::string name;
            MakeOne(1, date, time, name);
            result.Made = 1;
            text = "制作完成：" + name + "。";
        } else {
            if (!RunBatch(input, date, time, result.Made)) return result;
            text = "制作完成，共生成 " + std::to_string(result.Made) + "个彩信文件。";
        }
    } catch (const std::exception& e) {
        // Files made so far stay; the user learns what stopped the make and, for a
        // batch, how many files there are.
        result.Outcome = TMakeOutcome::Failed;
        result.Error = e.what();
        text = "彩信制作失败：" + result.Error;
        if (input.Batch) text += "\r\n已生成 " + std::to_string(result.Made) + "个彩信文件。";
        Tell(text);
        return result;
    }
    if (!FOversizeList.empty()) {
        text += "\r\n\r\n以下文件偏大,如果不适合发送的话，请删除\r\n";
        for (const auto& line : FOversizeList) text += line + "\r\n";
    }
    Tell(text);
    if (openFolder_) openFolder_(outputDir_);
    result.Outcome = TMakeOutcome::Made;
    return result;
}
