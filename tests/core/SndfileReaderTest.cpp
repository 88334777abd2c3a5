#include "SndfileReader.h"

#include "TempDir.h"
#include "ToneFile.h"

#include <SFML/Audio/InputSoundFile.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double frequency = 440.0;
constexpr double seconds = 0.25;

// What a 16-bit file holds for ToneFile's sine: libsndfile scales floats by 32767 when it writes.
std::vector<sf::Int16> expectedSamples(int sampleRate, double amplitude) {
    const auto count = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    std::vector<sf::Int16> samples;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const auto value = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * t));
        samples.push_back(static_cast<sf::Int16>(std::lrint(value * 32767.0F)));
    }
    return samples;
}

std::vector<sf::Int16> readAll(sf::InputSoundFile& file) {
    std::vector<sf::Int16> samples;
    std::vector<sf::Int16> chunk(4096);
    while (const sf::Uint64 count = file.read(chunk.data(), chunk.size())) {
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
    }
    return samples;
}

class SndfileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SndfileReader::registerOnce();
        SndfileReader::registerOnce();
    }

    fs::path write(AudioFormat format, double amplitude) {
        fs::path file = dir.file("tone" + extensionOf(format));
        writeToneFile(file, format, ToneShape{{ToneSegment{frequency, seconds}}, 44100, 2, amplitude});
        return file;
    }

    TempDir dir;
};

TEST_F(SndfileReaderTest, LosslessFormatsDecodeToTheExactSamples) {
    const std::vector<sf::Int16> mono = expectedSamples(44100, 0.8);
    for (const AudioFormat format : {AudioFormat::Wav, AudioFormat::Aiff, AudioFormat::Flac}) {
        SCOPED_TRACE(extensionOf(format));
        sf::InputSoundFile file;
        ASSERT_TRUE(file.openFromFile(write(format, 0.8).string()));
        EXPECT_EQ(file.getChannelCount(), 2U);
        EXPECT_EQ(file.getSampleRate(), 44100U);
        EXPECT_EQ(file.getSampleCount(), 2 * mono.size());

        const std::vector<sf::Int16> samples = readAll(file);
        ASSERT_EQ(samples.size(), 2 * mono.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(samples[i], mono[i / 2]) << "sample " << i;
        }
    }
}

TEST_F(SndfileReaderTest, EveryFormatDeliversAsManySamplesAsItAnnounces) {
    for (const AudioFormat format : allAudioFormats()) {
        SCOPED_TRACE(extensionOf(format));
        sf::InputSoundFile file;
        ASSERT_TRUE(file.openFromFile(write(format, 0.5).string()));
        EXPECT_EQ(file.getChannelCount(), 2U);
        EXPECT_NEAR(file.getDuration().asSeconds(), seconds, 0.005);
        EXPECT_EQ(readAll(file).size(), file.getSampleCount());
    }
}

TEST_F(SndfileReaderTest, ReadsAndSeeksKeepWholeFrames) {
    const std::vector<sf::Int16> mono = expectedSamples(44100, 0.8);
    sf::InputSoundFile file;
    ASSERT_TRUE(file.openFromFile(write(AudioFormat::Wav, 0.8).string()));

    std::vector<sf::Int16> samples(5);
    EXPECT_EQ(file.read(samples.data(), 5), 4U);
    EXPECT_EQ(samples[2], mono[1]);
    EXPECT_EQ(file.read(samples.data(), 1), 0U);

    file.seek(sf::Uint64{2000});
    ASSERT_EQ(file.read(samples.data(), 4), 4U);
    EXPECT_EQ(samples[0], mono[1000]);
    EXPECT_EQ(samples[3], mono[1001]);

    file.seek(sf::Uint64{0});
    ASSERT_EQ(file.read(samples.data(), 2), 2U);
    EXPECT_EQ(samples[0], mono[0]);
}

// Lossy decoders overshoot full scale; a sample that wrapped around would jump by most of the range.
TEST_F(SndfileReaderTest, LossyFormatsAtFullScaleClipInsteadOfWrapping) {
    for (const AudioFormat format : {AudioFormat::Ogg, AudioFormat::Opus, AudioFormat::Mp3}) {
        SCOPED_TRACE(extensionOf(format));
        sf::InputSoundFile file;
        ASSERT_TRUE(file.openFromFile(write(format, 1.0).string()));
        const std::vector<sf::Int16> samples = readAll(file);
        ASSERT_GT(samples.size(), 4U);
        int largestStep = 0;
        for (std::size_t i = 2; i < samples.size(); ++i) {
            largestStep = std::max(largestStep, std::abs(samples[i] - samples[i - 2]));
        }
        EXPECT_LT(largestStep, 8000);
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        EXPECT_LT(*low, -30000);
        EXPECT_GT(*high, 30000);
    }
}

} // namespace
