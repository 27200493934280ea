#include "process_timer.h"

TProcessTimer::TProcessTimer(QObject* AOwner) : QTimer(AOwner) {
    connect(this, &QTimer::timeout, this, &TProcessTimer::Tick);
}

void TProcessTimer::StartCounting() {
    FElapsedSeconds = 0;
    FSecondsSinceOutput = 0;
    FEnabled = true;
    start(1000);
}

void TProcessTimer::StopCounting() { FEnabled = false; }

void TProcessTimer::Tick() {
    if (!FEnabled) {
        stop();
        return;
    }
    ++FElapsedSeconds;
    ++FSecondsSinceOutput;
}

void TProcessTimer::ResetLastOutput() { FSecondsSinceOutput = 0; }
