// What the authoring benchmarks share: a fresh folder to work in, the peak memory
// of the process, and questions that are answered without a window.
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "services.h"

// A new folder under /tmp, named from prefix; its path ends with "/".
inline std::string NewBenchFolder(const std::string& prefix) {
    std::string path = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(path.data())) throw std::runtime_error("cannot make a folder under /tmp");
    return path + "/";
}

// The largest resident memory of this process so far, in KiB.
inline long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The largest resident memory of this process's own program, in KiB (VmHWM): unlike
// ru_maxrss it starts anew at exec, so a child started from a large parent counts
// only itself. 0 where the system does not tell.
inline long OwnPeakKiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    std::fclose(f);
    return kib;
}

// Every question is answered "OK" at once.
class SilentQuestions : public TQuestions {
public:
    TAnswer Ask(const std::string&, const std::string&, TButtons, TIcon, TAnswer) override {
        return TAnswer::Ok;
    }
};
