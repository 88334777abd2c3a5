#include "engine/PausableClock.h"

namespace zalvo {

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
    started = Clock::now();
    paused = false;
}

void PausableClock::reset(bool startPaused) {
    paused = startPaused;
    accumulated = 0.0F;
    started = Clock::now();
}

float PausableClock::getElapsedTime() const {
    if (paused) {
        return accumulated;
    }
    return sinceStart() + accumulated;
}

float PausableClock::sinceStart() const {
    return std::chrono::duration<float>(Clock::now() - started).count();
}

} // namespace zalvo
