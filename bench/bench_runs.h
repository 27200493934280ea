// Runs of commands for the benchmarks that set our work against another program's:
// each command started directly (no shell), several at a time when asked, timed
// (wall and processor time), with the largest resident size of any one of them;
// and the median of repeated runs with its spread.
#pragma once

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

using TCommand = std::vector<std::string>;

// A command's path on PATH (the first of names found), or empty.
inline std::string FindProgram(const std::vector<std::string>& names) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    for (const std::string& name : names) {
        size_t at = 0;
        while (at <= dirs.size()) {
            const size_t end = std::min(dirs.find(':', at), dirs.size());
            const std::string candidate = dirs.substr(at, end - at) + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            at = end + 1;
        }
    }
    return {};
}

inline double CpuSecondsOf(const rusage& ru) {
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct TRunResult {
    bool Ok = true;         // every command started and ended with status 0
    double Seconds = 0;     // from the first start to the last end
    double CpuSeconds = 0;  // the commands' user and system time, all together
    long PeakKiB = 0;       // the largest resident size of one command
};

// Starts the command with input and output on the descriptors given (-1: this
// process's own), closing unused there too; the pid, or -1. By fork and exec,
// not by a spawn that shares this process's memory until the exec: the command's
// peak memory (ru_maxrss) then counts only its own, not this process's.
// cpu >= 0: the command runs on that processor only.
inline pid_t Start(const TCommand& command, int input, int output, int unused = -1, int cpu = -1) {
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        ::sched_setaffinity(0, sizeof one, &one);
    }
    if (input >= 0) ::dup2(input, 0);
    if (output >= 0) ::dup2(output, 1);
    for (int fd : {input, output, unused})
        if (fd > 2) ::close(fd);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Runs the commands, keeping at most width of them running at once (all on
// processor cpu when it is given); output goes where the commands send it.
inline TRunResult RunCommands(const std::vector<TCommand>& commands, int width, int cpu = -1) {
    TRunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    size_t next = 0;
    int running = 0;
    while (next < commands.size() || running > 0) {
        while (running < std::max(1, width) && next < commands.size()) {
            if (Start(commands[next++], -1, -1, -1, cpu) < 0) {
                r.Ok = false;
                continue;
            }
            ++running;
        }
        if (running == 0) break;
        int status = 0;
        rusage ru{};
        const pid_t pid = wait4(-1, &status, 0, &ru);
        if (pid < 0) break;
        --running;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) r.Ok = false;
        r.PeakKiB = std::max(r.PeakKiB, ru.ru_maxrss);
        r.CpuSeconds += CpuSecondsOf(ru);
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

// Runs the commands as a pipeline, as a shell would run "a | b | c" but without
// one: each one's standard output is the next one's standard input; on
// processor cpu alone when it is given.
inline TRunResult RunPipeline(const std::vector<TCommand>& stages, int cpu = -1) {
    TRunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    int input = -1;
    for (size_t i = 0; i < stages.size(); ++i) {
        int fds[2] = {-1, -1};
        const bool last = i + 1 == stages.size();
        if (!last && ::pipe(fds) != 0) {
            r.Ok = false;
            break;
        }
        const pid_t pid = Start(stages[i], input, last ? -1 : fds[1], fds[0], cpu);
        if (pid > 0)
            pids.push_back(pid);
        else
            r.Ok = false;
        if (input >= 0) ::close(input);
        if (!last) ::close(fds[1]);
        input = fds[0];
    }
    if (input >= 0) ::close(input);
    for (pid_t pid : pids) {
        int status = 0;
        rusage ru{};
        if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            r.Ok = false;
        r.PeakKiB = std::max(r.PeakKiB, ru.ru_maxrss);
        r.CpuSeconds += CpuSecondsOf(ru);
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

// The median of repeated figures with the smallest and the largest.
struct TSpread {
    double Median = 0, Min = 0, Max = 0;
};

inline TSpread SpreadOf(std::vector<double> v) {
    TSpread s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    s.Median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.Min = v.front();
    s.Max = v.back();
    return s;
}

// One side of a pairing: its runs' wall and processor times and its peak memory.
struct TSide {
    std::vector<double> Wall, Cpu;
    long PeakKiB = 0;
    bool Ok = true;
    void Add(const TRunResult& r) {
        Wall.push_back(r.Seconds);
        Cpu.push_back(r.CpuSeconds);
        PeakKiB = std::max(PeakKiB, r.PeakKiB);
        Ok = Ok && r.Ok;
    }
};

// Runs ours and theirs in turn, ours first in every other run, so that a change
// in the machine's load falls on both alike.
template <typename Ours, typename Theirs>
void Alternate(int runs, TSide& ours, TSide& theirs, Ours runOurs, Theirs runTheirs) {
    for (int i = 0; i < runs; ++i)
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == (i % 2 == 0))
                ours.Add(runOurs());
            else
                theirs.Add(runTheirs());
        }
}

// The ratios of the runs taken in pairs, ours over theirs.
inline TSpread RatioOf(const std::vector<double>& ours, const std::vector<double>& theirs) {
    std::vector<double> r;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        if (theirs[i] > 0) r.push_back(ours[i] / theirs[i]);
    return SpreadOf(r);
}

// Both sides' medians with their spread in milliseconds (per unit: each time
// divided by units), their peak memory (with a note on theirs), and the ratios beside the target,
// which holds when the median ratio is at most target. The wall time is what a user waits; the
// processor time is the work, and barely moves with the load of other programs on the machine.
inline void PrintPairing(const char* ourName, const char* theirName, const TSide& ours,
                         const TSide& theirs, double target, double units = 1,
                         const char* theirPeakNote = "") {
    auto row = [&](const char* name, const TSide& s, const char* note) {
        const TSpread w = SpreadOf(s.Wall), c = SpreadOf(s.Cpu);
        const double k = 1000 / units;
        std::printf(
            "  %-34s wall %7.2f ms (%.2f-%.2f)  cpu %7.2f ms (%.2f-%.2f)  peak %.1f MB%s%s\n", name,
            w.Median * k, w.Min * k, w.Max * k, c.Median * k, c.Min * k, c.Max * k,
            s.PeakKiB / 1024.0, note, s.Ok ? "" : "  SOME RUNS FAILED");
    };
    row(ourName, ours, "");
    row(theirName, theirs, theirPeakNote);
    const TSpread w = RatioOf(ours.Wall, theirs.Wall), c = RatioOf(ours.Cpu, theirs.Cpu);
    std::printf("  %-34s wall %7.3f (%.3f-%.3f)  cpu %7.3f (%.3f-%.3f)",
                "ratio ours / theirs:", w.Median, w.Min, w.Max, c.Median, c.Min, c.Max);
    if (target > 0)
        std::printf("  target <= %.2f: wall %s, cpu %s", target,
                    w.Median <= target ? "met" : "NOT MET", c.Median <= target ? "met" : "NOT MET");
    std::printf("\n");
}
