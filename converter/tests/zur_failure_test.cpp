// The converter folder's lock, and the causes told after "转换异常".
#include "zur_failure.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "dos_command.h"
#include "test_support.h"
#include "zur_folder_lock.h"

extern char** environ;

namespace {

std::string FolderOf(const QTemporaryDir& Dir) { return Dir.path().toStdString() + "/"; }

bool PathExists(const std::string& Path) {
    struct stat info {};
    return ::lstat(Path.c_str(), &info) == 0;
}

// Waits for a child to end; a child that does not is killed. Gives its wait
// status, or -1 when it had to be killed.
int WaitForChild(pid_t Child, int TimeoutMs) {
    int status = 0;
    if (SleepUntil([&] { return ::waitpid(Child, &status, WNOHANG) == Child; }, TimeoutMs))
        return status;
    ::kill(Child, SIGKILL);
    ::waitpid(Child, &status, 0);
    return -1;
}

}  // namespace

TEST(ZurFolderLock, OneHolderAtATimeWithinAndAcrossProcesses) {
    QTemporaryDir dir;
    const std::string folder = FolderOf(dir);
    TFolderLock first, second;
    // A look that must not make the lock file finds none yet, and leaves none.
    EXPECT_EQ(first.Acquire(folder, TFolderLock::TMake::Nothing), TFolderLock::TResult::NoLockFile);
    EXPECT_FALSE(first.Held());
    struct stat info {};
    EXPECT_NE(::stat((folder + ZurLockName).c_str(), &info), 0);
    EXPECT_EQ(first.Acquire(folder), TFolderLock::TResult::Acquired);
    EXPECT_EQ(first.Acquire(folder), TFolderLock::TResult::Acquired);  // kept
    EXPECT_EQ(second.Acquire(folder), TFolderLock::TResult::Busy);
    EXPECT_EQ(second.Acquire(folder, TFolderLock::TMake::Nothing), TFolderLock::TResult::Busy);
    first.Release();
    EXPECT_EQ(second.Acquire(folder, TFolderLock::TMake::Nothing), TFolderLock::TResult::Acquired);
    second.Release();
    EXPECT_EQ(second.Acquire(folder), TFolderLock::TResult::Acquired);
    second.Release();

    // A process that takes the lock and is then killed frees it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TFolderLock held;
        const char answer = held.Acquire(folder) == TFolderLock::TResult::Acquired ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(answer, 'y');
    EXPECT_EQ(first.Acquire(folder), TFolderLock::TResult::Busy);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(first.Acquire(folder), TFolderLock::TResult::Acquired);
    EXPECT_EQ(::system(("flock -n " + folder + ZurLockName + " true").c_str()) == 0, false);
    first.Release();
    EXPECT_EQ(::system(("flock -n " + folder + ZurLockName + " true").c_str()), 0);

    // A process started under the lock and still running after its release
    // does not keep the folder: only a process handed the lock keeps it.
    ASSERT_EQ(first.Acquire(folder), TFolderLock::TResult::Acquired);
    std::string sleep = "sleep", seconds = "1000";
    char* argv[] = {sleep.data(), seconds.data(), nullptr};
    pid_t sleeper = 0;
    ASSERT_EQ(::posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
    first.Release();
    // Once it sleeps, its exec has closed what it was not to keep.
    ASSERT_TRUE(SleepUntil([&] { return ProcessState(sleeper) == 'S'; }, 10000));
    EXPECT_EQ(second.Acquire(folder), TFolderLock::TResult::Acquired);
    second.Release();
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, &status, 0);
}

// Something other than a plain file under the lock's name (made by hand, or by
// another user) is told as such at once, in both kinds of look, and is left as
// it is: no open waits for a FIFO's writer, no link is followed.
TEST(ZurFolderLock, ANameTakenByOtherThanAFileIsToldAtOnce) {
    struct TCase {
        const char* Name;
        bool AsAnotherUser;
    } cases[] = {
        {"a folder", false}, {"a link to a file", false},      {"a link to nothing", false},
        {"a FIFO", false},   {"a FIFO of another user", true},
    };
    for (const TCase& c : cases) {
        for (const TFolderLock::TMake make :
             {TFolderLock::TMake::LockFile, TFolderLock::TMake::Nothing}) {
            SCOPED_TRACE(std::string(c.Name) +
                         (make == TFolderLock::TMake::LockFile ? ", made" : ", looked at"));
            if (c.AsAnotherUser && ::geteuid() != 0) continue;  // needs to act as another
            QTemporaryDir dir;
            const std::string folder = FolderOf(dir);
            const std::string lock = folder + ZurLockName;
            ASSERT_EQ(::chmod(dir.path().toUtf8().constData(), 0777), 0);
            const std::string name = c.Name;
            WriteTextFile(folder + "file", "kept");
            int made = -1;
            if (name == "a folder") made = ::mkdir(lock.c_str(), 0755);
            if (name == "a link to a file")
                made = ::symlink((folder + "file").c_str(), lock.c_str());
            if (name == "a link to nothing")
                made = ::symlink((folder + "nothing").c_str(), lock.c_str());
            if (name.find("FIFO") != std::string::npos) made = ::mkfifo(lock.c_str(), 0644);
            ASSERT_EQ(made, 0);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                if (c.AsAnotherUser && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
                TFolderLock look;
                ::_exit(static_cast<int>(look.Acquire(folder, make)));
            }
            const int status = WaitForChild(child, 20000);
            if (status == -1) {
                ADD_FAILURE() << "the look waits";
                continue;
            }
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(TFolderLock::TResult::NotAFile));
            EXPECT_EQ(ReadFileBytes(folder + "file"), "kept");
            EXPECT_FALSE(PathExists(folder + "nothing"));
        }
    }
}

// A zur killed during a conversion: what its batch file started ends with it,
// and the folder stays taken until the last process of the run has gone, also
// one that left the run's process group.
TEST(ZurFolderLock, AKilledZurTakesItsRunAlongAndHoldsTheFolderUntilItsEnd) {
    struct TCase {
        const char* Name;
        const char* Converter;
        bool LeavesTheGroup;
    } cases[] = {
        {"a converter in the run's group", "", false},
        {"a converter in a session of its own", "setsid ", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir dir;
        const std::string folder = FolderOf(dir);
        const std::string pids = folder + "pids";
        const pid_t zur = ::fork();
        ASSERT_GE(zur, 0);
        if (zur == 0) {
            // Takes the folder and runs the batch file as the window does.
            TFolderLock lock;
            if (lock.Acquire(folder) != TFolderLock::TResult::Acquired) ::_exit(2);
            TDosCommand command;
            command.SetInheritedFd(lock.Handle());
            // The converter tells its id and the batch file's once it runs.
            command.SetCommandLine(std::string(c.Converter) +
                                   "sh -c 'echo $$ $PPID > \"$0.tmp\" && mv \"$0.tmp\" \"$0\" && "
                                   "exec sleep 1000' '" +
                                   pids + "' & wait");
            command.Start();
            for (;;) ::pause();
        }
        ASSERT_TRUE(SleepUntil([&] { return PathExists(pids); }, 20000));
        pid_t shell = 0, converter = 0;
        std::ifstream(pids) >> converter >> shell;
        ASSERT_GT(shell, 0);
        ASSERT_GT(converter, 0);
        auto cleanUp = [&] {
            ::kill(converter, SIGKILL);
            ::kill(shell, SIGKILL);
        };
        TFolderLock second;
        EXPECT_EQ(second.Acquire(folder), TFolderLock::TResult::Busy);
        ::kill(zur, SIGKILL);
        int status = 0;
        ::waitpid(zur, &status, 0);
        if (c.LeavesTheGroup) {
            // The run's group has ended with zur; what left it keeps the folder.
            EXPECT_TRUE(SleepUntil([&] { return !IsAlive(shell); }, 20000))
                << "the batch file runs on";
            EXPECT_TRUE(IsAlive(converter));
            EXPECT_EQ(second.Acquire(folder), TFolderLock::TResult::Busy);
            ::kill(converter, SIGKILL);
        }
        // The folder is free once, and only once, nothing of the run runs.
        EXPECT_TRUE(SleepUntil(
            [&] { return second.Acquire(folder) == TFolderLock::TResult::Acquired; }, 20000))
            << "the folder stays taken";
        EXPECT_FALSE(IsAlive(converter)) << "the converter runs on";
        EXPECT_FALSE(IsAlive(shell)) << "the batch file runs on";
        cleanUp();
    }
}

// A folder that several users may write: the lock file the first one made is
// read-only to the next, who still takes the lock.
TEST(ZurFolderLock, ALockFileOfAnotherUserLocksAsWell) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
    QTemporaryDir dir;
    const std::string folder = FolderOf(dir);
    ASSERT_EQ(::chmod(dir.path().toUtf8().constData(), 0777), 0);
    {
        TFolderLock mine;
        ASSERT_EQ(mine.Acquire(folder), TFolderLock::TResult::Acquired);
    }
    ASSERT_EQ(::chmod((folder + ZurLockName).c_str(), 0644), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        TFolderLock theirs;
        ::_exit(theirs.Acquire(folder) == TFolderLock::TResult::Acquired ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ZurFolderLock, AFolderWithoutRoomForTheLockFails) {
    QTemporaryDir dir;
    const std::string folder = FolderOf(dir);
    TFolderLock lock;
    EXPECT_EQ(lock.Acquire(folder + "missing/"), TFolderLock::TResult::Failed);
    EXPECT_EQ(lock.Error(), "文件或文件夹不存在");
    EXPECT_FALSE(lock.Held());
}

TEST(ZurFailure, TheConverterProgramMustBeThereAndRunnable) {
    QTemporaryDir dir;
    const std::string folder = FolderOf(dir);
    const std::string program = folder + "Converter";
    EXPECT_EQ(ConverterProblem(folder), "找不到转换程序：" + program);
    WriteTextFile(program, "#!/bin/sh\n");
    ASSERT_EQ(::chmod(program.c_str(), 0644), 0);
    EXPECT_EQ(ConverterProblem(folder), "转换程序不能运行：" + program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    EXPECT_EQ(ConverterProblem(folder), "");
}

TEST(ZurFailure, RunOutcomesAndTheirCauses) {
    const std::string target = "/m/clip.wav";
    struct TCase {
        const char* Name;
        TZurRunOutcome Outcome;
        std::string Cause;
    } cases[] = {
        {"converted", {"", 0, "", true}, ""},
        {"converted, talkative", {"", 0, "all fine", true}, ""},
        {"not started",
         {"run.bat doesn't exist.", -1, "", false},
         "转换程序不能启动：run.bat doesn't exist."},
        {"status 1 with a line",
         {"", 1 << 8, "Converter: error: bad input stream", true},
         "转换程序结束状态 1：Converter: error: bad input stream"},
        {"status 127 without output", {"", 127 << 8, "", false}, "转换程序结束状态 127"},
        {"killed", {"", SIGKILL, "half", false}, "转换程序被信号 9 终止：half"},
        {"status 0, no target", {"", 0, "done", false}, "转换文件没有写出：/m/clip.wav"},
        {"end not seen, no target", {"", -1, "", false}, "转换文件没有写出：/m/clip.wav"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(RunFailureCause(c.Outcome, target), c.Cause);
    }
    EXPECT_EQ(ConversionFailedMessage(""), "转换异常");
    EXPECT_EQ(ConversionFailedMessage("x"), "转换异常\nx");
}

TEST(ZurFailure, TheLastOutputLineIsTheLastThatSaysSomething) {
    EXPECT_EQ(LastOutputLine({}), "");
    EXPECT_EQ(LastOutputLine({"a", " b \t", "", "  "}), "b");
    // A long line is cut to 200 bytes without splitting a character.
    const std::string plain(300, 'x');
    std::string wide;
    for (int i = 0; i < 100; ++i) wide += "错";  // three bytes each
    EXPECT_EQ(LastOutputLine({plain}).size(), 200u);
    EXPECT_EQ(LastOutputLine({wide}), wide.substr(0, 198));
}

TEST(ZurFailure, AFailedDecodingTellsTheFolderOrTheSource) {
    const std::string folder = "/app/";
    EXPECT_EQ(
        DecodingFailedCause("磁盘空间不足",
                            "cannot write /app/tmpaudio.wav: 磁盘空间不足", folder),
        "程序文件夹不能写入：/app/（磁盘空间不足）");
    EXPECT_EQ(DecodingFailedCause("Permission denied",
                                  "cannot create /app/tmpaudio.wav: Permission denied", folder),
              "程序文件夹不能写入：/app/（Permission denied）");
    // A source error is never taken for a file error, whatever its text.
    for (const char* text : {"Invalid data found when processing input",
                             "cannot write /app/tmpaudio.wav: No space left on device"})
        EXPECT_EQ(DecodingFailedCause("", text, folder), std::string("原始文件不能解码：") + text);
}
