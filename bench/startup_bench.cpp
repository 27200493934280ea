// The program's start with an autosave of 50 pages of 4000x3000 photos, against
// an empty start: both as processes of the program's own start (offscreen), run
// interleaved in their own program folders, timed from the start of the process
// to the main window's first paint. Prints the medians with their spread, each
// start's peak memory (VmHWM) and the targets: the photo start at most 3x the
// empty one, its peak at most the autosave's size plus 100 MB.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_runs.h"
#include "bench_support.h"
#include "main_window.h"
#include "mms_maker.h"
#include "page_model.h"
#include "photo_like.h"
#include "picture_jpeg.h"
#include "program_main.h"
#include "shared_procs.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kReportVar = "QUILMAR_STARTUP_BENCH_FD";
constexpr int kPages = 50;
constexpr int kRounds = 7;

// ---- the child: the program's start, reporting once its window has painted ----

class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(int fd) : FFd(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!FDone && event->type() == QEvent::Paint) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && qobject_cast<Tfrmmms*>(w->window())) {
                FDone = true;
                // After the whole paint pass this event belongs to.
                QTimer::singleShot(0, [this] { Report(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Report() {
        int pages = -1;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<Tfrmmms*>(w)) pages = window->FMaker->FPages.Count();
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%d %ld\n", pages, OwnPeakKiB());
        if (write(FFd, line, static_cast<size_t>(n)) != n) std::_Exit(3);
        close(FFd);
        QCoreApplication::exit(0);
    }

    int FFd;
    bool FDone = false;
};

void WatchFirstPaint() {
    const char* fd = std::getenv(kReportVar);
    if (!fd) return;
    QCoreApplication::instance()->installEventFilter(new TFirstPaint(std::atoi(fd)));
}
Q_COREAPP_STARTUP_FUNCTION(WatchFirstPaint)

// ---- the parent ----

struct TStart {
    double Ms = 0;
    long PeakKiB = 0;
    int Pages = -1;
};

// Starts the program at exe, waits for its report and its end.
TStart RunStart(const std::string& exe) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv(kReportVar, std::to_string(fds[1]).c_str(), 1);
        // The toolkit's notes on an offscreen start are no figures.
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) dup2(quiet, 2);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(fds[1]);
    std::string got;
    char buf[64];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) {
        got.append(buf, static_cast<size_t>(n));
        if (got.find('\n') != std::string::npos) break;
    }
    const auto t1 = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    TStart s;
    s.Ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    if (std::sscanf(got.c_str(), "%d %ld", &s.Pages, &s.PeakKiB) != 2)
        throw std::runtime_error("the start of " + exe + " reported nothing");
    return s;
}

// A program folder holding a copy of this program, so that the copy's folder is
// its program folder.
std::string ProgramIn(const std::string& dir, const std::string& self) {
    fs::create_directories(dir);
    const std::string exe = dir + "Quilmar";
    fs::copy_file(self, exe, fs::copy_options::overwrite_existing);
    return exe;
}

int Parent() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string root = NewBenchFolder("quilmar-startup-bench");
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string emptyExe = ProgramIn(root + "empty/", self);
    const std::string photosDir = root + "photos/";
    const std::string photosExe = ProgramIn(photosDir, self);

    // The autosave: 50 pages, each with a photo of its own file; five scenes.
    const std::string src = root + "src/";
    fs::create_directories(src);
    fs::create_directories(photosDir + "配置目录/");
    std::vector<std::string> scenes;
    for (int v = 0; v < 5; ++v) scenes.push_back(EncodeJpeg(PhotoLike(4000, 3000, v), 92));
    const std::string autosave = photosDir + "配置目录/mms.mms";
    {
        TClockRandom rng;
        TMmsMaker writer(rng, src);
        writer.SetSmilHead("<head></head>");
        for (int i = 0; i < kPages; ++i) {
            const std::string photo = src + "photo" + std::to_string(i) + ".jpg";
            WriteFileBytes(photo, scenes[static_cast<size_t>(i) % scenes.size()]);
            writer.FPages.Items.push_back(std::make_unique<TPageModel>(&writer.FPages));
            writer.FPages.Items.back()->SetMedia("", photo, "", "", 0);
        }
        writer.MakeMms(autosave);
    }
    fs::remove_all(src);
    const double fileMB = double(fs::file_size(autosave)) / (1024 * 1024);

    // A first start of each makes the folder tree and the settings file.
    RunStart(emptyExe);
    RunStart(photosExe);

    std::vector<double> emptyMs, photosMs, ratios;
    long emptyPeak = 0, photosPeak = 0;
    for (int r = 0; r < kRounds; ++r) {
        // Interleaved, the order turned every round.
        TStart e, p;
        if (r % 2 == 0) {
            e = RunStart(emptyExe);
            p = RunStart(photosExe);
        } else {
            p = RunStart(photosExe);
            e = RunStart(emptyExe);
        }
        if (e.Pages != 0 || p.Pages != kPages) {
            std::fprintf(stderr, "pages at start: %d empty, %d of %d with the autosave\n", e.Pages,
                         p.Pages, kPages);
            fs::remove_all(root);
            return 1;
        }
        emptyMs.push_back(e.Ms);
        photosMs.push_back(p.Ms);
        ratios.push_back(p.Ms / e.Ms);
        emptyPeak = std::max(emptyPeak, e.PeakKiB);
        photosPeak = std::max(photosPeak, p.PeakKiB);
    }
    const TSpread e = SpreadOf(emptyMs), p = SpreadOf(photosMs), q = SpreadOf(ratios);
    std::printf("start to the first paint, %d interleaved rounds (median, min..max):\n", kRounds);
    std::printf("  empty start:              %7.1f ms (%.1f..%.1f), peak %.0f MB\n", e.Median,
                e.Min, e.Max, emptyPeak / 1024.0);
    std::printf("  autosave of %d photos:    %7.1f ms (%.1f..%.1f), peak %.0f MB, file %.0f MB\n",
                kPages, p.Median, p.Min, p.Max, photosPeak / 1024.0, fileMB);
    std::printf("  autosave / empty:         %7.2fx (%.2f..%.2f), target <= 3.00x: %s\n", q.Median,
                q.Min, q.Max, q.Median <= 3.0 ? "met" : "MISSED");
    std::printf("  peak with the autosave:   %7.0f MB, target <= file + 100 = %.0f MB: %s\n",
                photosPeak / 1024.0, fileMB + 100,
                photosPeak / 1024.0 <= fileMB + 100 ? "met" : "MISSED");
    std::printf("\n");
    fs::remove_all(root);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv(kReportVar)) return ProgramMain(argc, argv);
    try {
        return Parent();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_bench: %s\n", e.what());
        return 1;
    }
}
