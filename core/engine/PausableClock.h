#pragma once

#include <chrono>

namespace zalvo {

// Play time of one track: counts while running, holds still while paused.
class PausableClock final {
public:
    using Clock = std::chrono::steady_clock;
    // What every clock reads; a harness that runs time itself replaces it, and none brings back the
    // machine's own.
    using TimeSource = Clock::time_point (*)();
    static void setTimeSource(TimeSource source);

    explicit PausableClock(bool paused);

    void pause();
    void resume();
    void reset(bool paused);
    float getElapsedTime() const;

private:
    static Clock::time_point now();
    float sinceStart() const;

    Clock::time_point started = now();
    bool paused;
    float accumulated = 0.0F;
};

} // namespace zalvo
