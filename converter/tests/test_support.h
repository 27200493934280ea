// Small helpers of the converter's tests.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <fstream>
#include <functional>
#include <string>

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

// 'R', 'S', 'Z', ... from /proc, or 0 when the process is gone.
inline char ProcessState(pid_t Pid) {
    std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return 0;
    const size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() ? text[paren + 2] : 0;
}

// A process that has ended but was not reaped (yet) counts as gone.
inline bool IsAlive(pid_t Pid) {
    const char state = ProcessState(Pid);
    return state != 0 && state != 'Z' && state != 'X';
}

// Whether this process has a child, running or ended but not reaped.
inline bool HasChildren() {
    int status = 0;
    const pid_t pid = ::waitpid(-1, &status, WNOHANG);
    return !(pid < 0 && errno == ECHILD);
}
