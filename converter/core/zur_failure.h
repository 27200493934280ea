// Why a conversion failed, as the converter window tells it: "转换异常" and,
// on the next line, the cause: the outside program missing or not runnable
// (with its path), the program's folder not writable, the source that did not
// decode, the outside program's exit status with its last output line, or the
// target that was not written.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* ZurFailedText = "转换异常";

// "转换异常", then the cause on a line of its own (none when Cause is empty).
std::string ConversionFailedMessage(const std::string& Cause);

// The outside program AppDir + "Converter" when it is missing or cannot be run
// (not a file, or without a run bit); empty when it can be run.
std::string ConverterProblem(const std::string& AppDir);

// "zur.lock" in Folder is a folder, a link or another thing that is not a plain
// file, so no conversion can lock the folder.
std::string LockNotAFileCause(const std::string& Folder);

// The program's folder cannot be written; Reason is the system's.
std::string FolderNotWritableCause(const std::string& Folder, const std::string& Reason);

// The cause of a failed decoding into the intermediate file: when FileError
// (the system's reason) is set, the file could not be written in Folder;
// otherwise the source did not decode, as the writer's WriterError tells.
std::string DecodingFailedCause(const std::string& FileError, const std::string& WriterError,
                                const std::string& Folder);

// The last line of the output that holds more than blanks, trimmed, cut to at
// most 200 bytes (on a character boundary of UTF-8 text); empty when none.
std::string LastOutputLine(const std::vector<std::string>& Lines);

// How a run of the batch file went.
struct TZurRunOutcome {
    // The error of a batch file that could not be started, or empty.
    std::string StartError;
    // waitpid's status of the batch file's process, -1 when its end was not seen.
    int WaitStatus = -1;
    // Its last output line (LastOutputLine).
    std::string LastLine;
    // Whether the target was made or rewritten by the run.
    bool TargetWritten = false;
};

// Empty when the run converted: it started, ended with status 0 and wrote the
// target. Otherwise the cause, in this order: not started, ended by a signal or
// with a status other than 0 (with the last output line), target not written.
std::string RunFailureCause(const TZurRunOutcome& Outcome, const std::string& Target);
