// TDosCommand runs one command line as a child process ("/bin/sh -c CommandLine")
// in a process group of its own, with its standard input on one pipe and its
// standard output and standard error on another. For each run a thread,
// TDosThread, starts the process, drains its output and cuts it into lines,
// watches the process until it ends, a time limit passes or the caller stops it,
// and then cleans up. A TProcessTimer counts the seconds of the run on the
// caller's thread. The process group ends with the program that started it,
// however the program ends (a kill included): a guard process kills the group
// once the program is gone, so that nothing the command started goes on
// working on files the program left.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "line_list.h"
#include "process_timer.h"

class TDosCommand;

// The most an unfinished line holds. A longer line is handed on in pieces of
// this size, each as a complete line (captured, mirrored and reported with
// otEntireLine), and goes on in the next piece; only a real line end counts as
// output for MaxTimeAfterLastOutput.
inline constexpr size_t kMaxUnfinishedLine = 64 * 1024;

enum TOutputType {
    otEntireLine = 0,       // the text is a complete line
    otBeginningOfLine = 1,  // the text is the beginning of a line not yet ended
};

// Handler of OnNewLine; called on the runner thread.
using TNewLineEvent = std::function<void(TDosCommand* Sender, int32_t ID,
                                         const std::string& NewLine, TOutputType OutputType)>;
// Handler of OnTerminated; called on the runner thread, once at the end of a run.
using TDosNotifyEvent = std::function<void(TDosCommand* Sender)>;

// Raised by TDosCommand::Start when there is no command line (or a run is still
// under way).
class EDosCommand : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The error of a process that cannot be started: the command line followed by
// " doesn't exist.".
class TCreateProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The thread of one run. It starts running when it is made; destroying it asks it
// to terminate and waits until its body has returned.
class TDosThread {
public:
    TDosThread(TDosCommand* AOwner, std::string ACommandLine, TLineList* ACapturedLines,
               TLineList* AMirrorLines, bool AInputToOutput, TProcessTimer* ATimer,
               int32_t AMaxTimeAfterBeginning, int32_t AMaxTimeAfterLastOutput,
               TNewLineEvent AOnNewLine, TDosNotifyEvent AOnTerminated, std::string AWorkPath,
               int32_t AID, int AInheritedFd);
    ~TDosThread();
    TDosThread(const TDosThread&) = delete;
    TDosThread& operator=(const TDosThread&) = delete;

    // Sets the termination request; the thread kills the process's group.
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated.load(); }
    // Waits until the body has returned (at once when it already has).
    void WaitFor();
    bool Finished() const { return FFinished.load(); }

    // Queues one input entry: its first character is a marker that is not sent;
    // marker '_' sends the rest followed by a line end, any other marker the rest
    // alone.
    void AddPendingInput(const std::string& Entry);

    // The error that ended the run (a pipe that could not be made, a process that
    // could not be started, a handler that raised), or empty. Valid once the
    // run has ended.
    std::string ErrorMessage() const;
    // The process (and process group) id of the run, or 0 before it is started.
    pid_t ProcessId() const { return FProcessId.load(); }
    // The process's wait status once its end was seen (waitpid's form), or -1
    // (not started, or the watching ended before the process did).
    int ExitStatus() const { return FExitStatus.load(); }

private:
    void Execute();
    void RunProcess();
    // Ends a line: it goes to the captured lines, the mirror list and OnNewLine
    // (otEntireLine), and Line is left empty.
    void EndLine(std::string& Line, bool& MirrorFlag);
    void WritePendingInput(int InputFd, std::string& Unwritten, bool& MirrorFlag);

    TDosCommand* FOwner;
    std::string FCommandLine;
    TLineList* FCapturedLines;
    TLineList* FMirrorLines;
    bool FInputToOutput;
    TProcessTimer* FTimer;
    int32_t FMaxTimeAfterBeginning;
    int32_t FMaxTimeAfterLastOutput;
    TNewLineEvent FOnNewLine;
    TDosNotifyEvent FOnTerminated;
    std::exception_ptr FPipeError;
    std::exception_ptr FCreateProcessError;
    std::exception_ptr FHandlerError;
    std::string FWorkPath;
    int32_t FID;
    int FInheritedFd;
    std::mutex FInputLock;
    std::deque<std::string> FPendingInput;

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<pid_t> FProcessId{0};
    std::atomic<int> FExitStatus{-1};
    std::thread FThread;
};

class TDosCommand : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint32 ID READ ID WRITE SetID)
    Q_PROPERTY(std::string WorkPath READ WorkPath WRITE SetWorkPath)
    Q_PROPERTY(std::string CommandLine READ CommandLine WRITE SetCommandLine)
    Q_PROPERTY(bool InputToOutput READ InputToOutput WRITE SetInputToOutput)
    Q_PROPERTY(
        qint32 MaxTimeAfterBeginning READ MaxTimeAfterBeginning WRITE SetMaxTimeAfterBeginning)
    Q_PROPERTY(
        qint32 MaxTimeAfterLastOutput READ MaxTimeAfterLastOutput WRITE SetMaxTimeAfterLastOutput)

public:
    // AOwner, when given, owns the runner and its timer and frees them.
    explicit TDosCommand(QObject* AOwner = nullptr);
    ~TDosCommand() override;

    int32_t ID() const { return FID; }
    void SetID(int32_t Value) { FID = Value; }
    std::string WorkPath() const { return FWorkPath; }
    void SetWorkPath(const std::string& Value) { FWorkPath = Value; }
    std::string CommandLine() const { return FCommandLine; }
    void SetCommandLine(const std::string& Value) { FCommandLine = Value; }
    bool InputToOutput() const { return FInputToOutput; }
    void SetInputToOutput(bool Value) { FInputToOutput = Value; }
    int32_t MaxTimeAfterBeginning() const { return FMaxTimeAfterBeginning; }
    void SetMaxTimeAfterBeginning(int32_t Value) { FMaxTimeAfterBeginning = Value; }
    int32_t MaxTimeAfterLastOutput() const { return FMaxTimeAfterLastOutput; }
    void SetMaxTimeAfterLastOutput(int32_t Value) { FMaxTimeAfterLastOutput = Value; }
    void SetOnNewLine(TNewLineEvent Value) { FOnNewLine = std::move(Value); }
    void SetOnTerminated(TDosNotifyEvent Value) { FOnTerminated = std::move(Value); }
    // A list of the caller's that mirrors the output, an unfinished line growing
    // in place in its last entry; not owned. None by default.
    void SetMirrorLines(TLineList* Value) { FMirrorLines = Value; }
    // A descriptor of the caller's that the process and everything it starts
    // keep open under the same number (a lock that must stay held while any of
    // them runs), or -1 (the default). A descriptor opened close-on-exec is
    // not inherited otherwise.
    int InheritedFd() const { return FInheritedFd; }
    void SetInheritedFd(int Value) { FInheritedFd = Value; }

    // Starts a run of CommandLine. Raises EDosCommand "No Commandline to execute"
    // when CommandLine is empty.
    void Start();
    // True while the current run's timer is enabled; false without a run.
    bool IsRunning() const;
    // Asks the current run to end (killing the process group), waits for its
    // thread and frees it. Nothing happens without a current run.
    void Stop();
    // Queues a line for the process's standard input (with a line end when Eol).
    // Nothing happens without a current run.
    void SendLine(const std::string& Value, bool Eol);

    // The complete lines of the current or last run (the newest 200, as trimmed
    // at each pass of the run).
    TLineList& CapturedLines() { return FCapturedLines; }
    // The timer, made at the first start; null before.
    TProcessTimer* Timer() const { return FTimer; }
    // The error that ended the current or last run, or empty.
    std::string LastError() const;
    // The process (and process group) id of the current run, or 0.
    pid_t ProcessId() const;
    // The wait status of the current or last run's process once its end was
    // seen (WIFEXITED, WEXITSTATUS ... apply), or -1.
    int ExitStatus() const;

private:
    QObject* FOwner;
    std::string FWorkPath;
    int32_t FID = 0;
    std::string FCommandLine;
    TLineList FCapturedLines;
    TLineList* FMirrorLines = nullptr;
    int FInheritedFd = -1;
    bool FInputToOutput = false;
    TNewLineEvent FOnNewLine;
    TDosNotifyEvent FOnTerminated;
    std::unique_ptr<TDosThread> FThread;
    TProcessTimer* FTimer = nullptr;
    int32_t FMaxTimeAfterBeginning = 0;
    int32_t FMaxTimeAfterLastOutput = 0;
    std::string FLastError;
    int FLastExitStatus = -1;
};
