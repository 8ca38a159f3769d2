// Paces a piece of screen work that may be asked for thousands of times a second (a watched
// run's mark, its memory rows) to at most once per interval, the last request always served.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

class TFramePacer {
public:
    explicit TFramePacer(qint64 intervalMs) : IntervalMs(intervalMs) { Timer.setSingleShot(true); }

    // The owner connects its work to Timer's timeout, and calls Done() whenever it did the work.
    QTimer Timer;

    // True when the work may be done now. Otherwise the timer is set (if not already) to fire
    // when the interval since the last time is over.
    bool Due() {
        if (Timer.isActive()) return false;
        const qint64 since = Clock.isValid() ? Clock.elapsed() : IntervalMs;
        if (since >= IntervalMs) return true;
        Timer.start(static_cast<int>(IntervalMs - since));
        return false;
    }
    void Done() {
        Timer.stop();
        Clock.start();
    }

private:
    const qint64 IntervalMs;
    QElapsedTimer Clock;
};
