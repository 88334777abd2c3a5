#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/AudioConfig.h"
#include "playlist/Music.h"
#include "playlist/PlayList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace zalvo {

// These tests listen to what really comes out: OpenAL Soft's wave backend writes the mixed output to
// the file named in ZALVO_WAVE_OUTPUT, as 32-bit float stereo, once the last track is gone.
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t windowLength = 441;
constexpr double windowSeconds = 0.01;

std::uint32_t littleEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

std::uint16_t littleEndian16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                                                  << 8);
}

// The left channel of the capture. The backend fills in the chunk sizes only when the device
// closes, so a data size of zero or past the end means "up to the end of the file".
std::vector<float> readCapture(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        ADD_FAILURE() << file << " is not a RIFF WAVE file";
        return {};
    }
    std::size_t channels = 0;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const std::size_t size = littleEndian32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            channels = littleEndian16(bytes, body + 2);
            EXPECT_EQ(littleEndian32(bytes, body + 4), 44100U);
            EXPECT_EQ(littleEndian16(bytes, body + 14), 32U);
        } else if (id == "data") {
            const std::size_t available = bytes.size() - body;
            const std::size_t length = size == 0 || size > available ? available : size;
            if (channels == 0) {
                ADD_FAILURE() << "data before format";
                return {};
            }
            const std::size_t frameBytes = channels * sizeof(float);
            std::vector<float> left(length / frameBytes);
            for (std::size_t frame = 0; frame < left.size(); ++frame) {
                std::memcpy(&left[frame], bytes.data() + body + frame * frameBytes, sizeof(float));
            }
            return left;
        }
        at = body + size + (size % 2);
    }
    ADD_FAILURE() << file << " has no data chunk";
    return {};
}

double goertzelPower(const float* samples, std::size_t count, double frequency) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / 44100.0);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

enum class Heard { Silence, Low, High, Unclear };

// What each 10 ms of the capture holds: silence, the 440 Hz tone, the 880 Hz tone, or a mix.
struct Window {
    Heard heard = Heard::Unclear;
    float peak = 0.0F;
};

std::vector<Window> listen(const std::vector<float>& capture) {
    std::vector<Window> windows;
    for (std::size_t start = 0; start + windowLength <= capture.size(); start += windowLength) {
        const float* samples = capture.data() + start;
        Window window;
        double energy = 0.0;
        for (std::size_t i = 0; i < windowLength; ++i) {
            window.peak = std::max(window.peak, std::abs(samples[i]));
            energy += static_cast<double>(samples[i]) * samples[i];
        }
        const double low = goertzelPower(samples, windowLength, 440.0);
        const double high = goertzelPower(samples, windowLength, 880.0);
        if (std::sqrt(energy / windowLength) < 0.01) {
            window.heard = Heard::Silence;
        } else if (low > 20.0 * high) {
            window.heard = Heard::Low;
        } else if (high > 20.0 * low) {
            window.heard = Heard::High;
        }
        windows.push_back(window);
    }
    return windows;
}

struct Stretch {
    Heard heard;
    std::size_t windows;
};

// Stretches of one kind, leaving out the mixed windows at each change of tone.
std::vector<Stretch> stretchesOf(const std::vector<Window>& windows) {
    std::vector<Stretch> stretches;
    for (const Window& window : windows) {
        if (window.heard == Heard::Unclear) {
            continue;
        }
        if (!stretches.empty() && stretches.back().heard == window.heard) {
            ++stretches.back().windows;
        } else {
            stretches.push_back({window.heard, 1});
        }
    }
    return stretches;
}

std::string describe(const std::vector<Stretch>& stretches) {
    std::string text;
    constexpr std::array<const char*, 4> names{"silence", "440", "880", "?"};
    for (const Stretch& stretch : stretches) {
        text += std::string(names.at(static_cast<std::size_t>(stretch.heard))) + " " +
                std::to_string(static_cast<double>(stretch.windows) * windowSeconds) + "s, ";
    }
    return text;
}

double secondsOf(const std::vector<Stretch>& stretches, Heard heard) {
    std::size_t windows = 0;
    for (const Stretch& stretch : stretches) {
        windows += stretch.heard == heard ? stretch.windows : 0;
    }
    return static_cast<double>(windows) * windowSeconds;
}

float medianPeak(std::vector<Window>::const_iterator first, std::vector<Window>::const_iterator last) {
    std::vector<float> peaks;
    std::transform(first, last, std::back_inserter(peaks), [](const Window& window) { return window.peak; });
    std::nth_element(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(peaks.size() / 2), peaks.end());
    return peaks[peaks.size() / 2];
}

// Plays the list from its first track in real time, ticking as the window does, until it has played
// through and stopped.
void playThrough(PlayList& playList) {
    PlayList::Position first = playList.getList()->begin();
    playList.playAt(first);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!(playList.getCurrentPosition() == first && (*first)->isStopped()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
        playList.advanceIfFinished();
    }
}

class MusicSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* output = std::getenv("ZALVO_WAVE_OUTPUT");
        if (output == nullptr) {
            GTEST_SKIP() << "stretch through CTest, which routes the audio output to a file";
        }
        capture = output;
    }

    fs::path tones(const std::string& name, std::vector<ToneSegment> segments, double amplitude,
                   AudioFormat format = AudioFormat::Wav) {
        fs::path file = dir.file(name + extensionOf(format));
        writeToneFile(file, format, ToneShape{std::move(segments), 44100, 2, amplitude});
        return file;
    }

    // Call once every track is gone: the device closes and the capture is complete.
    std::vector<Window> heard() const { return listen(readCapture(capture)); }

    TempDir dir;
    fs::path capture;
};

// A stereo source reaches the stereo output unpanned: its level is the volume's share of full scale.
TEST_F(MusicSoundTest, ToneComesOutAtTheLevelOfTheTrackVolume) {
    const fs::path file = tones("a", {{440.0, 2.0}}, 1.0);
    {
        Music music;
        ASSERT_TRUE(music.open(file.u16string()));
        music.setVolume(50.0F);
        music.playPause();
        std::this_thread::sleep_for(400ms);
        music.setVolume(100.0F);
        std::this_thread::sleep_for(400ms);
        music.stop();
    }
    const std::vector<Window> windows = heard();

    std::vector<Window> tone;
    std::copy_if(windows.begin(), windows.end(), std::back_inserter(tone),
                 [](const Window& window) { return window.heard != Heard::Silence; });
    ASSERT_GE(tone.size(), 60U) << describe(stretchesOf(windows));
    EXPECT_GE(secondsOf(stretchesOf(windows), Heard::Low), 0.7) << describe(stretchesOf(windows));
    EXPECT_NEAR(medianPeak(tone.begin(), tone.begin() + 30), 0.5F, 0.02F);
    EXPECT_NEAR(medianPeak(tone.end() - 30, tone.end()), 1.0F, 0.02F);
}

// The file is 440 Hz for half a second, then 880 Hz: which tone comes out shows where play started.
TEST_F(MusicSoundTest, ResumeGoesOnWherePauseHaltedAndPlayAfterStopStartsOver) {
    const fs::path file = tones("a", {{440.0, 0.5}, {880.0, 0.5}}, 0.5);
    {
        Music music;
        ASSERT_TRUE(music.open(file.u16string()));
        music.playPause();
        std::this_thread::sleep_for(250ms);
        music.playPause();
        std::this_thread::sleep_for(300ms);
        music.playPause();
        std::this_thread::sleep_for(450ms);
        music.stop();
        music.playPause();
        std::this_thread::sleep_for(250ms);
        music.stop();
    }
    const std::vector<Stretch> stretches = stretchesOf(heard());
    SCOPED_TRACE(describe(stretches));

    const auto firstHigh = std::find_if(stretches.begin(), stretches.end(),
                                        [](const Stretch& stretch) { return stretch.heard == Heard::High; });
    ASSERT_NE(firstHigh, stretches.end());
    const auto firstLow =
        std::find_if(stretches.begin(), firstHigh, [](const Stretch& stretch) { return stretch.heard == Heard::Low; });
    ASSERT_NE(firstLow, firstHigh);
    const std::vector<Stretch> beforeHigh(firstLow, firstHigh);
    EXPECT_NEAR(secondsOf(beforeHigh, Heard::Low), 0.5, 0.08);
    EXPECT_GE(secondsOf(beforeHigh, Heard::Silence), 0.2);
    EXPECT_GE(static_cast<double>(firstHigh->windows) * windowSeconds, 0.1);

    const std::vector<Stretch> afterHigh(firstHigh + 1, stretches.end());
    EXPECT_GE(secondsOf(afterHigh, Heard::Low), 0.15);
    EXPECT_EQ(secondsOf(afterHigh, Heard::High), 0.0);
}

TEST_F(MusicSoundTest, EveryFormatSoundsItsTone) {
    std::vector<fs::path> files;
    for (const AudioFormat format : allAudioFormats()) {
        files.push_back(tones("tone", {{440.0, 1.0}}, 0.5, format));
    }
    {
        const Music keepDevice;
        for (const fs::path& file : files) {
            Music music;
            ASSERT_TRUE(music.open(file.u16string())) << file;
            music.playPause();
            std::this_thread::sleep_for(200ms);
            music.stop();
            std::this_thread::sleep_for(100ms);
        }
    }
    const std::vector<Stretch> stretches = stretchesOf(heard());
    SCOPED_TRACE(describe(stretches));

    std::vector<Stretch> tones;
    std::copy_if(stretches.begin(), stretches.end(), std::back_inserter(tones),
                 [](const Stretch& stretch) { return stretch.heard != Heard::Silence; });
    ASSERT_EQ(tones.size(), files.size());
    for (const Stretch& tone : tones) {
        EXPECT_EQ(tone.heard, Heard::Low);
        EXPECT_GE(static_cast<double>(tone.windows) * windowSeconds, 0.15);
    }
}

} // namespace

namespace {

// One continuous 441 Hz sine cut at odd frames into three files and played through the playlist in
// real time, ticking as the window does: the joins leave no silence and no jump beyond the sine's
// own slope.
TEST_F(MusicSoundTest, PlayListJoinsTracksWithoutGapOrClick) {
    constexpr int rate = 44100;
    constexpr double amplitude = 0.5;
    const std::vector<std::size_t> cuts{0, 30013, 60029, 90000};
    {
        PlayList playList;
        for (std::size_t part = 0; part + 1 < cuts.size(); ++part) {
            std::vector<float> frames;
            for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) {
                frames.push_back(static_cast<float>(
                    amplitude * std::sin(2.0 * std::numbers::pi * 441.0 * static_cast<double>(i) / rate)));
            }
            const fs::path file = dir.file("part" + std::to_string(part) + ".wav");
            writeAudioFile(file, AudioFormat::Wav, frames, rate);
            ASSERT_TRUE(playList.addMusic(file.u16string()));
        }
        playThrough(playList);
    }
    const std::vector<float> left = readCapture(capture);
    const auto loud = [](float sample) { return std::abs(sample) > 0.01F; };
    const auto start = std::find_if(left.begin(), left.end(), loud);
    const auto end = std::find_if(left.rbegin(), left.rend(), loud).base();
    ASSERT_LT(start, end);

    const double heardSeconds = static_cast<double>(end - start) / rate;
    EXPECT_NEAR(heardSeconds, static_cast<double>(cuts.back()) / rate, 0.002);
    const float peak = *std::max_element(start, end);
    const float slope = peak * static_cast<float>(2.0 * std::numbers::pi * 441.0 / rate);
    std::size_t quiet = 0;
    std::size_t longestQuiet = 0;
    float steepest = 0.0F;
    for (auto sample = start + 1; sample != end; ++sample) {
        quiet = loud(*sample) ? 0 : quiet + 1;
        longestQuiet = std::max(longestQuiet, quiet);
        steepest = std::max(steepest, std::abs(*sample - *(sample - 1)));
    }
    EXPECT_LE(longestQuiet, 44U) << "ms of silence: " << static_cast<double>(longestQuiet) * 1000.0 / rate;
    EXPECT_LE(steepest, slope * 1.05F);
}

} // namespace

namespace {

double decibelsOf(double amplitude) {
    return 20.0 * std::log10(amplitude);
}

void run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Two sines of one pitch mastered 14 dB apart, tagged by metaflac as a real library is, played one
// after the other through the playlist: the level of each as heard, in dBFS.
class LoudnessTest : public MusicSoundTest {
protected:
    std::vector<fs::path> quietAndLoud() {
        return {tones("quiet", {{440.0, 0.8}}, 0.1, AudioFormat::Flac),
                tones("loud", {{440.0, 0.8}}, 0.5, AudioFormat::Flac)};
    }

    std::vector<double> levelsPlayed(const std::vector<fs::path>& files, ReplayGain::Mode mode) {
        AudioConfig::getInstance()->setReplayGainMode(mode);
        {
            PlayList playList;
            for (const fs::path& file : files) {
                EXPECT_TRUE(playList.addMusic(file.u16string()));
            }
            playThrough(playList);
        }
        AudioConfig::getInstance()->setReplayGainMode(ReplayGain::Mode::Auto);
        // Each track's level is the median peak of its tone, away from the join.
        const std::vector<Window> windows = heard();
        std::vector<double> levels;
        auto start = windows.begin();
        for (std::size_t track = 0; track < files.size(); ++track) {
            start = std::find_if(start, windows.end(), [](const Window& w) { return w.peak > 0.0005F; });
            if (std::distance(start, windows.end()) < 70) {
                ADD_FAILURE() << "track " << track << " not heard";
                return levels;
            }
            levels.push_back(decibelsOf(medianPeak(start + 10, start + 60)));
            start += 80;
        }
        return levels;
    }
};

TEST_F(LoudnessTest, ReplayGainLevelsTracksByTheirTagsInTheModeAsked) {
    const std::vector<fs::path> apart = quietAndLoud();
    for (const fs::path& file : apart) {
        run("metaflac --add-replay-gain '" + file.string() + "'");
    }
    std::vector<double> levels = levelsPlayed(apart, ReplayGain::Mode::Auto);
    ASSERT_EQ(levels.size(), 2U);
    EXPECT_NEAR(levels[1] - levels[0], 0.0, 0.5) << "each its own album: levelled by default";
    levels = levelsPlayed(apart, ReplayGain::Mode::Off);
    ASSERT_EQ(levels.size(), 2U);
    EXPECT_NEAR(levels[1] - levels[0], 14.0, 0.5) << "off: as mastered";

    const std::vector<fs::path> album = quietAndLoud();
    run("metaflac --add-replay-gain '" + album[0].string() + "' '" + album[1].string() + "'");
    levels = levelsPlayed(album, ReplayGain::Mode::Album);
    ASSERT_EQ(levels.size(), 2U);
    EXPECT_NEAR(levels[1] - levels[0], 14.0, 0.5) << "one album: its balance kept";
    levels = levelsPlayed(album, ReplayGain::Mode::Track);
    ASSERT_EQ(levels.size(), 2U);
    EXPECT_NEAR(levels[1] - levels[0], 0.0, 0.5) << "track gain levels the album's tracks";
}

TEST_F(LoudnessTest, ThePeakHoldsAGainThatWouldClipAtFullScale) {
    const fs::path quiet = tones("boosted", {{440.0, 0.8}}, 0.1, AudioFormat::Flac);
    run("metaflac --set-tag=REPLAYGAIN_TRACK_GAIN='+24.00 dB' --set-tag=REPLAYGAIN_TRACK_PEAK=0.1 '" + quiet.string() +
        "'");
    const std::vector<double> levels = levelsPlayed({quiet}, ReplayGain::Mode::Track);
    ASSERT_EQ(levels.size(), 1U);
    EXPECT_NEAR(levels[0], 0.0, 0.2) << "raised to full scale, not 4 dB past it";
}

// 16-bit samples would round a sine at -110 dBFS to nothing; in float it reaches the speaker.
TEST_F(MusicSoundTest, ATwentyFourBitTrackKeepsItsQuietestDetail) {
    const double amplitude = std::pow(10.0, -110.0 / 20.0);
    const fs::path file = tones("faint", {{440.0, 1.0}}, amplitude, AudioFormat::Flac24);
    {
        Music music;
        ASSERT_TRUE(music.open(file.u16string()));
        music.playPause();
        std::this_thread::sleep_for(800ms);
        music.stop();
    }
    const std::vector<float> left = readCapture(capture);
    const auto first = std::find_if(left.begin(), left.end(), [](float sample) { return sample != 0.0F; });
    ASSERT_GT(std::distance(first, left.end()), 22050) << "nothing came out";
    const float* samples = &*first + 4410;
    const double tone = goertzelPower(samples, 8820, 440.0);
    const double elsewhere = goertzelPower(samples, 8820, 1234.0);
    EXPECT_GT(tone, 100.0 * elsewhere) << "the tone is there, above any rounding noise";
    const float peak = *std::max_element(samples, samples + 8820);
    EXPECT_NEAR(decibelsOf(peak), -110.0, 1.0);
}

// Samples no speaker can play, in a float WAV, are silence where they stand: OpenAL Soft's mixer never
// meets a NaN or an infinity, which would silence all that follows, and the next track plays as itself.
TEST_F(MusicSoundTest, SamplesNoSpeakerCanPlayLeaveTheNextTrackAsItIs) {
    std::vector<float> frames(44100);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] =
            0.5F * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(i) / 44100.0));
    }
    frames[1000] = std::numeric_limits<float>::quiet_NaN();
    frames[2000] = std::numeric_limits<float>::infinity();
    frames[3000] = 3.4e38F;
    const fs::path harmful = dir.file("harmful.wav");
    writeAudioFile(harmful, AudioFormat::WavFloat, frames);
    {
        PlayList playList;
        ASSERT_TRUE(playList.addMusic(harmful.u16string()));
        ASSERT_TRUE(playList.addMusic(tones("after", {{440.0, 0.8}}, 0.5).u16string()));
        playThrough(playList);
    }
    const std::vector<float> left = readCapture(capture);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float sample) { return std::isfinite(sample); }));
    const std::vector<Window> windows = listen(left);
    const auto last = std::find_if(windows.rbegin(), windows.rend(), [](const Window& w) { return w.peak > 0.0005F; });
    ASSERT_GT(std::distance(last, windows.rend()), 100) << "the next track was not heard";
    EXPECT_NEAR(medianPeak(last.base() - 60, last.base() - 10), 0.5F, 0.02F);
}

} // namespace

} // namespace zalvo
