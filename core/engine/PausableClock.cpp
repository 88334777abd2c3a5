#include "engine/PausableClock.h"

#include <atomic>

namespace zalvo {

namespace {

std::atomic<PausableClock::TimeSource> timeSource = nullptr;

} // namespace

void PausableClock::setTimeSource(TimeSource source) {
    timeSource.store(source, std::memory_order_release);
}

PausableClock::Clock::time_point PausableClock::now() {
    const TimeSource source = timeSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : Clock::now();
}

PausableClock::PausableClock(bool startPaused) : paused(startPaused) {}

void PausableClock::pause() {
    if (paused) {
        return;
    }
    paused = true;
    accumulated += sinceStart();
}

void PausableClock::resume() {
    if (!paused) {
        return;
    }
    started = now();
    paused = false;
}

void PausableClock::reset(bool startPaused) {
    paused = startPaused;
    accumulated = 0.0F;
    started = now();
}

float PausableClock::getElapsedTime() const {
    if (paused) {
        return accumulated;
    }
    return sinceStart() + accumulated;
}

float PausableClock::sinceStart() const {
    return std::chrono::duration<float>(now() - started).count();
}

} // namespace zalvo
