// Small helpers shared by the core tests: a fresh temporary folder, a random
// source that gives scripted draws, and byte-string shorthands.
#pragma once

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "services.h"
#include "string_list.h"

class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/quilmar-test-XXXXXX";
        path_ = mkdtemp(tmpl);
        path_ += "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // The folder, ending with "/".
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name, std::string_view bytes) const {
        std::string p = path_ + name;
        WriteFileBytes(p, bytes);
        return p;
    }

private:
    std::string path_;
};

// Draws come from a queue; when it runs dry every draw is 0.
class ScriptedRandom : public TRandomSource {
public:
    std::deque<uint32_t> Draws;
    int Reseeds = 0;
    void Reseed() override { ++Reseeds; }
    uint32_t Below(uint32_t n) override {
        if (n == 0) return 0;
        uint32_t v = 0;
        if (!Draws.empty()) {
            v = Draws.front();
            Draws.pop_front();
        }
        return v % n;
    }
};

// Bytes written as a string literal with embedded zeros.
inline std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

// Files of this process may grow to `bytes` only while it lives, as on a nearly
// full disk: a write past the limit fails with EFBIG instead of ending the process.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit now = old_;
        now.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &now);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Runs f as an ordinary user (as root: in a child that has given up its rights, for
// which file permissions count); true when f returned true.
template <typename F>
inline bool AsOrdinaryUser(F f) {
    if (::geteuid() != 0) {
        try {
            return f();
        } catch (...) {
            return false;
        }
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool ok = false;
        try {
            ok = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0 && f();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
