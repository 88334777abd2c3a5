#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

class QWidget;

namespace zalvo {

// Runs a piece of work on a worker thread while the UI thread goes on turning: the tick keeps the music
// playing and the windows answer. Half a second in, a progress dialog modal over every window offers
// to cancel.
class BackgroundTask final {
public:
    BackgroundTask(QWidget* owner, QString label) : owner(owner), label(std::move(label)) {}
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // The work checks it and ends early once it is set.
    const std::atomic<bool>& cancelledFlag() const { return cancelled; }
    bool isCancelled() const { return cancelled; }
    void cancel() { cancelled = true; }

    // Returns once the work has ended: false when it was cancelled. `progress` counts what is done so far;
    // it is asked on the UI thread while the work runs. An exception of the work comes out here.
    bool run(const std::function<void()>& work, const std::function<std::size_t()>& progress);

    // How long work runs before the dialog shows; tests shorten it, so that a dialog shows however fast
    // the machine.
    static constexpr std::chrono::milliseconds usualDialogDelay{500};
    static void setDialogDelay(std::chrono::milliseconds delay) { dialogDelay = delay; }

private:
    static inline std::chrono::milliseconds dialogDelay = usualDialogDelay;

    QWidget* owner;
    QString label;
    std::atomic<bool> cancelled = false;
};

} // namespace zalvo
