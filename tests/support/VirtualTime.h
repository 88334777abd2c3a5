#pragma once

#include "engine/PausableClock.h"

#include <atomic>
#include <chrono>

namespace zalvo {

// While it lives, play time runs only when the test moves it: a played track's time is then exactly
// what its output has pulled.
class VirtualTime final {
public:
    VirtualTime() {
        elapsed = Clock::duration::zero().count();
        PausableClock::setTimeSource(&now);
    }
    ~VirtualTime() { PausableClock::setTimeSource(nullptr); }
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    static void advance(std::chrono::nanoseconds step) {
        elapsed += std::chrono::duration_cast<Clock::duration>(step).count();
    }

private:
    using Clock = PausableClock::Clock;

    static Clock::time_point now() { return Clock::time_point(Clock::duration(elapsed.load())); }

    static inline std::atomic<Clock::rep> elapsed = 0;
};

} // namespace zalvo
