#include "dos_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

extern char** environ;

namespace {

constexpr int kMaxCapturedLines = 200;
constexpr size_t kInitialBufferSize = 1024;

bool IsShellName(const std::string& Word) {
    if (Word.empty() || (Word[0] >= '0' && Word[0] <= '9')) return false;
    for (char c : Word)
        if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (c >= '0' && c <= '9')))
            return false;
    return true;
}

// The program named by the first word of a shell command line when that word is
// a path (it holds a "/") that the shell takes literally; empty otherwise (a
// builtin, a name looked up in PATH, a word with expansions, an assignment, a
// redirection or a compound command first).
std::string LiteralProgramPath(const std::string& Cmd) {
    size_t i = 0;
    const size_t n = Cmd.size();
    while (i < n && (Cmd[i] == ' ' || Cmd[i] == '\t')) ++i;
    std::string word;
    bool quoted = false;
    while (i < n) {
        const char c = Cmd[i];
        if (c == ' ' || c == '\t' || c == '\n' || std::strchr(";&|<>()", c)) break;
        if (c == '\'') {
            const size_t close = Cmd.find('\'', i + 1);
            if (close == std::string::npos) return {};
            word.append(Cmd, i + 1, close - i - 1);
            i = close + 1;
            quoted = true;
        } else if (c == '"') {
            ++i;
            while (i < n && Cmd[i] != '"') {
                if (Cmd[i] == '\\' && i + 1 < n && std::strchr("$`\"\\", Cmd[i + 1])) {
                    word += Cmd[i + 1];
                    i += 2;
                    continue;
                }
                if (Cmd[i] == '$' || Cmd[i] == '`') return {};
                word += Cmd[i++];
            }
            if (i >= n) return {};
            ++i;
            quoted = true;
        } else if (c == '\\') {
            if (i + 1 >= n) return {};
            word += Cmd[i + 1];
            i += 2;
            quoted = true;
        } else {
            if (std::strchr("$`*?[~", c)) return {};
            if (c == '#' && word.empty() && !quoted) return {};
            if (c == '=' && !quoted && IsShellName(word)) return {};
            word += c;
            ++i;
        }
    }
    if (word.find('/') == std::string::npos) return {};
    return word;
}

// A byte that belongs to a line: neither a line end nor a NUL.
bool IsLineByte(char Byte) { return Byte != 0 && Byte != '\n' && Byte != '\r'; }

void CloseFd(int& Fd) {
    if (Fd >= 0) {
        ::close(Fd);
        Fd = -1;
    }
}

void SleepOneMillisecond() {
    timespec ts{0, 1000 * 1000};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Reaps a process that the runner stopped watching, once it ends, so that it
// does not stay behind as a zombie.
void ReapWhenEnded(pid_t Pid) {
    std::thread([Pid] {
        int status = 0;
        while (::waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// Drops a SIGPIPE that a write of this thread raised while it was blocked.
void DiscardPendingSigpipe() {
    sigset_t pipeSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    timespec zero{0, 0};
    while (::sigtimedwait(&pipeSet, nullptr, &zero) == SIGPIPE) {
    }
}

int OpenPidFd(pid_t Pid) { return static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0)); }

// Closes every descriptor of this process but Keep.
void CloseAllBut(int Keep) {
    if ((Keep == 0 || ::close_range(0, Keep - 1, 0) == 0) && ::close_range(Keep + 1, ~0U, 0) == 0)
        return;
    for (int fd = 0; fd < 65536; ++fd)
        if (fd != Keep) ::close(fd);
}

// Starts the guard of a run: a process that kills the process group Group once
// this program has ended, and ends by itself once the group's leader has. It
// holds no descriptor of the program's (no lock, no pipe end), and it is not in
// the group, so that a stop does not take it for a part of the run. Gives its
// id once it watches, or -1 when it could not be started; the caller reaps it.
pid_t StartGroupGuard(pid_t Group) {
    int ready[2] = {-1, -1};
    if (::pipe2(ready, O_CLOEXEC) != 0) return -1;
    const pid_t program = ::getpid();
    const pid_t guard = ::fork();
    if (guard == 0) {
        // A copy of a program with threads: nothing but system calls here.
        CloseAllBut(ready[1]);
        const int programFd = OpenPidFd(program);
        const int programError = errno;
        if (::getppid() != program) {
            // The program has ended already.
            ::kill(-Group, SIGKILL);
            ::_exit(0);
        }
        const int groupFd = OpenPidFd(Group);
        if (programFd < 0 || groupFd < 0) ::_exit(programError == ENOSYS ? 2 : 0);
        const char byte = 1;
        while (::write(ready[1], &byte, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[1]);
        pollfd watched[2] = {{programFd, POLLIN, 0}, {groupFd, POLLIN, 0}};
        for (;;) {
            if (::poll(watched, 2, -1) < 0) {
                if (errno == EINTR) continue;
                ::_exit(1);
            }
            if (watched[0].revents != 0) {
                ::kill(-Group, SIGKILL);
                ::_exit(0);
            }
            if (watched[1].revents != 0) ::_exit(0);
        }
    }
    ::close(ready[1]);
    if (guard > 0) {
        // Until it watches, the leader must not be reaped: its id could be
        // another process's by then.
        char byte = 0;
        while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) {
        }
    }
    ::close(ready[0]);
    return guard;
}

// What the process of a run is started with.
struct TProcessStart {
    int Input;             // becomes its standard input
    int Output;            // its standard output and standard error
    int InheritedFd;       // kept open under its number, or -1
    const char* WorkPath;  // its folder, or null for this program's
    char** Argv;           // of /bin/sh
};

// Starts /bin/sh in a process group of its own, under a guard (StartGroupGuard):
// the process waits before its exec until its guard watches, so that nothing of
// the run can outlive this program unguarded. Gives the process's id, or -1
// when it could not be started (its folder or /bin/sh missing); Guard is the
// guard's id, or -1. The caller reaps both.
pid_t StartGuardedProcess(const TProcessStart& Start, pid_t& Guard) {
    Guard = -1;
    int gate[2] = {-1, -1}, report[2] = {-1, -1};
    if (::pipe2(gate, O_CLOEXEC) != 0) return -1;
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(gate[0]);
        ::close(gate[1]);
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A copy of a program with threads: nothing but system calls here.
        auto fail = [&](int Error) {
            while (::write(report[1], &Error, sizeof Error) < 0 && errno == EINTR) {
            }
            ::_exit(127);
        };
        ::setpgid(0, 0);
        // Out of the way of the standard handles' numbers first.
        const int input = ::fcntl(Start.Input, F_DUPFD_CLOEXEC, 10);
        const int output = ::fcntl(Start.Output, F_DUPFD_CLOEXEC, 10);
        if (input < 0 || output < 0 || ::dup2(input, STDIN_FILENO) < 0 ||
            ::dup2(output, STDOUT_FILENO) < 0 || ::dup2(output, STDERR_FILENO) < 0)
            fail(errno);
        if (Start.InheritedFd > STDERR_FILENO) ::fcntl(Start.InheritedFd, F_SETFD, 0);
        sigset_t noSignals;
        sigemptyset(&noSignals);
        ::pthread_sigmask(SIG_SETMASK, &noSignals, nullptr);
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &byDefault, nullptr);
        if (Start.WorkPath && ::chdir(Start.WorkPath) != 0) fail(errno);
        char byte = 0;
        ssize_t got;
        while ((got = ::read(gate[0], &byte, 1)) < 0 && errno == EINTR) {
        }
        if (got != 1) ::_exit(127);  // the program has ended before the guard watched
        ::execve("/bin/sh", Start.Argv, environ);
        fail(errno);
    }
    ::close(gate[0]);
    ::close(report[1]);
    if (pid < 0) {
        ::close(gate[1]);
        ::close(report[0]);
        return -1;
    }
    // Here too: a stop may kill the group before the child has made it.
    ::setpgid(pid, pid);
    Guard = StartGroupGuard(pid);
    const char go = 1;
    while (::write(gate[1], &go, 1) < 0 && errno == EINTR) {
    }
    DiscardPendingSigpipe();  // a child that failed before its gate is gone
    ::close(gate[1]);
    // Nothing comes once the exec has closed the report's end.
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == 0) return pid;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (Guard > 0)
        while (::waitpid(Guard, &status, 0) < 0 && errno == EINTR) {
        }
    Guard = -1;
    return -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// TDosThread

TDosThread::TDosThread(TDosCommand* AOwner, std::string ACommandLine, TLineList* ACapturedLines,
                       TLineList* AMirrorLines, bool AInputToOutput, TProcessTimer* ATimer,
                       int32_t AMaxTimeAfterBeginning, int32_t AMaxTimeAfterLastOutput,
                       TNewLineEvent AOnNewLine, TDosNotifyEvent AOnTerminated,
                       std::string AWorkPath, int32_t AID, int AInheritedFd)
    : FOwner(AOwner),
      FCommandLine(std::move(ACommandLine)),
      FCapturedLines(ACapturedLines),
      FMirrorLines(AMirrorLines),
      FInputToOutput(AInputToOutput),
      FTimer(ATimer),
      FMaxTimeAfterBeginning(AMaxTimeAfterBeginning),
      FMaxTimeAfterLastOutput(AMaxTimeAfterLastOutput),
      FOnNewLine(std::move(AOnNewLine)),
      FOnTerminated(std::move(AOnTerminated)),
      FWorkPath(std::move(AWorkPath)),
      FID(AID),
      FInheritedFd(AInheritedFd) {
    FThread = std::thread(&TDosThread::Execute, this);
}

TDosThread::~TDosThread() {
    Terminate();
    WaitFor();
}

void TDosThread::WaitFor() {
    if (FThread.joinable()) FThread.join();
}

void TDosThread::AddPendingInput(const std::string& Entry) {
    std::lock_guard<std::mutex> lock(FInputLock);
    FPendingInput.push_back(Entry);
}

std::string TDosThread::ErrorMessage() const {
    for (const std::exception_ptr& error : {FPipeError, FCreateProcessError, FHandlerError}) {
        if (!error) continue;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            return e.what();
        } catch (...) {
            return "unknown error";
        }
    }
    return {};
}

void TDosThread::Execute() {
    // Writes to the process's input may raise SIGPIPE; keep it on this thread,
    // blocked, and drop it after the failed write.
    sigset_t pipeSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, nullptr);
    RunProcess();
    FFinished = true;
}

void TDosThread::EndLine(std::string& Line, bool& MirrorFlag) {
    if (!FMirrorLines && !FOnNewLine) {
        // Nobody else sees the line: it moves into the captured lines whole.
        FCapturedLines->Add(std::move(Line));
        Line.clear();
        MirrorFlag = false;
        return;
    }
    FCapturedLines->Add(Line);
    if (FMirrorLines) {
        if (MirrorFlag)
            FMirrorLines->SetLast(Line);
        else
            FMirrorLines->Add(Line);
    }
    MirrorFlag = false;
    if (FOnNewLine) FOnNewLine(FOwner, FID, Line, otEntireLine);
    Line.clear();
}

void TDosThread::WritePendingInput(int InputFd, std::string& Unwritten, bool& MirrorFlag) {
    for (;;) {
        if (Unwritten.empty()) {
            std::string entry;
            {
                std::lock_guard<std::mutex> lock(FInputLock);
                if (FPendingInput.empty() || Terminated()) break;
                entry = std::move(FPendingInput.front());
                FPendingInput.pop_front();
            }
            if (entry.empty()) continue;
            const std::string text = entry.substr(1);
            Unwritten = entry[0] == '_' ? text + "\n" : text;
            if (FInputToOutput) {
                std::string echoed = text;
                if (FMirrorLines) {
                    if (MirrorFlag) {
                        echoed = FMirrorLines->Strings(FMirrorLines->Count() - 1) + text;
                        FMirrorLines->SetLast(echoed);
                        MirrorFlag = false;
                    } else {
                        FMirrorLines->Add(text);
                    }
                }
                if (FOnNewLine) FOnNewLine(FOwner, FID, echoed, otEntireLine);
            }
        }
        const ssize_t written = ::write(InputFd, Unwritten.data(), Unwritten.size());
        if (written > 0) {
            Unwritten.erase(0, static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EPIPE) {
            // The process no longer reads its input: drop what was queued.
            DiscardPendingSigpipe();
            Unwritten.clear();
            std::lock_guard<std::mutex> lock(FInputLock);
            FPendingInput.clear();
        }
        break;  // the pipe is full (the rest goes in a later pass) or failed
    }
}

void TDosThread::RunProcess() {
    int inPipe[2] = {-1, -1};   // [0]: the child's standard input; [1]: kept here
    int outPipe[2] = {-1, -1};  // [1]: the child's standard output and error; [0]: read here
    auto closePipes = [&] {
        CloseFd(inPipe[0]);
        CloseFd(inPipe[1]);
        CloseFd(outPipe[0]);
        CloseFd(outPipe[1]);
    };
    auto endRun = [&] {
        FTimer->StopCounting();
        if (FOnTerminated) {
            try {
                FOnTerminated(FOwner);
            } catch (...) {
                if (!FHandlerError) FHandlerError = std::current_exception();
            }
        }
    };

    // Pipes, all close-on-exec: the child receives only the ends duplicated onto
    // its standard handles.
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0) {
        FPipeError = std::make_exception_ptr(
            std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno)));
        closePipes();
        endRun();
        return;
    }
    ::fcntl(inPipe[1], F_SETFL, ::fcntl(inPipe[1], F_GETFL) | O_NONBLOCK);

    // Start the process: /bin/sh -c CommandLine in a new process group, in
    // WorkPath when it is given.
    bool started = false;
    pid_t pid = 0;
    const std::string program = LiteralProgramPath(FCommandLine);
    const std::string programPath = (!program.empty() && program[0] != '/' && !FWorkPath.empty())
                                        ? FWorkPath + "/" + program
                                        : program;
    pid_t guard = -1;
    if (program.empty() || ::access(programPath.c_str(), F_OK) == 0) {
        std::string shell = "/bin/sh", dashC = "-c", command = FCommandLine;
        char* argv[] = {shell.data(), dashC.data(), command.data(), nullptr};
        const TProcessStart start{inPipe[0], outPipe[1], FInheritedFd,
                                  FWorkPath.empty() ? nullptr : FWorkPath.c_str(), argv};
        pid = StartGuardedProcess(start, guard);
        started = pid > 0;
    }
    if (!started) {
        FCreateProcessError =
            std::make_exception_ptr(TCreateProcessError(FCommandLine + " doesn't exist."));
        closePipes();
        endRun();
        return;
    }
    FProcessId = pid;
    // The child's input is its own now: once it stops reading, writes to it
    // fail and the queued input is dropped. The write end of the output pipe
    // stays open here for the whole run, so the pipe never reads as broken.
    CloseFd(inPipe[0]);

    std::string unfinished;
    bool mirrorFlag = false;
    std::vector<char> buffer(kInitialBufferSize, 0);
    std::string unwrittenInput;
    bool reaped = false;
    try {
        for (;;) {
            // Keep the newest lines.
            FCapturedLines->KeepNewest(kMaxCapturedLines);
            // Has the process ended? Taken before the pipe is looked at, so the
            // pass that sees the end still reads everything written before it.
            int status = 0;
            const pid_t waited = ::waitpid(pid, &status, WNOHANG);
            const bool stillActive = waited == 0 || (waited < 0 && errno == EINTR);
            if (!stillActive) reaped = true;
            if (waited == pid) FExitStatus = status;
            // Is output waiting?
            int available = 0;
            pollfd pfd{outPipe[0], POLLIN, 0};
            if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN))
                ::ioctl(outPipe[0], FIONREAD, &available);
            if (available > 0) {
                // Read it all and cut it into lines.
                if (static_cast<size_t>(available) > buffer.size()) buffer.resize(available);
                std::fill(buffer.begin(), buffer.end(), 0);
                ssize_t count = ::read(outPipe[0], buffer.data(), buffer.size());
                if (count < 0) count = 0;
                // The unfinished line grows in place up to its bound; the
                // mirror is handed only what this read added to it.
                size_t mirrored = unfinished.size();
                const char* data = buffer.data();
                ssize_t i = 0;
                while (i < count && !Terminated()) {
                    const char byte = data[i];
                    if (byte == 0) {
                        ++i;
                        continue;
                    }
                    if (byte != '\n' && byte != '\r') {
                        ssize_t end = i + 1;
                        while (end < count && IsLineByte(data[end]) && !Terminated()) ++end;
                        while (i < end) {
                            // A full unfinished line is handed on as it stands and
                            // the line goes on from the next byte, so that output
                            // without line ends costs no more than the bound.
                            if (unfinished.size() >= kMaxUnfinishedLine) {
                                EndLine(unfinished, mirrorFlag);
                                mirrored = 0;
                            }
                            const size_t take = std::min(static_cast<size_t>(end - i),
                                                         kMaxUnfinishedLine - unfinished.size());
                            unfinished.append(data + i, take);
                            i += static_cast<ssize_t>(take);
                        }
                        continue;
                    }
                    if (byte == '\r' && i + 1 < count && data[i + 1] == '\n') ++i;
                    ++i;
                    FTimer->ResetLastOutput();
                    EndLine(unfinished, mirrorFlag);
                    mirrored = 0;
                }
                if (!unfinished.empty()) {
                    if (FMirrorLines) {
                        if (mirrorFlag)
                            FMirrorLines->AppendToLast(
                                std::string_view(unfinished).substr(mirrored));
                        else
                            FMirrorLines->Add(unfinished);
                    }
                    if (FOnNewLine) FOnNewLine(FOwner, FID, unfinished, otBeginningOfLine);
                    mirrorFlag = true;
                }
            } else {
                // Nothing waiting: hand the process its queued input.
                WritePendingInput(inPipe[1], unwrittenInput, mirrorFlag);
            }
            SleepOneMillisecond();
            // A stop kills the process and everything it started.
            if (Terminated()) ::kill(-pid, SIGKILL);
            // The end of the process, or of the watching.
            if (!stillActive) break;
            if (FMaxTimeAfterBeginning > 0 && FTimer->ElapsedSeconds() > FMaxTimeAfterBeginning)
                break;
            if (FMaxTimeAfterLastOutput > 0 &&
                FTimer->SecondsSinceOutput() > FMaxTimeAfterLastOutput)
                break;
        }
        // An unended line ends with the run.
        if (!unfinished.empty()) EndLine(unfinished, mirrorFlag);
    } catch (...) {
        // A handler raised: the watching ends here.
        FHandlerError = std::current_exception();
    }

    // Clean up. A process that is still running (a time limit passed) goes on
    // running, still guarded; it and its guard are reaped once they end. The
    // guard of an ended process ends at once.
    if (!reaped) ReapWhenEnded(pid);
    if (guard > 0) {
        if (reaped) {
            int status = 0;
            while (::waitpid(guard, &status, 0) < 0 && errno == EINTR) {
            }
        } else {
            ReapWhenEnded(guard);
        }
    }
    closePipes();
    endRun();
}

// ---------------------------------------------------------------------------
// TDosCommand

TDosCommand::TDosCommand(QObject* AOwner) : QObject(AOwner), FOwner(AOwner) {}

TDosCommand::~TDosCommand() {
    Stop();
    if (!FOwner) delete FTimer;
}

void TDosCommand::Start() {
    if (FCommandLine.empty()) throw EDosCommand("No Commandline to execute");
    if (FThread) {
        if (IsRunning()) throw EDosCommand("A command is still running");
        Stop();
    }
    if (!FTimer) FTimer = new TProcessTimer(FOwner);
    FCapturedLines.Clear();
    FLastError.clear();
    FLastExitStatus = -1;
    FTimer->StartCounting();
    FThread = std::make_unique<TDosThread>(this, FCommandLine, &FCapturedLines, FMirrorLines,
                                           FInputToOutput, FTimer, FMaxTimeAfterBeginning,
                                           FMaxTimeAfterLastOutput, FOnNewLine, FOnTerminated,
                                           FWorkPath, FID, FInheritedFd);
}

bool TDosCommand::IsRunning() const {
    if (!FThread || !FTimer) return false;
    return FTimer->Enabled();
}

void TDosCommand::Stop() {
    if (!FThread) return;
    FThread->Terminate();
    FThread->WaitFor();
    FLastError = FThread->ErrorMessage();
    FLastExitStatus = FThread->ExitStatus();
    FThread.reset();
}

void TDosCommand::SendLine(const std::string& Value, bool Eol) {
    if (FThread) FThread->AddPendingInput((Eol ? "_" : "-") + Value);
}

std::string TDosCommand::LastError() const {
    if (FThread && FThread->Finished()) return FThread->ErrorMessage();
    return FLastError;
}

int TDosCommand::ExitStatus() const {
    if (FThread) return FThread->Finished() ? FThread->ExitStatus() : -1;
    return FLastExitStatus;
}

pid_t TDosCommand::ProcessId() const { return FThread ? FThread->ProcessId() : 0; }
