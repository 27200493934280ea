// Small helpers of the converter's tests.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

// Lets events run (and 1 ms pass) until Ready() holds or TimeoutMs has passed;
// gives whether it held.
inline bool ProcessEventsUntil(const std::function<bool()>& Ready, int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!Ready()) {
        if (clock.elapsed() > TimeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Waits without letting events run until Ready() holds or TimeoutMs has passed.
inline bool SleepUntil(const std::function<bool()>& Ready, int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!Ready()) {
        if (clock.elapsed() > TimeoutMs) return false;
        QThread::msleep(1);
    }
    return true;
}
