#include "engine/PausableClock.h"

#include "VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zalvo {

namespace {

using namespace std::chrono_literals;

class PausableClockTest : public ::testing::Test {
protected:
    const VirtualTime time;
};

TEST_F(PausableClockTest, PausedClockHoldsItsTime) {
    PausableClock clock(true);
    VirtualTime::advance(50ms);
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);

    clock.resume();
    VirtualTime::advance(50ms);
    clock.pause();
    const float frozen = clock.getElapsedTime();
    EXPECT_FLOAT_EQ(frozen, 0.05F);

    VirtualTime::advance(50ms);
    clock.pause();
    EXPECT_EQ(clock.getElapsedTime(), frozen);
}

TEST_F(PausableClockTest, RunningStretchesAddUpAndResumeWhileRunningKeepsTheStretch) {
    PausableClock clock(false);
    VirtualTime::advance(50ms);
    clock.pause();
    VirtualTime::advance(50ms);
    clock.resume();
    VirtualTime::advance(30ms);
    clock.resume();
    VirtualTime::advance(20ms);
    EXPECT_FLOAT_EQ(clock.getElapsedTime(), 0.1F);
}

TEST_F(PausableClockTest, ResetStartsFromZeroPausedOrRunning) {
    PausableClock clock(false);
    VirtualTime::advance(50ms);

    clock.reset(true);
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);
    VirtualTime::advance(50ms);
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);

    clock.resume();
    VirtualTime::advance(50ms);
    clock.reset(false);
    EXPECT_EQ(clock.getElapsedTime(), 0.0F);
    VirtualTime::advance(50ms);
    EXPECT_FLOAT_EQ(clock.getElapsedTime(), 0.05F);
}

} // namespace

} // namespace zalvo
