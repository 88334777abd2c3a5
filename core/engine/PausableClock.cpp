#include "PausableClock.h"

PausableClock::PausableClock(bool startPaused) : paused(startPaused) {}

void PausableClock::pause() {
    if (paused) {
        return;
    }
    paused = true;
    accumulated += clock.getElapsedTime().asSeconds();
}

void PausableClock::resume() {
    if (!paused) {
        return;
    }
    clock.restart();
    paused = false;
}

void PausableClock::reset(bool startPaused) {
    paused = startPaused;
    accumulated = 0.0F;
    clock.restart();
}

float PausableClock::getElapsedTime() const {
    if (paused) {
        return accumulated;
    }
    return clock.getElapsedTime().asSeconds() + accumulated;
}
