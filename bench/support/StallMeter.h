#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTimer>

namespace zalvo {

// The longest time the UI thread went without running its timer, while it lives.
class StallMeter final {
public:
    StallMeter() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 gap = clock.restart();
            if (gap > longest) {
                longest = gap;
                longestEndedAt = sinceStart.elapsed();
            }
            if (auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
                dialogShown = dialogShown || progress->isVisible();
            }
        });
        clock.start();
        sinceStart.start();
        timer.start(tickMilliseconds);
    }

    double longestMilliseconds() {
        if (clock.elapsed() > longest) {
            longest = clock.elapsed();
            longestEndedAt = sinceStart.elapsed();
        }
        return static_cast<double>(longest);
    }
    // When the longest stall ended, from the start: tells the dialog's showing from the tracks' swap.
    double longestEndedAtMilliseconds() const { return static_cast<double>(longestEndedAt); }

    static constexpr int tickMilliseconds = 10;
    bool dialogShown = false;

private:
    QTimer timer;
    QElapsedTimer clock;
    QElapsedTimer sinceStart;
    qint64 longest = 0;
    qint64 longestEndedAt = 0;
};

} // namespace zalvo
