// The core tests run with a QCoreApplication, whose event loop carries the
// writer's completion notice and the runner's timer.
#include <gtest/gtest.h>

#include <QCoreApplication>

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_QUIET);
    return RUN_ALL_TESTS();
}
