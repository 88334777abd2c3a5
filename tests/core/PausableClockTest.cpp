#include "engine/PausableClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zalvo {

namespace {

using namespace std::chrono_literals;

constexpr float stretch = 0.05F;
// Sleeping may overrun on a loaded machine; it never returns early.
constexpr float slack = 0.5F;

void sleepStretch() {
    std::this_thread::sleep_for(50ms);
}

TEST(PausableClockTest, PausedClockHoldsItsTime) {
    PausableClock clock(true);
    sleepStretch();
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);

    clock.resume();
    sleepStretch();
    clock.pause();
    const float frozen = clock.getElapsedTime();
    EXPECT_GE(frozen, stretch);
    EXPECT_LT(frozen, stretch + slack);

    sleepStretch();
    clock.pause();
    EXPECT_EQ(clock.getElapsedTime(), frozen);
}

TEST(PausableClockTest, RunningStretchesAddUp) {
    PausableClock clock(false);
    sleepStretch();
    clock.pause();
    const float first = clock.getElapsedTime();
    sleepStretch();
    clock.resume();
    sleepStretch();

    const float total = clock.getElapsedTime();
    EXPECT_GE(total, first + stretch);
    EXPECT_LT(total, 2 * stretch + slack);
}

TEST(PausableClockTest, ResumeWhileRunningKeepsTheCurrentStretch) {
    PausableClock clock(false);
    sleepStretch();
    clock.resume();
    EXPECT_GE(clock.getElapsedTime(), stretch);
}

TEST(PausableClockTest, ResetStartsFromZeroPausedOrRunning) {
    PausableClock clock(false);
    sleepStretch();

    clock.reset(true);
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);
    sleepStretch();
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);

    clock.resume();
    sleepStretch();
    clock.reset(false);
    EXPECT_LT(clock.getElapsedTime(), stretch);
    sleepStretch();
    EXPECT_GE(clock.getElapsedTime(), stretch);
}

} // namespace

} // namespace zalvo
