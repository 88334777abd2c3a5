#include "output/ReplayHistory.h"

#include "pcm/PcmSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace zalvo {

namespace {

// Hands out each frame's number in all its samples: stereo up to `stereoFrames`, then mono.
class NumberedSource final : public PcmSource {
public:
    explicit NumberedSource(std::size_t stereoFrames) : stereoFrames(stereoFrames) {}

    PcmFormat format() const override { return next < stereoFrames ? PcmFormat{44100, 2} : PcmFormat{48000, 1}; }

    std::size_t read(std::span<PcmSample> samples) override {
        const unsigned channels = format().channels;
        const std::size_t end = next < stereoFrames ? stereoFrames : totalFrames;
        const std::size_t frames = std::min(samples.size() / channels, end - next);
        for (std::size_t i = 0; i < frames * channels; ++i) {
            samples[i] = static_cast<PcmSample>(next + i / channels);
        }
        next += frames;
        return frames;
    }

private:
    static constexpr std::size_t totalFrames = 1000;
    std::size_t stereoFrames;
    std::size_t next = 0;
};

// The frame numbers of what `history` sends next, at most `frames`; every sample of a frame agrees.
std::vector<int> sendFrames(ReplayHistory& history, std::size_t frames, unsigned channels) {
    const std::span<const PcmSample> samples = history.send(frames);
    std::vector<int> numbers;
    for (std::size_t i = 0; i < samples.size(); i += channels) {
        for (unsigned channel = 1; channel < channels; ++channel) {
            EXPECT_EQ(samples[i + channel], samples[i]);
        }
        numbers.push_back(static_cast<int>(samples[i]));
    }
    return numbers;
}

std::vector<int> range(int first, int end) {
    std::vector<int> numbers(static_cast<std::size_t>(end - first));
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
}

TEST(ReplayHistoryTest, WhatWasNotHeardIsReplayedOnceInOrderAfterALoss) {
    // Lost before anything was heard, partway, and once all that was sent was heard.
    for (const int heard : {0, 4, 12}) {
        SCOPED_TRACE(heard);
        NumberedSource source(1000);
        ReplayHistory history;
        history.reset(2);
        ASSERT_EQ(history.pull(source, 12), 12U);
        EXPECT_EQ(sendFrames(history, 7, 2), range(0, 7));
        history.forget(static_cast<std::uint64_t>(std::min(heard, 7)));
        EXPECT_EQ(sendFrames(history, 100, 2), range(7, 12));
        EXPECT_TRUE(history.allSent());

        // What was heard since the last look is known only at the loss.
        history.rewind(static_cast<std::uint64_t>(heard));
        EXPECT_EQ(sendFrames(history, 100, 2), range(heard, 12));
        EXPECT_TRUE(sendFrames(history, 100, 2).empty());
        ASSERT_EQ(history.pull(source, 3), 3U);
        EXPECT_EQ(sendFrames(history, 100, 2), range(12, 15));
        EXPECT_EQ(history.sent(), 15U);
    }
}

TEST(ReplayHistoryTest, FormatChangeInTheMiddleReplaysEachPartInItsOwnFormat) {
    NumberedSource source(8);
    ReplayHistory history;
    history.reset(2);
    EXPECT_EQ(history.pull(source, 20), 8U);
    EXPECT_EQ(sendFrames(history, 100, 2), range(0, 8));

    // Lost before the stereo part was heard out: only its tail comes again.
    history.forget(5);
    history.rewind(5);
    EXPECT_EQ(sendFrames(history, 100, 2), range(5, 8));

    // Heard out: the mono part starts on a new stream, and a loss there never brings back the stereo part.
    history.reset(1);
    EXPECT_EQ(history.pull(source, 6), 6U);
    EXPECT_EQ(sendFrames(history, 4, 1), range(8, 12));
    history.rewind(8);
    EXPECT_EQ(sendFrames(history, 100, 1), range(8, 14));
    EXPECT_EQ(history.pulled(), 14U);
}

} // namespace

} // namespace zalvo
