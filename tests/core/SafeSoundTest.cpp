#include "PulledPlayListFixture.h"
#include "output/AudioOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

constexpr int rate = 44100;
constexpr std::size_t trackFrames = rate / 2;
constexpr float level = 0.5F;

std::vector<float> sine(float amplitude) {
    std::vector<float> frames(trackFrames);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] =
            amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(i) / rate));
    }
    return frames;
}

float peakOf(std::span<const float> samples) {
    float peak = 0.0F;
    for (const float sample : samples) {
        peak = std::max(peak, std::abs(sample));
    }
    return peak;
}

float rmsOf(std::span<const float> samples) {
    double sum = 0.0;
    for (const float sample : samples) {
        sum += static_cast<double>(sample) * sample;
    }
    return static_cast<float>(std::sqrt(sum / static_cast<double>(samples.size())));
}

struct HarmfulTrack {
    const char* name;
    AudioFormat format;
    std::vector<std::pair<const char*, const char*>> tags;
    // A sample the file holds at one point of its tone.
    float fault = 0.0F;
    // The tone's peak as it should leave: as mastered where the gain is ignored, at full scale where a
    // raise with no peak to hold it is brought down to what the tone takes.
    float expectedPeak = level;
};

class SafeSound : public PulledPlayListFixture, public ::testing::WithParamInterface<HarmfulTrack> {
protected:
    std::filesystem::path harmfulFile(const HarmfulTrack& harmful) {
        const auto file = dir.file(std::string("harmful") + extensionOf(harmful.format));
        std::vector<float> frames = sine(level);
        if (harmful.fault != 0.0F) {
            frames[frames.size() / 3] = harmful.fault;
        }
        // libsndfile writes Opus at 48 kHz only.
        writeAudioFile(file, harmful.format, frames, harmful.format == AudioFormat::Opus ? 48000 : rate);
        if (!harmful.tags.empty()) {
            TagLib::FileRef tagged(file.c_str());
            TagLib::PropertyMap properties = tagged.file()->properties();
            for (const auto& [key, value] : harmful.tags) {
                properties.replace(key, TagLib::StringList(value));
            }
            tagged.file()->setProperties(properties);
            EXPECT_TRUE(tagged.save());
        }
        return file;
    }

    std::vector<float> playThrough() {
        std::vector<float> heard;
        PlayList::Position first = positionAt(0);
        playList.playAt(first);
        while (PulledOutput::live != nullptr && !PulledOutput::live->drained()) {
            PulledOutput::live->pullInto(heard);
            playList.advanceIfFinished();
        }
        return heard;
    }
};

// Whatever a file's tags or samples hold, what reaches the output is finite and within full scale, the
// tone keeps its shape (no square wave: a sine's RMS is 0.71 of its peak), and the track after it plays
// at its own level.
TEST_P(SafeSound, WhatLeavesIsFiniteWithinFullScaleAndTheNextTrackKeepsItsLevel) {
    const HarmfulTrack& harmful = GetParam();
    ASSERT_TRUE(playList.addMusic(harmfulFile(harmful).u16string()));
    const auto reference = dir.file("reference.wav");
    writeAudioFile(reference, AudioFormat::Wav, sine(level), rate);
    ASSERT_TRUE(playList.addMusic(reference.u16string()));

    const std::vector<float> heard = playThrough();

    ASSERT_GT(heard.size(), 2 * trackFrames - rate / 10);
    EXPECT_TRUE(
        std::all_of(heard.begin(), heard.end(), [](float s) { return std::isfinite(s) && std::abs(s) <= 1.0F; }));
    const std::span<const float> first(heard.data() + rate / 10, trackFrames - rate / 5);
    EXPECT_NEAR(peakOf(first), harmful.expectedPeak, 0.02F);
    EXPECT_LT(rmsOf(first) / peakOf(first), 0.75F) << "clipped into a square wave";
    const std::span<const float> next(heard.data() + heard.size() - trackFrames + rate / 10, trackFrames - rate / 5);
    EXPECT_NEAR(peakOf(next), level, 0.01F);
}

constexpr float infinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Faults, SafeSound,
    ::testing::Values(HarmfulTrack{"R128AtItsLargest", AudioFormat::Opus, {{"R128_TRACK_GAIN", "2147483647"}}},
                      HarmfulTrack{"R128Beyond24dB", AudioFormat::Opus, {{"R128_TRACK_GAIN", "32767"}}},
                      HarmfulTrack{"R128AtItsLargestInFlac", AudioFormat::Flac, {{"R128_TRACK_GAIN", "2147483647"}}},
                      HarmfulTrack{"GainOf64dB", AudioFormat::Flac, {{"REPLAYGAIN_TRACK_GAIN", "+64 dB"}}},
                      HarmfulTrack{
                          "RaiseWithNoPeak", AudioFormat::Flac, {{"REPLAYGAIN_TRACK_GAIN", "+20 dB"}}, 0.0F, 1.0F},
                      HarmfulTrack{"RaiseWithPeakZero",
                                   AudioFormat::Flac,
                                   {{"REPLAYGAIN_TRACK_GAIN", "+20 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0"}},
                                   0.0F,
                                   1.0F},
                      HarmfulTrack{"RaiseWithNegativePeak",
                                   AudioFormat::Flac,
                                   {{"REPLAYGAIN_TRACK_GAIN", "+20 dB"}, {"REPLAYGAIN_TRACK_PEAK", "-0.5"}},
                                   0.0F,
                                   1.0F},
                      HarmfulTrack{"RaiseWithTinyPeak",
                                   AudioFormat::Flac,
                                   {{"REPLAYGAIN_TRACK_GAIN", "+20 dB"}, {"REPLAYGAIN_TRACK_PEAK", "1e-300"}},
                                   0.0F,
                                   1.0F},
                      HarmfulTrack{"RaiseWithALyingPeak",
                                   AudioFormat::Flac,
                                   {{"REPLAYGAIN_TRACK_GAIN", "+20 dB"}, {"REPLAYGAIN_TRACK_PEAK", "0.01"}},
                                   0.0F,
                                   1.0F},
                      HarmfulTrack{"PositiveInfinity", AudioFormat::WavFloat, {}, infinity},
                      HarmfulTrack{"NegativeInfinity", AudioFormat::WavFloat, {}, -infinity},
                      HarmfulTrack{"NotANumber", AudioFormat::WavFloat, {}, std::numeric_limits<float>::quiet_NaN()},
                      HarmfulTrack{"LargestFloat", AudioFormat::WavFloat, {}, 3.4e38F, 1.0F}),
    [](const ::testing::TestParamInfo<HarmfulTrack>& info) { return std::string(info.param.name); });

} // namespace

} // namespace zalvo
