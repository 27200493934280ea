#include "zur_failure.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "zur_folder_lock.h"
#include "zur_paths.h"
#include "zur_script.h"

std::string ConversionFailedMessage(const std::string& Cause) {
    std::string text = ZurFailedText;
    if (!Cause.empty()) text += "\n" + Cause;
    return text;
}

std::string ConverterProblem(const std::string& AppDir) {
    const std::string path = AppDir + ZurConverterName;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return "找不到转换程序：" + path;
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0)
        return "转换程序不能运行：" + path;
    return {};
}

std::string LockNotAFileCause(const std::string& Folder) {
    return "锁文件不是普通文件，不能锁定程序文件夹：" + Folder + ZurLockName;
}

std::string FolderNotWritableCause(const std::string& Folder, const std::string& Reason) {
    std::string text = "程序文件夹不能写入：" + Folder;
    if (!Reason.empty()) text += "（" + Reason + "）";
    return text;
}

std::string DecodingFailedCause(const std::string& FileError, const std::string& WriterError,
                                const std::string& Folder) {
    if (!FileError.empty()) return FolderNotWritableCause(Folder, FileError);
    return "原始文件不能解码：" + WriterError;
}

std::string LastOutputLine(const std::vector<std::string>& Lines) {
    constexpr size_t kMost = 200;
    for (auto it = Lines.rbegin(); it != Lines.rend(); ++it) {
        std::string line = TrimText(*it);
        if (line.empty()) continue;
        if (line.size() > kMost) {
            size_t cut = kMost;
            // Step back over UTF-8 continuation bytes so no character is split.
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            line.resize(cut);
        }
        return line;
    }
    return {};
}

std::string RunFailureCause(const TZurRunOutcome& Outcome, const std::string& Target) {
    if (!Outcome.StartError.empty()) return "转换程序不能启动：" + Outcome.StartError;
    const int status = Outcome.WaitStatus;
    std::string ended;
    if (status != -1 && WIFSIGNALED(status))
        ended = "转换程序被信号 " + std::to_string(WTERMSIG(status)) + " 终止";
    else if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
        ended = "转换程序结束状态 " + std::to_string(WEXITSTATUS(status));
    if (!ended.empty()) {
        if (!Outcome.LastLine.empty()) ended += "：" + Outcome.LastLine;
        return ended;
    }
    if (!Outcome.TargetWritten) return "转换文件没有写出：" + Target;
    return {};
}
