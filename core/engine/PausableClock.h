#pragma once

#include <chrono>

namespace zalvo {

// Play time of one track: counts while running, holds still while paused.
class PausableClock final {
public:
    explicit PausableClock(bool paused);

    void pause();
    void resume();
    void reset(bool paused);
    float getElapsedTime() const;

private:
    using Clock = std::chrono::steady_clock;

    float sinceStart() const;

    Clock::time_point started = Clock::now();
    bool paused;
    float accumulated = 0.0F;
};

} // namespace zalvo
