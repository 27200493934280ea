// The runner's one-second timer. Its ticks come from a QTimer of the thread that
// made it (the caller's event loop), so they arrive only while that thread
// processes events; tests may call Tick by hand instead. Its enabled state is the
// mark by which the caller sees that a run is still under way: the runner thread
// clears it at the end of a run.
#pragma once

#include <QTimer>
#include <atomic>
#include <cstdint>

class TProcessTimer : public QTimer {
    Q_OBJECT
public:
    explicit TProcessTimer(QObject* AOwner = nullptr);

    // Interval 1000 ms, both counters 0, enabled (on the timer's thread).
    void StartCounting();
    // Disabled; may be called from any thread. The QTimer itself stops at its
    // next tick on its own thread.
    void StopCounting();
    // One second more on both counters while enabled (on the timer's thread).
    void Tick();
    // SecondsSinceOutput := 0 (from the runner thread).
    void ResetLastOutput();

    bool Enabled() const { return FEnabled.load(); }
    int32_t ElapsedSeconds() const { return FElapsedSeconds.load(); }
    int32_t SecondsSinceOutput() const { return FSecondsSinceOutput.load(); }

private:
    std::atomic<bool> FEnabled{false};
    std::atomic<int32_t> FElapsedSeconds{0};
    std::atomic<int32_t> FSecondsSinceOutput{0};
};
