// Runs of commands for the benchmarks that set our work against another program's:
// each command started directly (no shell), several at a time when asked, timed,
// with the largest resident size of any one of them; and the median of repeated
// runs with its spread.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

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

struct TRunResult {
    bool Ok = true;      // every command started and ended with status 0
    double Seconds = 0;  // from the first start to the last end
    long PeakKiB = 0;    // the largest resident size of one command
};

// Runs the commands, keeping at most width of them running at once; output goes
// where the commands send it.
inline TRunResult RunCommands(const std::vector<TCommand>& commands, int width) {
    TRunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    size_t next = 0;
    int running = 0;
    while (next < commands.size() || running > 0) {
        while (running < std::max(1, width) && next < commands.size()) {
            std::vector<std::string> args = commands[next++];
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid = 0;
            if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
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
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

// Runs the commands as a pipeline, as a shell would run "a | b | c" but without
// one: each one's standard output is the next one's standard input.
inline TRunResult RunPipeline(const std::vector<TCommand>& stages) {
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
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, 0);
        if (!last) posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        for (int fd : {input, fds[0], fds[1]})
            if (fd > 2) posix_spawn_file_actions_addclose(&actions, fd);
        std::vector<std::string> args = stages[i];
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            pids.push_back(pid);
        else
            r.Ok = false;
        posix_spawn_file_actions_destroy(&actions);
        if (input >= 0) ::close(input);
        if (!last) ::close(fds[1]);
        input = fds[0];
    }
    if (input >= 0) ::close(input);
    for (pid_t pid : pids) {
        int status = 0;
        rusage ru{};
        if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) r.Ok = false;
        r.PeakKiB = std::max(r.PeakKiB, ru.ru_maxrss);
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
