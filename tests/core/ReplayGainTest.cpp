#include "tags/ReplayGain.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zalvo {

namespace {

using Mode = ReplayGain::Mode;

float decibels(float factor) {
    return 20.0F * std::log10(factor);
}

TEST(ReplayGainTest, TheModeChoosesTheGainAndThePeakHoldsItBelowFullScale) {
    const ReplayGainTags both{-6.0, 0.5, -3.0, 0.9};
    const ReplayGainTags trackOnly{-6.0, 0.5, std::nullopt, std::nullopt};
    const ReplayGainTags clipping{12.0, 0.5, std::nullopt, std::nullopt};
    struct Case {
        ReplayGainTags tags;
        Mode mode;
        bool shuffled;
        float expectedDecibels;
    };
    const Case cases[] = {
        {both, Mode::Auto, false, -3.0F}, {both, Mode::Auto, true, -6.0F},
        {both, Mode::Album, true, -3.0F}, {both, Mode::Track, false, -6.0F},
        {both, Mode::Off, false, 0.0F},   {trackOnly, Mode::Album, false, -6.0F},
        {{}, Mode::Album, false, 0.0F},   {clipping, Mode::Track, false, decibels(1.0F / 0.5F)},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(decibels(ReplayGain::factor(c.tags, c.mode, c.shuffled)), c.expectedDecibels, 1e-4)
            << static_cast<int>(c.mode) << " shuffled " << c.shuffled << " expecting " << c.expectedDecibels;
    }
}

TEST(ReplayGainTest, OnlyTheThreeModeNamesParse) {
    EXPECT_EQ(ReplayGain::parseMode("album"), Mode::Album);
    EXPECT_EQ(ReplayGain::parseMode("track"), Mode::Track);
    EXPECT_EQ(ReplayGain::parseMode("off"), Mode::Off);
    EXPECT_EQ(ReplayGain::parseMode("auto"), std::nullopt);
    EXPECT_EQ(ReplayGain::parseMode("Album"), std::nullopt);
}

} // namespace

} // namespace zalvo
