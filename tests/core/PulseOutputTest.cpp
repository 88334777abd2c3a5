#include "PulseOutput.h"

#include "MonitorCapture.h"
#include "PcmSource.h"
#include "PulseServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// These tests play into a private PulseAudio with silent sinks and listen to them through their
// monitors. They report the latencies they measure, and assert only bounds well above the targets.
namespace {

using namespace std::chrono_literals;
using Clock = MonitorCapture::Clock;

constexpr double startHz = 400.0;
constexpr double risePerSecond = 100.0;

// A tone at half scale whose pitch rises steadily, so that a few milliseconds of it tell where in the
// stream they come from. It plays its stretches one after the other, each in its own format.
class SweepSource final : public PcmSource {
public:
    struct Stretch {
        PcmFormat format;
        std::uint64_t frames;
    };

    explicit SweepSource(std::vector<Stretch> stretches = {{{44100, 1}, 600 * 44100}})
        : stretches(std::move(stretches)) {}

    PcmFormat format() const override { return current < stretches.size() ? stretches[current].format : PcmFormat{}; }

    std::size_t read(std::span<std::int16_t> samples) override {
        if (current == stretches.size()) {
            return 0;
        }
        Stretch& stretch = stretches[current];
        const std::size_t frames = std::min<std::uint64_t>(samples.size() / stretch.format.channels, stretch.frames);
        for (std::size_t frame = 0; frame < frames; ++frame) {
            phase += 2.0 * std::numbers::pi * (startHz + risePerSecond * seconds) / stretch.format.sampleRate;
            seconds += 1.0 / stretch.format.sampleRate;
            const auto value = static_cast<std::int16_t>(std::lround(16384.0 * std::sin(phase)));
            std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(frame * stretch.format.channels),
                        stretch.format.channels, value);
        }
        stretch.frames -= frames;
        if (stretch.frames == 0) {
            ++current;
        }
        return frames;
    }

private:
    std::vector<Stretch> stretches;
    std::size_t current = 0;
    double seconds = 0.0;
    double phase = 0.0;
};

// Where in the sweep a stretch of it comes from, by its pitch.
double sweepSecondsOf(const std::vector<float>& heard) {
    std::size_t crossings = 0;
    for (std::size_t i = 1; i < heard.size(); ++i) {
        crossings += (heard[i - 1] < 0.0F) != (heard[i] < 0.0F) ? 1U : 0U;
    }
    const double hertz =
        static_cast<double>(crossings) / 2.0 / (static_cast<double>(heard.size()) / MonitorCapture::rate);
    return (hertz - startHz) / risePerSecond;
}

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

void report(const std::string& what, long long milliseconds) {
    std::cout << "[ measured ] " << what << ": " << milliseconds << " ms\n";
    ::testing::Test::RecordProperty(what, std::to_string(milliseconds));
}

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseServer::available()) {
            GTEST_SKIP() << "no pulseaudio on this machine";
        }
        ASSERT_TRUE(server.start());
    }

    std::string firstStreamIndex() const {
        std::istringstream streams(server.pactl("list short sink-inputs"));
        std::string index;
        streams >> index;
        return index;
    }

    TempDir folder;
    PulseServer server{folder.path()};
};

TEST_F(PulseOutputTest, ControlsActOnTheStreamAtOnce) {
    MonitorCapture capture("nullsink");
    SweepSource source;
    const auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(capture.louderAfter(Clock::now() - 200ms, 0.1F, 0ms)) << "sound before play";

    const Clock::time_point played = Clock::now();
    output->play();
    const auto sounding = capture.louderAfter(played, 0.3F);
    ASSERT_TRUE(sounding);
    report("play to sound", millisecondsBetween(played, *sounding));
    EXPECT_LT(*sounding - played, 500ms);

    std::this_thread::sleep_for(1s);
    const Clock::time_point turnedDown = Clock::now();
    output->setGain(0.25F);
    const auto quieter = capture.quieterAfter(turnedDown, 0.2F);
    ASSERT_TRUE(quieter);
    report("volume step to new level", millisecondsBetween(turnedDown, *quieter));
    EXPECT_LT(*quieter - turnedDown, 500ms);
    const std::uint64_t beforePause = output->playedFrames();
    EXPECT_NEAR(static_cast<double>(beforePause) / 44100.0,
                std::chrono::duration<double>(Clock::now() - *sounding).count(), 0.15);

    const Clock::time_point paused = Clock::now();
    output->pause();
    const auto silent = capture.quieterAfter(paused, 0.01F);
    ASSERT_TRUE(silent);
    report("pause to silence", millisecondsBetween(paused, *silent));
    EXPECT_LT(*silent - paused, 500ms);
    const std::uint64_t heldAt = output->playedFrames();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(output->playedFrames(), heldAt);
}

TEST_F(PulseOutputTest, FollowsTheDefaultOutputAndCanBeMoved) {
    SweepSource source;
    const auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
    output->play();

    MonitorCapture other("othersink");
    ASSERT_FALSE(server.pactl("set-default-sink othersink").empty());
    EXPECT_TRUE(other.louderAfter(Clock::now(), 0.3F)) << "not heard on the new default output";

    MonitorCapture first("nullsink");
    ASSERT_FALSE(server.pactl("move-sink-input " + firstStreamIndex() + " nullsink").empty());
    EXPECT_TRUE(first.louderAfter(Clock::now(), 0.3F)) << "not heard where it was moved";
}

TEST_F(PulseOutputTest, ResumesWhereItWasHeardOnceTheServerIsBack) {
    std::optional<MonitorCapture> before;
    before.emplace("nullsink");
    SweepSource source;
    const auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
    output->play();
    std::this_thread::sleep_for(2s);

    server.kill();
    before.reset();
    std::this_thread::sleep_for(500ms);
    const std::uint64_t heldAt = output->playedFrames();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(output->playedFrames(), heldAt) << "the position ran on with no server";
    EXPECT_NEAR(static_cast<double>(heldAt) / 44100.0, 2.0, 0.3);

    ASSERT_TRUE(server.start());
    const Clock::time_point back = Clock::now();
    while (!output->streaming() && Clock::now() - back < 5s) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(output->streaming());
    report("server back to stream on it", millisecondsBetween(back, Clock::now()));
    EXPECT_LT(Clock::now() - back, 2s);

    // A fresh null sink may first sleep through a long block; the pitch, not the time, tells where it went on.
    MonitorCapture capture("nullsink");
    const auto sounding = capture.louderAfter(back, 0.3F, 5s);
    ASSERT_TRUE(sounding) << "no sound after the server came back";
    const double resumedAt = sweepSecondsOf(capture.samplesFrom(*sounding + 20ms, 0.1));
    EXPECT_NEAR(resumedAt, static_cast<double>(heldAt) / 44100.0, 0.5);
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(output->playedFrames(), heldAt);
}

TEST_F(PulseOutputTest, DrainsEveryFrameAcrossAFormatChange) {
    const MonitorCapture capture("nullsink");
    SweepSource source({{{44100, 1}, 13001}, {{48000, 2}, 24007}});
    const auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
    output->play();
    const Clock::time_point deadline = Clock::now() + 5s;
    while (!output->drained() && Clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(output->drained());
    EXPECT_EQ(output->playedFrames(), 13001U + 24007U);
}

} // namespace
