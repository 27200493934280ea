// Reads messages of 500 and of 5,000 empty pages into the main window (offscreen,
// window shown, window messages let run as in the program) and prints the seconds
// each read took, its cost per page and the peak memory.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_support.h"
#include "gui_services.h"
#include "main_window.h"
#include "mms_maker.h"
#include "page_model.h"
#include "string_list.h"

namespace fs = std::filesystem;

namespace {

// A message of n pages without media, written by the program's builder.
std::string MakeMessage(const std::string& dir, int n) {
    TClockRandom rng;
    TMmsMaker writer(rng, dir);
    writer.SetSmilHead("<head></head>");
    for (int i = 0; i < n; ++i)
        writer.FPages.Items.push_back(std::make_unique<TPageModel>(&writer.FPages));
    const std::string path = dir + "pages" + std::to_string(n) + ".mms";
    writer.MakeMms(path);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    const std::string root = NewBenchFolder("quilmar-strip-bench");
    const std::string src = root + "src/", program = root + "program/";
    fs::create_directory(src);
    fs::create_directory(program);

    SilentQuestions answers;
    TEventPump pump;
    TClockRandom random;
    double perPage[2] = {0, 0};
    const int sizes[2] = {500, 5000};
    for (int k = 0; k < 2; ++k) {
        const int n = sizes[k];
        const std::string message = MakeMessage(src, n);
        Tfrmmms window(program, answers, pump, random);
        window.show();
        QCoreApplication::processEvents();
        const auto t0 = std::chrono::steady_clock::now();
        window.ReadMessage(message);
        QCoreApplication::processEvents();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (window.FMaker->FPages.Count() != n) {
            std::fprintf(stderr, "read %d pages, expected %d\n", window.FMaker->FPages.Count(), n);
            fs::remove_all(root);
            return 1;
        }
        perPage[k] = s / n;
        std::printf("%5d pages: %.3f s, %.1f us per page, peak memory so far %.0f MB\n", n, s,
                    perPage[k] * 1e6, PeakKiB() / 1024.0);
        window.FCloseHintMode = 0;
    }
    std::printf("per-page cost at 5000 / at 500: %.2f\n", perPage[1] / perPage[0]);
    fs::remove_all(root);
    return 0;
}
