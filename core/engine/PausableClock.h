#pragma once

#include <SFML/System/Clock.hpp>

// Play time of one track: counts while running, holds still while paused.
class PausableClock final {
public:
    explicit PausableClock(bool paused);

    void pause();
    void resume();
    void reset(bool paused);
    float getElapsedTime() const;

private:
    sf::Clock clock;
    bool paused;
    float accumulated = 0.0F;
};
