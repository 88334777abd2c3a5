#include "decode/SndfileReader.h"

#include "FfmpegEncode.h"
#include "TempDir.h"
#include "TestName.h"
#include "ToneFile.h"
#include "decode/FileStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

constexpr double frequency = 440.0;
constexpr double seconds = 0.25;

// What a 16-bit file holds for ToneFile's sine: libsndfile scales floats by 32767 when it writes, and
// reads them back divided by 32768.
std::vector<float> expectedSamples(int sampleRate, double amplitude) {
    const auto count = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    std::vector<float> samples;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const auto value = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * t));
        samples.push_back(static_cast<float>(std::lrint(value * 32767.0F)) / 32768.0F);
    }
    return samples;
}

// A file opened through libsndfile, as a track's decoder opens it.
struct OpenFile {
    FileStream stream;
    SndfileReader reader;
    SndfileReader::Info info;

    bool open(const fs::path& file) { return stream.open(file.string()) && reader.open(stream, info); }

    std::vector<float> readAll() {
        std::vector<float> samples;
        std::vector<float> chunk(4096);
        while (const std::size_t count = reader.read(chunk.data(), chunk.size())) {
            samples.insert(samples.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
        }
        return samples;
    }
};

class SndfileReaderTest : public ::testing::Test {
protected:
    fs::path write(AudioFormat format, double amplitude) {
        fs::path file = dir.file("tone" + extensionOf(format));
        writeToneFile(file, format, ToneShape{{ToneSegment{frequency, seconds}}, 44100, 2, amplitude});
        return file;
    }

    TempDir dir;
};

TEST_F(SndfileReaderTest, LosslessFormatsDecodeToTheExactSamples) {
    const std::vector<float> mono = expectedSamples(44100, 0.8);
    for (const AudioFormat format : {AudioFormat::Wav, AudioFormat::Aiff, AudioFormat::Flac}) {
        SCOPED_TRACE(extensionOf(format));
        OpenFile file;
        ASSERT_TRUE(file.open(write(format, 0.8)));
        EXPECT_EQ(file.info.channelCount, 2U);
        EXPECT_EQ(file.info.sampleRate, 44100U);
        EXPECT_EQ(file.info.sampleCount, 2 * mono.size());

        const std::vector<float> samples = file.readAll();
        ASSERT_EQ(samples.size(), 2 * mono.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(samples[i], mono[i / 2]) << "sample " << i;
        }
    }
}

TEST_F(SndfileReaderTest, EveryFormatDeliversAsManySamplesAsItAnnounces) {
    for (const AudioFormat format : allAudioFormats()) {
        SCOPED_TRACE(extensionOf(format));
        OpenFile file;
        ASSERT_TRUE(file.open(write(format, 0.5)));
        EXPECT_EQ(file.info.channelCount, 2U);
        EXPECT_NEAR(static_cast<double>(file.info.sampleCount) / 2.0 / file.info.sampleRate, seconds, 0.005);
        EXPECT_EQ(file.readAll().size(), file.info.sampleCount);
    }
}

TEST_F(SndfileReaderTest, ReadsAndSeeksKeepWholeFrames) {
    const std::vector<float> mono = expectedSamples(44100, 0.8);
    OpenFile file;
    ASSERT_TRUE(file.open(write(AudioFormat::Wav, 0.8)));

    std::vector<float> samples(5);
    EXPECT_EQ(file.reader.read(samples.data(), 5), 4U);
    EXPECT_EQ(samples[2], mono[1]);
    EXPECT_EQ(file.reader.read(samples.data(), 1), 0U);

    EXPECT_TRUE(file.reader.seekTo(2000));
    ASSERT_EQ(file.reader.read(samples.data(), 4), 4U);
    EXPECT_EQ(samples[0], mono[1000]);
    EXPECT_EQ(samples[3], mono[1001]);

    EXPECT_TRUE(file.reader.seekTo(0));
    ASSERT_EQ(file.reader.read(samples.data(), 2), 2U);
    EXPECT_EQ(samples[0], mono[0]);
}

// Lossy decoders overshoot full scale: the samples keep their shape past it, for the mixer to limit.
TEST_F(SndfileReaderTest, LossyFormatsAtFullScaleKeepTheirShape) {
    for (const AudioFormat format : {AudioFormat::Ogg, AudioFormat::Opus, AudioFormat::Mp3}) {
        SCOPED_TRACE(extensionOf(format));
        OpenFile file;
        ASSERT_TRUE(file.open(write(format, 1.0)));
        const std::vector<float> samples = file.readAll();
        ASSERT_GT(samples.size(), 4U);
        float largestStep = 0.0F;
        for (std::size_t i = 2; i < samples.size(); ++i) {
            largestStep = std::max(largestStep, std::abs(samples[i] - samples[i - 2]));
        }
        EXPECT_LT(largestStep, 0.25F);
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        EXPECT_LT(*low, -0.9F);
        EXPECT_GT(*high, 0.9F);
    }
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    return bytes;
}

// A 28-bit ID3v2 size, seven bits a byte.
std::string syncSafe(std::size_t size) {
    std::string bytes;
    for (const int shift : {21, 14, 7, 0}) {
        bytes += static_cast<char>((size >> shift) & 0x7FU);
    }
    return bytes;
}

std::string id3v2Tag(const std::string& frames) {
    return std::string("ID3\x04\0\0", 6) + syncSafe(frames.size()) + frames;
}

std::string id3v2Frame(const std::string& id, const std::string& payload) {
    return id + syncSafe(payload.size()) + std::string(2, '\0') + payload;
}

// An MP3 without the encoder's table of its frames, whose length libsndfile guesses from its bytes, put
// together by `craft` from one second at 44.1 kHz and two at 48 kHz.
struct Mp3Layout {
    const char* name;
    std::function<std::string(const std::string& first, const std::string& second)> craft;
    bool libsndfileReads;
};

void PrintTo(const Mp3Layout& layout, std::ostream* out) {
    *out << layout.name;
}

class Mp3LayoutTest : public SndfileReaderTest, public ::testing::WithParamInterface<Mp3Layout> {};

// libsndfile reads an MP3's frames, not its tags: the length it gives is that of what it reads. One that
// changes rate midway is left to the FFmpeg module, since libsndfile would stop there.
TEST_P(Mp3LayoutTest, LengthIsThatOfTheFramesRead) {
    const fs::path tone = dir.file("tone.wav");
    const fs::path higher = dir.file("higher.wav");
    writeToneFile(tone, AudioFormat::Wav, ToneShape{{ToneSegment{frequency, 1.0}}, 44100, 2, 0.5});
    writeToneFile(higher, AudioFormat::Wav, ToneShape{{ToneSegment{frequency, 2.0}}, 48000, 2, 0.5});
    const fs::path first = dir.file("first.mp3");
    const fs::path second = dir.file("second.mp3");
    encodeWithFfmpeg(tone, first, "-c:a libmp3lame -write_xing 0");
    encodeWithFfmpeg(higher, second, "-c:a libmp3lame -write_xing 0");
    const fs::path crafted = dir.file(GetParam().name);
    std::ofstream(crafted, std::ios::binary) << GetParam().craft(readBytes(first), readBytes(second));

    OpenFile file;
    ASSERT_EQ(file.open(crafted), GetParam().libsndfileReads);
    if (GetParam().libsndfileReads) {
        const auto decoded = static_cast<double>(file.readAll().size());
        EXPECT_NEAR(static_cast<double>(file.info.sampleCount), decoded, decoded / 50);
    }
}

const Mp3Layout mp3Layouts[]{
    {"large-tag.mp3",
     [](const std::string& first, const std::string& /*second*/) {
         return id3v2Tag(id3v2Frame("PRIV", "zalvo" + noise(8 << 20, 1))) + first;
     },
     true},
    {"many-pictures.mp3",
     [](const std::string& first, const std::string& /*second*/) {
         std::string frames;
         for (unsigned i = 0; i < 300; ++i) {
             frames += id3v2Frame("APIC", std::string("\0image/png\0\0", 12) + std::to_string(i) + '\0' +
                                              "\x89PNG\r\n\x1A\n" + noise(4000, i));
         }
         return id3v2Tag(frames) + first;
     },
     true},
    {"rate-change.mp3", [](const std::string& first, const std::string& second) { return first + second; }, false},
};

INSTANTIATE_TEST_SUITE_P(Files, Mp3LayoutTest, ::testing::ValuesIn(mp3Layouts),
                         [](const ::testing::TestParamInfo<Mp3Layout>& info) { return testNameOf(info.param.name); });

} // namespace

} // namespace zalvo
