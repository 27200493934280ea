// Runs a process that writes through the console command runner, as the
// converter window runs "run.bat" (a 1 ms wait that lets events run): 80 MB
// with a CR after every 99 bytes and 80 MB without any line end (best of three
// each, and their ratio), then 400 MB without any line end once. Prints the
// times and the peak memory of each run (target: at most 100 MiB for the 400 MB
// without line ends). The writer is this program itself, started with
// "--emit BYTES EVERY".
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "dos_command.h"
#include "zur_script.h"

namespace {

constexpr long long kBytes = 80LL * 1024 * 1024;
constexpr long long kLongBytes = 400LL * 1024 * 1024;
constexpr int kLineLength = 100;  // 99 bytes and a CR
constexpr int kRounds = 3;

// Writes Bytes bytes of letters to standard output; with Every > 0, every
// Every-th byte is a CR.
int Emit(long long Bytes, int Every) {
    std::vector<char> block(64 * 1024);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = (Every > 0 && i % Every == static_cast<size_t>(Every - 1))
                       ? '\r'
                       : static_cast<char>('a' + i % 26);
    // The block's length is a multiple of nothing in particular: keep the
    // pattern running across blocks by writing from the right offset.
    long long written = 0;
    while (written < Bytes) {
        const size_t offset = Every > 0 ? static_cast<size_t>(written % Every) : 0;
        const size_t chunk = static_cast<size_t>(
            std::min<long long>(Bytes - written, static_cast<long long>(block.size() - offset)));
        const ssize_t n = ::write(STDOUT_FILENO, block.data() + offset, chunk);
        if (n <= 0) return 1;
        written += n;
    }
    return 0;
}

// Peak resident memory of this process in KiB since the last reset, from
// /proc/self/status; the reset makes each run's peak its own.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long StatusKiB(const std::string& Key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(Key + ":", 0) == 0) return std::atol(line.c_str() + Key.size() + 1);
    return -1;
}

struct TRunResult {
    double Ms = 0;
    long PeakKiB = 0;
    long BeforeKiB = 0;
    int Lines = 0;
    size_t LastLineBytes = 0;
};

TRunResult RunOnce(const std::string& Self, long long Bytes, int Every) {
    TRunResult result;
    ResetPeakMemory();
    result.BeforeKiB = StatusKiB("VmRSS");
    QElapsedTimer clock;
    clock.start();
    {
        TDosCommand command;
        command.SetCommandLine(ShellWord(Self) + " --emit " + std::to_string(Bytes) + " " +
                               std::to_string(Every));
        command.Start();
        while (command.IsRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            QCoreApplication::processEvents();
        }
        command.Stop();
        result.Ms = clock.nsecsElapsed() / 1e6;
        result.Lines = command.CapturedLines().Count();
        result.LastLineBytes = command.CapturedLines().Strings(result.Lines - 1).size();
        result.PeakKiB = StatusKiB("VmHWM");
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--emit")
        return Emit(std::atoll(argv[2]), std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    if (!ResetPeakMemory())
        std::printf("(the peak memory cannot be reset here: each figure is the peak so far)\n");

    TRunResult best[2];
    for (int round = 0; round < kRounds; ++round) {
        for (int kind = 0; kind < 2; ++kind) {
            const TRunResult r = RunOnce(self, kBytes, kind == 0 ? kLineLength : 0);
            if (round == 0 || r.Ms < best[kind].Ms) best[kind].Ms = r.Ms;
            best[kind].PeakKiB = std::max(best[kind].PeakKiB, r.PeakKiB);
            best[kind].BeforeKiB = r.BeforeKiB;
            best[kind].Lines = r.Lines;
            best[kind].LastLineBytes = r.LastLineBytes;
        }
    }
    const long long expectedLines = kBytes / kLineLength;
    std::printf("80 MiB through the runner, best of %d, %u cores\n", kRounds,
                std::thread::hardware_concurrency());
    const char* names[2] = {"a CR every 100 bytes", "no line end"};
    for (int kind = 0; kind < 2; ++kind)
        std::printf(
            "%-22s %8.1f ms, peak memory %7.1f MiB (%.1f MiB before the run), "
            "%d lines kept, the last of %zu bytes\n",
            names[kind], best[kind].Ms, best[kind].PeakKiB / 1024.0, best[kind].BeforeKiB / 1024.0,
            best[kind].Lines, best[kind].LastLineBytes);
    std::printf("(%lld lines were written with line ends; the runner keeps the newest 200)\n",
                expectedLines);
    std::printf("ratio without/with line ends: %.2f (target: at most 1.50)\n",
                best[1].Ms / best[0].Ms);

    const TRunResult longRun = RunOnce(self, kLongBytes, 0);
    std::printf(
        "400 MiB without a line end: %.1f ms, peak memory %.1f MiB (%.1f MiB before "
        "the run; target: at most 100 MiB), %d lines kept, the last of %zu bytes\n",
        longRun.Ms, longRun.PeakKiB / 1024.0, longRun.BeforeKiB / 1024.0, longRun.Lines,
        longRun.LastLineBytes);
    // A line without line ends comes in pieces of the bound.
    for (const TRunResult* r : {static_cast<const TRunResult*>(&best[1]), &longRun}) {
        if (r->Lines < 1 || r->LastLineBytes != kMaxUnfinishedLine) {
            std::fprintf(stderr, "zur_runner_bench: the output did not come in bounded pieces\n");
            return 1;
        }
    }
    return 0;
}
