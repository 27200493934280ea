// The console command runner against real processes (/bin/sh).
#include "dos_command.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMetaProperty>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

struct TEvent {
    std::string Line;
    TOutputType Type;
    int32_t ID;
    std::vector<std::string> Mirror;  // the mirror list when the event came
    bool operator==(const TEvent& Other) const { return Line == Other.Line && Type == Other.Type; }
};

std::ostream& operator<<(std::ostream& Out, const TEvent& Event) {
    return Out << "{\"" << Event.Line << "\", "
               << (Event.Type == otEntireLine ? "otEntireLine" : "otBeginningOfLine") << "}";
}

// Collects what a runner reports on its thread.
struct TRecorder {
    std::mutex Lock;
    std::vector<TEvent> Events;
    std::atomic<int> Terminations{0};
    TLineList* Mirror = nullptr;

    void Attach(TDosCommand& Command) {
        Command.SetOnNewLine(
            [this](TDosCommand*, int32_t ID, const std::string& Line, TOutputType Type) {
                std::lock_guard<std::mutex> lock(Lock);
                Events.push_back(
                    {Line, Type, ID, Mirror ? Mirror->ToVector() : std::vector<std::string>{}});
            });
        Command.SetOnTerminated([this](TDosCommand*) { ++Terminations; });
    }
    std::vector<TEvent> Snapshot() {
        std::lock_guard<std::mutex> lock(Lock);
        return Events;
    }
};

TEvent E(const std::string& Line) { return {Line, otEntireLine, 0, {}}; }
TEvent B(const std::string& Line) { return {Line, otBeginningOfLine, 0, {}}; }

// Runs the command to its end without letting events run, then stops the runner.
void RunToEnd(TDosCommand& Command, int TimeoutMs = 10000) {
    Command.Start();
    ASSERT_TRUE(SleepUntil([&] { return !Command.IsRunning(); }, TimeoutMs));
    Command.Stop();
}

int OpenDescriptorCount() {
    int count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd");
         it != std::filesystem::directory_iterator(); ++it)
        ++count;
    return count;
}

}  // namespace

TEST(DosCommand, CreateGivesThePublishedDefaults) {
    TDosCommand command;
    EXPECT_EQ(command.ID(), 0);
    EXPECT_EQ(command.WorkPath(), "");
    EXPECT_EQ(command.CommandLine(), "");
    EXPECT_FALSE(command.InputToOutput());
    EXPECT_EQ(command.MaxTimeAfterBeginning(), 0);
    EXPECT_EQ(command.MaxTimeAfterLastOutput(), 0);
    EXPECT_EQ(command.Timer(), nullptr);
    EXPECT_EQ(command.CapturedLines().Count(), 0);
    EXPECT_FALSE(command.IsRunning());
    // The published properties, in their declared order.
    const QMetaObject* meta = command.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << meta->property(i).name();
    EXPECT_EQ(names, QStringList({"ID", "WorkPath", "CommandLine", "InputToOutput",
                                  "MaxTimeAfterBeginning", "MaxTimeAfterLastOutput"}));
    command.setProperty("CommandLine", QVariant::fromValue(std::string("echo x")));
    command.setProperty("ID", 7);
    EXPECT_EQ(command.CommandLine(), "echo x");
    EXPECT_EQ(command.ID(), 7);
}

TEST(DosCommand, EmptyCommandLineIsRefused) {
    TDosCommand command;
    try {
        command.Start();
        FAIL() << "no error raised";
    } catch (const EDosCommand& e) {
        EXPECT_STREQ(e.what(), "No Commandline to execute");
    }
    EXPECT_FALSE(command.IsRunning());
    EXPECT_EQ(command.Timer(), nullptr);  // the timer is not touched
    command.Stop();                       // nothing to stop
}

TEST(DosCommand, EmptyCommandLineLeavesARunUnderWayAlone) {
    TDosCommand command;
    command.SetCommandLine("exec sleep 5");
    command.Start();
    ASSERT_TRUE(command.IsRunning());
    command.SetCommandLine("");
    EXPECT_THROW(command.Start(), EDosCommand);
    EXPECT_TRUE(command.IsRunning());
    command.Stop();
    EXPECT_FALSE(command.IsRunning());
}

TEST(DosCommand, LineEndsInOneRead) {
    // a, CR, LF, b, LF, c in one write, then the end.
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetCommandLine("printf 'a\\r\\nb\\nc'");
    RunToEnd(command);
    EXPECT_EQ(recorder.Snapshot(), (std::vector<TEvent>{E("a"), E("b"), B("c"), E("c")}));
    EXPECT_EQ(command.CapturedLines().ToVector(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(recorder.Terminations, 1);
}

TEST(DosCommand, CrAtTheEndOfOneReadAndLfInTheNext) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetCommandLine("printf 'x\\r'; sleep 0.3; printf '\\ny'");
    RunToEnd(command);
    EXPECT_EQ(recorder.Snapshot(), (std::vector<TEvent>{E("x"), E(""), B("y"), E("y")}));
    EXPECT_EQ(command.CapturedLines().ToVector(), (std::vector<std::string>{"x", "", "y"}));
}

TEST(DosCommand, ALineBuiltInThreeReadsGrowsInTheMirror) {
    TDosCommand command;
    TLineList mirror;
    TRecorder recorder;
    recorder.Mirror = &mirror;
    recorder.Attach(command);
    command.SetMirrorLines(&mirror);
    command.SetCommandLine("printf ab; sleep 0.3; printf cd; sleep 0.3; printf '\\n'");
    RunToEnd(command);
    const std::vector<TEvent> events = recorder.Snapshot();
    ASSERT_EQ(events, (std::vector<TEvent>{B("ab"), B("abcd"), E("abcd")}));
    EXPECT_EQ(events[0].Mirror, std::vector<std::string>{"ab"});
    EXPECT_EQ(events[1].Mirror, std::vector<std::string>{"abcd"});
    EXPECT_EQ(events[2].Mirror, std::vector<std::string>{"abcd"});
    EXPECT_EQ(mirror.ToVector(), std::vector<std::string>{"abcd"});
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{"abcd"});
}

TEST(DosCommand, DoubledLineEndsGiveEmptyLinesAndNulBytesAreSkipped) {
    TDosCommand command;
    command.SetCommandLine("printf 'p\\n\\nq\\r\\rr\\n\\rs\\000t\\n'");
    RunToEnd(command);
    EXPECT_EQ(command.CapturedLines().ToVector(),
              (std::vector<std::string>{"p", "", "q", "", "r", "", "st"}));
}

TEST(DosCommand, StandardErrorIsCapturedWithStandardOutput) {
    TDosCommand command;
    command.SetCommandLine("echo out; echo err 1>&2");
    RunToEnd(command);
    EXPECT_EQ(command.CapturedLines().ToVector(), (std::vector<std::string>{"out", "err"}));
}

TEST(DosCommand, FiveHundredLinesAreCutToTheNewest200AtTheNextPass) {
    TDosCommand command;
    std::atomic<int> countAtLastLine{-1};
    command.SetOnNewLine([&](TDosCommand* Sender, int32_t, const std::string& Line, TOutputType) {
        if (Line == "500") countAtLastLine = Sender->CapturedLines().Count();
    });
    command.SetCommandLine("seq 500; sleep 0.3");
    RunToEnd(command);
    EXPECT_EQ(countAtLastLine, 500);  // all of one read, until the next pass
    const std::vector<std::string> lines = command.CapturedLines().ToVector();
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines.front(), "301");
    EXPECT_EQ(lines.back(), "500");
}

// 300 lines, then 4,000,000 bytes without a line end (in many reads), then the
// end: the lines are cut to the newest 200 at each pass, and the long line comes
// in pieces of the bound, each once and as a complete line, the rest at the end
// of the run. With a handler and a mirror list, and bare as the converter runs it.
TEST(DosCommand, ALongOutputWithoutLineEndsComesInBoundedPieces) {
    std::string expected;
    for (int i = 0; i < 400000; ++i) {
        char chunk[16];
        std::snprintf(chunk, sizeof chunk, "%09d|", i);
        expected += chunk;
    }
    std::vector<std::string> pieces;
    for (size_t at = 0; at < expected.size(); at += kMaxUnfinishedLine)
        pieces.push_back(expected.substr(at, kMaxUnfinishedLine));
    ASSERT_EQ(pieces.size(), 62u);
    for (const bool watched : {true, false}) {
        SCOPED_TRACE(watched ? "with a handler and a mirror list" : "bare");
        TDosCommand command;
        TLineList mirror;
        std::mutex lock;
        std::vector<std::string> entire;
        std::atomic<int> partialReports{0}, badReports{0};
        if (watched) {
            command.SetMirrorLines(&mirror);
            command.SetOnNewLine([&](TDosCommand*, int32_t, const std::string& Line,
                                     TOutputType Type) {
                if (Line.size() < 10) return;  // one of the 300 numbered lines
                std::lock_guard<std::mutex> guard(lock);
                if (Type == otEntireLine) {
                    entire.push_back(Line);
                    return;
                }
                // Each report of the unfinished line is all of its piece so far.
                const std::string& piece = pieces.at(std::min(entire.size(), pieces.size() - 1));
                if (Line.size() > kMaxUnfinishedLine || piece.compare(0, Line.size(), Line) != 0)
                    ++badReports;
                ++partialReports;
            });
        }
        command.SetCommandLine(
            "seq 300; sleep 0.1; "
            "awk 'BEGIN { for (i = 0; i < 400000; i++) printf \"%09d|\", i }'");
        RunToEnd(command, 30000);
        // The newest lines: numbered ones up to 300, then every piece in order.
        const std::vector<std::string> lines = command.CapturedLines().ToVector();
        ASSERT_GE(lines.size(), 200u);
        const size_t first = lines.size() - pieces.size();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + first, lines.end()), pieces);
        EXPECT_EQ(lines[first - 1], "300");
        EXPECT_EQ(lines[0], std::to_string(300 - (first - 1)));
        if (watched) {
            EXPECT_GT(partialReports, 1);
            EXPECT_EQ(badReports, 0);
            EXPECT_EQ(entire, pieces);
            // The mirror is not cut: it holds every line and every piece.
            ASSERT_EQ(mirror.Count(), 300 + static_cast<int>(pieces.size()));
            EXPECT_EQ(mirror.Strings(0), "1");
            const std::vector<std::string> all = mirror.ToVector();
            EXPECT_EQ(std::vector<std::string>(all.begin() + 300, all.end()), pieces);
        }
    }
}

// Where the bound cuts: a line of exactly the bound stays one line; one byte
// more goes on in a piece of its own.
TEST(DosCommand, TheBoundCutsALineOnlyWhenItIsExceeded) {
    const size_t bound = kMaxUnfinishedLine;
    struct TCase {
        size_t Bytes;
        bool LineEnd;
        std::vector<size_t> Sizes;
    } cases[] = {
        {bound - 1, true, {bound - 1}},
        {bound, true, {bound}},
        {bound + 1, true, {bound, 1}},
        {2 * bound, false, {bound, bound}},
        {3 * bound + 5, false, {bound, bound, bound, 5}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Bytes) + (c.LineEnd ? " and a line end" : ""));
        TDosCommand command;
        command.SetCommandLine("head -c " + std::to_string(c.Bytes) + " /dev/zero | tr '\\0' a" +
                               (c.LineEnd ? "; printf '\\nz\\n'" : ""));
        RunToEnd(command);
        std::vector<std::string> lines = command.CapturedLines().ToVector();
        if (c.LineEnd) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), "z");
            lines.pop_back();
        }
        std::vector<size_t> sizes;
        for (const std::string& line : lines) {
            sizes.push_back(line.size());
            EXPECT_EQ(line.find_first_not_of('a'), std::string::npos);
        }
        EXPECT_EQ(sizes, c.Sizes);
    }
}

TEST(DosCommand, IdAndHandlersAreTakenAtStart) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetID(42);
    command.SetCommandLine("sleep 0.2; echo late");
    command.Start();
    command.SetID(43);
    command.SetCommandLine("echo other");
    ASSERT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 5000));
    command.Stop();
    const std::vector<TEvent> events = recorder.Snapshot();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Line, "late");
    EXPECT_EQ(events[0].ID, 42);
}

TEST(DosCommand, WorkPathIsTheProcessFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = std::filesystem::canonical(dir.path().toStdString()).string();
    TDosCommand command;
    command.SetWorkPath(path);
    command.SetCommandLine("pwd -P");
    RunToEnd(command);
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{path});
}

TEST(DosCommand, MaxTimeAfterBeginningEndsTheWatchingOnly) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetMaxTimeAfterBeginning(3);
    command.SetCommandLine("echo $$; exec sleep 10");
    command.Start();
    ASSERT_TRUE(SleepUntil([&] { return command.CapturedLines().Count() == 1; }, 5000));
    const pid_t pid = std::stoi(command.CapturedLines().Strings(0));
    TProcessTimer* timer = command.Timer();
    ASSERT_NE(timer, nullptr);
    for (int i = 0; i < 3; ++i) timer->Tick();
    QThread::msleep(100);
    EXPECT_TRUE(command.IsRunning());  // 3 seconds are not more than 3
    EXPECT_EQ(timer->ElapsedSeconds(), 3);
    timer->Tick();
    EXPECT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 2000));
    EXPECT_TRUE(SleepUntil([&] { return recorder.Terminations == 1; }, 2000));
    command.Stop();
    EXPECT_TRUE(IsAlive(pid));  // the process goes on running
    ::kill(-pid, SIGKILL);
    EXPECT_TRUE(SleepUntil([&] { return ProcessState(pid) == 0; }, 5000));  // and is reaped
}

TEST(DosCommand, MaxTimeAfterLastOutputCountsFromTheLastCompleteLine) {
    TDosCommand command;
    command.SetMaxTimeAfterLastOutput(1);
    command.SetCommandLine("echo $$; printf partial; exec sleep 10");
    command.Start();
    ASSERT_TRUE(SleepUntil([&] { return command.CapturedLines().Count() == 1; }, 5000));
    const pid_t pid = std::stoi(command.CapturedLines().Strings(0));
    QThread::msleep(200);  // "partial" has come: no complete line, no reset
    command.Timer()->Tick();
    EXPECT_EQ(command.Timer()->SecondsSinceOutput(), 1);
    QThread::msleep(100);
    EXPECT_TRUE(command.IsRunning());
    command.Timer()->Tick();
    EXPECT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 2000));
    command.Stop();
    // The unended line reaches the captured lines at the end of the run.
    EXPECT_EQ(command.CapturedLines().ToVector(),
              (std::vector<std::string>{std::to_string(pid), "partial"}));
    ::kill(-pid, SIGKILL);
    EXPECT_TRUE(SleepUntil([&] { return ProcessState(pid) == 0; }, 5000));
}

TEST(DosCommand, TicksComeFromTheCallersEventLoop) {
    TDosCommand command;
    command.SetMaxTimeAfterBeginning(1);
    command.SetCommandLine("echo $$; exec sleep 10");
    command.Start();
    EXPECT_TRUE(ProcessEventsUntil([&] { return !command.IsRunning(); }, 4000));
    EXPECT_EQ(command.Timer()->ElapsedSeconds(), 2);
    command.Stop();
    const pid_t pid = std::stoi(command.CapturedLines().Strings(0));
    ::kill(-pid, SIGKILL);
    EXPECT_TRUE(SleepUntil([&] { return ProcessState(pid) == 0; }, 5000));
}

TEST(DosCommand, StopKillsTheProcessAndWhatItStarted) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetCommandLine("sleep 30 & a=$!; sleep 30 & b=$!; printf \"$a $b tail\"; wait");
    command.Start();
    ASSERT_TRUE(SleepUntil([&] { return !recorder.Snapshot().empty(); }, 5000));
    const pid_t shell = command.ProcessId();
    ASSERT_GT(shell, 0);
    const std::string text = recorder.Snapshot().front().Line;
    std::istringstream in(text);
    pid_t first = 0, second = 0;
    in >> first >> second;
    ASSERT_TRUE(IsAlive(first));
    ASSERT_TRUE(IsAlive(second));

    command.Stop();
    EXPECT_FALSE(command.IsRunning());
    EXPECT_EQ(recorder.Terminations, 1);  // before Stop returned
    // The unended line is reported once more, whole, as a complete line.
    EXPECT_EQ(recorder.Snapshot(), (std::vector<TEvent>{B(text), E(text)}));
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{text});
    // Nothing of the group is left running, and the shell has been reaped.
    EXPECT_TRUE(SleepUntil([&] { return !IsAlive(first) && !IsAlive(second); }, 3000));
    int status = 0;
    EXPECT_EQ(::waitpid(shell, &status, WNOHANG), -1);
}

// The process's end is kept for the caller in waitpid's form, after the run as
// well; a run whose process never started has none.
TEST(DosCommand, TheExitStatusOfTheProcessIsKept) {
    struct TCase {
        const char* Command;
        bool Exited;
        int Code;  // the exit code, or the signal
    } cases[] = {
        {"true", true, 0},
        {"echo x; exit 3", true, 3},
        {"kill -9 $$", false, SIGKILL},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Command);
        TDosCommand command;
        command.SetCommandLine(c.Command);
        command.Start();
        ASSERT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 5000));
        const int before = command.ExitStatus();
        command.Stop();
        const int status = command.ExitStatus();
        EXPECT_EQ(before, status);
        ASSERT_NE(status, -1);
        EXPECT_EQ(WIFEXITED(status), c.Exited);
        EXPECT_EQ(c.Exited ? WEXITSTATUS(status) : WTERMSIG(status), c.Code);
    }
    TDosCommand never;
    never.SetCommandLine("/nonexistent/zur-test/prog");
    RunToEnd(never, 2000);
    EXPECT_EQ(never.ExitStatus(), -1);
}

TEST(DosCommand, ACommandThatCannotBeStartedEndsTheRun) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    const std::string line = "/nonexistent/zur-test/prog --flag";
    command.SetCommandLine(line);
    command.Start();
    EXPECT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 2000));
    EXPECT_TRUE(SleepUntil([&] { return recorder.Terminations == 1; }, 2000));
    EXPECT_EQ(command.LastError(), line + " doesn't exist.");
    command.Stop();
    EXPECT_EQ(command.LastError(), line + " doesn't exist.");
    EXPECT_EQ(command.CapturedLines().Count(), 0);
    EXPECT_TRUE(recorder.Snapshot().empty());
    EXPECT_FALSE(HasChildren());
}

TEST(DosCommand, AMissingWorkPathMeansTheProcessCannotBeStarted) {
    TDosCommand command;
    command.SetWorkPath("/nonexistent/zur-test-folder");
    command.SetCommandLine("echo hi");
    RunToEnd(command, 2000);
    EXPECT_EQ(command.LastError(), "echo hi doesn't exist.");
    EXPECT_EQ(command.CapturedLines().Count(), 0);
}

TEST(DosCommand, QuotedProgramPathsAreLookedUpWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string script = dir.path().toStdString() + "/a b's script";
    {
        std::ofstream out(script);
        out << "echo ran \"$1\"\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    TDosCommand command;
    command.SetCommandLine("'" + dir.path().toStdString() + "/a b'\\''s script' one");
    RunToEnd(command);
    EXPECT_EQ(command.LastError(), "");
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{"ran one"});
}

TEST(DosCommand, QueuedInputReachesTheProcess) {
    TDosCommand command;
    TRecorder recorder;
    recorder.Attach(command);
    command.SetInputToOutput(true);
    command.SetCommandLine("read a; echo \"got $a\"");
    command.Start();
    command.SendLine("hello", true);
    ASSERT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 5000));
    command.Stop();
    EXPECT_EQ(recorder.Snapshot(), (std::vector<TEvent>{E("hello"), E("got hello")}));
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{"got hello"});
}

TEST(DosCommand, InputToAProcessThatDoesNotReadIsDropped) {
    TDosCommand command;
    command.SetCommandLine("exec 0<&-; sleep 0.2; echo done");
    command.Start();
    for (int i = 0; i < 100; ++i) command.SendLine(std::string(1000, 'x'), true);
    ASSERT_TRUE(SleepUntil([&] { return !command.IsRunning(); }, 5000));
    command.Stop();
    EXPECT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{"done"});
}

TEST(DosCommand, AnOwnerOwnsTheTimer) {
    QObject owner;
    auto* command = new TDosCommand(&owner);
    command->SetCommandLine("true");
    RunToEnd(*command);
    ASSERT_NE(command->Timer(), nullptr);
    EXPECT_EQ(command->Timer()->parent(), &owner);
    EXPECT_EQ(command->parent(), &owner);
}

TEST(DosCommand, AThousandRunsLeaveNoDescriptorAndNoChild) {
    const int descriptors = OpenDescriptorCount();
    TDosCommand command;
    command.SetCommandLine("echo run");
    for (int i = 0; i < 1000; ++i) {
        RunToEnd(command);
        ASSERT_EQ(command.CapturedLines().ToVector(), std::vector<std::string>{"run"}) << i;
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_FALSE(HasChildren());
}
