// The program's own picture work as a command, so that the benchmarks can run it
// the way they run the programs they set it against, reading files from disk and
// writing its results to files:
//   picture_driver thumbs W H WORKERS FOLDER OUTFOLDER NAME...
//       the chooser's W x H thumbnails of FOLDER/NAME..., made by its thumbnail
//       maker on WORKERS workers, each written as OUTFOLDER/NAME.ppm
//   picture_driver recode MODE W H Q IN OUT
//       IN re-encoded as the make does in MODE (2, or 3 into the W x H box) at
//       quality Q, written to OUT
// Exit status 0 when every result was written.
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "picture_recode.h"
#include "services.h"
#include "string_list.h"
#include "thumbnail_maker.h"

namespace {

bool ToInt(const char* text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 100000) return false;
    value = static_cast<int>(v);
    return true;
}

// Binary PPM, as djpeg writes it.
std::string Ppm(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::string out =
        "P6\n" + std::to_string(rgb.width()) + " " + std::to_string(rgb.height()) + "\n255\n";
    const size_t row = static_cast<size_t>(rgb.width()) * 3;
    for (int y = 0; y < rgb.height(); ++y)
        out.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), row);
    return out;
}

int Thumbnails(int argc, char** argv, int w, int h, int workers) {
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    const std::string folder = argv[5], out = argv[6];
    TStringList names(argv + 7, argv + argc);
    TThumbnailMaker maker(workers);
    int failed = 0;
    QEventLoop loop;
    QObject::connect(&maker, &TThumbnailMaker::ThumbnailReady,
                     [&](quint64, int i, bool ok, const QImage& t) {
                         try {
                             if (!ok) throw std::runtime_error("no thumbnail of " + names[i]);
                             WriteFileBytes(out + "/" + names[i] + ".ppm", Ppm(t));
                         } catch (const std::exception& e) {
                             std::fprintf(stderr, "%s\n", e.what());
                             ++failed;
                         }
                     });
    QObject::connect(&maker, &TThumbnailMaker::ListingDone, &loop, &QEventLoop::quit);
    maker.Start(folder + "/", names, w, h);
    loop.exec();
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string job = argc > 1 ? argv[1] : "";
    int w = 0, h = 0, n = 0, q = 0;
    try {
        if (job == "thumbs" && argc >= 8 && ToInt(argv[2], w) && ToInt(argv[3], h) &&
            ToInt(argv[4], n))
            return Thumbnails(argc, argv, w, h, n);
        if (job == "recode" && argc == 8 && ToInt(argv[2], n) && (n == 2 || n == 3) &&
            ToInt(argv[3], w) && ToInt(argv[4], h) && ToInt(argv[5], q)) {
            TClockRandom rng;
            WriteFileBytes(argv[7], RecodedJpeg(argv[6], TPicEncodeSettings{n, w, h, q}, rng));
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: %s thumbs W H WORKERS FOLDER OUTFOLDER NAME...\n"
                 "       %s recode MODE W H Q IN OUT\n",
                 argv[0], argv[0]);
    return 2;
}
