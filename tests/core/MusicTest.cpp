#include "playlist/Music.h"

#include "LogCapture.h"
#include "PulledOutput.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "VirtualTime.h"
#include "output/AudioOutput.h"
#include "playlist/CueTrack.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::size_t openFileCount() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr unsigned rate = 44100;

// Tracks play into an output the test pulls, as a sound card would, in virtual time: a track's play
// time is what has been pulled of it.
class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        AudioOutput::setFactory([](PcmSource& source) { return std::make_unique<PulledOutput>(source); });
    }
    void TearDown() override { AudioOutput::setFactory({}); }

    // Plays `seconds` of the track that sounds last started.
    static void hear(double seconds) {
        std::vector<float> heard;
        PulledOutput::live->pullInto(heard, static_cast<std::size_t>(seconds * rate));
    }
    // Plays the track that sounds last started to its end, within `most` seconds; the frames heard.
    static std::uint64_t hearToEnd(double most = 10.0) {
        PulledOutput& output = *PulledOutput::live;
        const std::uint64_t start = output.playedFrames();
        std::vector<float> heard;
        while (!output.drained() && static_cast<double>(output.playedFrames() - start) < most * rate) {
            const std::uint64_t before = output.playedFrames();
            heard.clear();
            output.pullInto(heard);
            if (output.playedFrames() == before) {
                break;
            }
        }
        return output.playedFrames() - start;
    }

    fs::path tone(const std::u16string& name, double seconds, AudioFormat format = AudioFormat::Wav) {
        fs::path file = dir.path() / fs::path(name);
        writeToneFile(file, format, ToneShape{{ToneSegment{440.0, seconds}}, 44100, 2, 0.5});
        return file;
    }

    TempDir dir;
    const VirtualTime time;
};

TEST_F(MusicTest, NewTrackIsStoppedAtZeroWithNoPath) {
    const Music music;
    EXPECT_TRUE(music.isStopped());
    EXPECT_FALSE(music.isPlaying());
    EXPECT_FALSE(music.isPaused());
    EXPECT_EQ(music.getElapsedTime(), 0.0F);
    EXPECT_TRUE(music.getPath().empty());
    EXPECT_EQ(music.getVolume(), 100.0F);
}

TEST_F(MusicTest, OpenKeepsTheExactPathAndDurationButNoOpenFile) {
    const fs::path file = tone(u"a.wav", 0.5);
    Music music;
    const std::size_t filesBefore = openFileCount();

    ASSERT_TRUE(music.open(file.u16string()));

    EXPECT_EQ(openFileCount(), filesBefore);
    EXPECT_EQ(music.getPath(), file.u16string());
    EXPECT_NEAR(music.getDuration(), 0.5F, 1e-3F);
    EXPECT_TRUE(music.isStopped());
    EXPECT_EQ(music.getElapsedTime(), 0.0F);
    EXPECT_FALSE(music.isFinished());
}

// A track of a cue sheet is its part of the file: as long, heard as long, named as the sheet says.
TEST_F(MusicTest, ACueTrackIsItsPartOfTheFile) {
    const fs::path file = tone(u"album.wav", 2.0);
    struct Case {
        TrackSpan span;
        // Nothing: the track does not open.
        std::optional<double> seconds;
    };
    const std::vector<Case> cases{{{0, 75}, 1.0},
                                  {{75, std::nullopt}, 1.0},
                                  {{100, 1000}, 2.0 - 100.0 / 75},
                                  {{150, std::nullopt}, std::nullopt},
                                  {{200, 300}, std::nullopt}};
    for (const auto& [span, seconds] : cases) {
        Music music;
        TrackTags named;
        named.title = "Deux";
        ASSERT_EQ(music.open(file.u16string(), CueTrack{u"album.cue", 2, span, named}), seconds.has_value())
            << span.begin;
        if (!seconds) {
            continue;
        }
        EXPECT_NEAR(music.getDuration(), *seconds, 1e-4) << span.begin;
        EXPECT_EQ(music.getTags()->get().title, "Deux");
        music.playPause();
        music.seek(0.25F);
        EXPECT_NEAR(static_cast<double>(hearToEnd()) / rate, *seconds - 0.25, 1e-3) << span.begin;
    }
}

TEST_F(MusicTest, PauseFreezesThePlayTimeAndPlayGoesOnFromThere) {
    Music music;
    ASSERT_TRUE(music.open(tone(u"a.wav", 2.0).u16string()));

    music.playPause();
    EXPECT_TRUE(music.isPlaying());
    hear(0.15);

    music.playPause();
    EXPECT_TRUE(music.isPaused());
    const float frozen = music.getElapsedTime();
    EXPECT_NEAR(frozen, 0.15F, 1e-4F);
    VirtualTime::advance(100ms);
    hear(0.1);
    EXPECT_EQ(music.getElapsedTime(), frozen);
    EXPECT_TRUE(music.isPaused());

    music.playPause();
    EXPECT_TRUE(music.isPlaying());
    hear(0.1);
    EXPECT_NEAR(music.getElapsedTime(), frozen + 0.1F, 1e-4F);
    EXPECT_FALSE(music.isFinished());
}

// The stream's own end shows where it started: a resumed stream would run dry 0.6 s early. The file
// is long enough that its decoder is still reading it when paused.
TEST_F(MusicTest, StopWhilePausedRewindsAndTheNextPlayStartsAtTheBeginning) {
    Music music;
    ASSERT_TRUE(music.open(tone(u"a.wav", 2.0).u16string()));
    const std::size_t filesStopped = openFileCount();

    music.playPause();
    hear(0.6);
    music.playPause();
    EXPECT_GT(openFileCount(), filesStopped);

    music.stop();
    EXPECT_TRUE(music.isStopped());
    EXPECT_EQ(music.getElapsedTime(), 0.0F);
    EXPECT_EQ(openFileCount(), filesStopped);

    music.playPause();
    EXPECT_TRUE(music.isPlaying());
    EXPECT_EQ(hearToEnd(), 2 * rate);
    EXPECT_TRUE(music.isStopped());
    EXPECT_NEAR(music.getElapsedTime(), 2.0F, 1e-4F);
}

TEST_F(MusicTest, TrackThatRanOutStaysFinishedUntilStopped) {
    Music music;
    ASSERT_TRUE(music.open(tone(u"a.wav", 0.2).u16string()));

    music.playPause();
    EXPECT_FALSE(music.isFinished());
    hearToEnd();
    EXPECT_TRUE(music.isFinished());
    EXPECT_GE(music.getElapsedTime(), music.getDuration());
    EXPECT_TRUE(music.isStopped());

    // The play time holds at the length of what was heard rather than running on past it.
    const float ranOut = music.getElapsedTime();
    VirtualTime::advance(1s);
    EXPECT_EQ(music.getElapsedTime(), ranOut);
    EXPECT_NEAR(ranOut, 0.2F, 1e-3F);
    EXPECT_TRUE(music.isFinished());

    music.stop();
    EXPECT_EQ(music.getElapsedTime(), 0.0F);
    EXPECT_FALSE(music.isFinished());

    music.playPause();
    EXPECT_TRUE(music.isPlaying());
}

// A file with no audio in it would count as finished before it ever played and set the playlist
// moving by itself: it does not open.
TEST_F(MusicTest, FileWithNoAudioDoesNotOpen) {
    Music music;
    EXPECT_FALSE(music.open(tone(u"empty.wav", 0.0).u16string()));
    EXPECT_TRUE(music.getPath().empty());
    EXPECT_FALSE(music.isFinished());
}

TEST_F(MusicTest, EveryFormatOpensAndPlaysToItsEnd) {
    for (const AudioFormat format : allAudioFormats()) {
        SCOPED_TRACE(extensionOf(format));
        const fs::path file = dir.path() / ("tone" + extensionOf(format));
        writeToneFile(file, format, ToneShape{{ToneSegment{440.0, 0.4}}, 44100, 2, 0.5});
        Music music;
        ASSERT_TRUE(music.open(file.u16string()));
        EXPECT_NEAR(music.getDuration(), 0.4F, 0.01F);

        music.playPause();
        EXPECT_TRUE(music.isPlaying());
        hearToEnd();
        EXPECT_TRUE(music.isStopped());
        EXPECT_TRUE(music.isFinished());
        EXPECT_NEAR(music.getElapsedTime(), 0.4F, 0.01F);
        music.stop();
    }
}

TEST_F(MusicTest, NonAsciiPathsOpenPlayAndKeepTheirExactSpelling) {
    fs::create_directory(dir.path() / fs::path(u"Musique \u00E9t\u00E9"));
    for (const std::u16string name : {u"Musique \u00E9t\u00E9/Caf\u00E9.ogg", u"\u591C\u306E\u66F2.mp3",
                                      u"\U0001F3B5 song.flac", u"e\u0301te\u0301.wav"}) {
        const fs::path file = dir.path() / fs::path(name);
        const AudioFormat format = file.extension() == ".ogg"    ? AudioFormat::Ogg
                                   : file.extension() == ".mp3"  ? AudioFormat::Mp3
                                   : file.extension() == ".flac" ? AudioFormat::Flac
                                                                 : AudioFormat::Wav;
        writeToneFile(file, format, ToneShape{{ToneSegment{440.0, 0.3}}});
        Music music;
        ASSERT_TRUE(music.open(file.u16string())) << file;
        EXPECT_EQ(music.getPath(), file.u16string());
        music.playPause();
        EXPECT_TRUE(music.isPlaying()) << file;
        music.stop();
    }
}

TEST_F(MusicTest, PathsThatCannotNameAFileFailToOpen) {
    tone(u"a.wav", 0.1);
    std::u16string lone = (dir.path() / "a.wav").u16string();
    lone.insert(lone.size() - 4, 1, char16_t{0xD800});
    Music music;
    EXPECT_FALSE(music.open(lone));
    EXPECT_FALSE(music.open(std::u16string{char16_t{0xDC00}}));
    EXPECT_FALSE(music.open(u""));
    EXPECT_FALSE(music.open((dir.path() / "a.wav").u16string() + u'\0' + u"junk"));
    EXPECT_TRUE(music.getPath().empty());
}

TEST_F(MusicTest, BadFilesFailToOpenAndLeaveTheTrackAsItWas) {
    std::vector<fs::path> bad{dir.file("missing.wav"),
                              dir.file("folder.wav"),
                              dir.file("empty.wav"),
                              dir.file("notes.txt"),
                              dir.file("noise.mp3"),
                              dir.file("pipe.ogg"),
                              "/dev/null"};
    fs::create_directory(dir.file("folder.wav"));
    writeBytes(dir.file("empty.wav"), "");
    writeBytes(dir.file("notes.txt"), "Track list\n1. Intro\n2. Outro\n");
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(random());
    }
    writeBytes(dir.file("noise.mp3"), noise);
    ASSERT_EQ(mkfifo(dir.file("pipe.ogg").c_str(), 0600), 0);
    for (const AudioFormat format : allAudioFormats()) {
        const fs::path whole = dir.file("whole" + extensionOf(format));
        writeToneFile(whole, format, ToneShape{{ToneSegment{440.0, 0.5}}});
        bad.push_back(dir.file("header" + extensionOf(format)));
        writeBytes(bad.back(), readBytes(whole).substr(0, 24));
    }
    // A WAV whose format chunk is misnamed once crashed the player with a division by zero.
    std::string noFormat = readBytes(dir.file("whole.wav"));
    noFormat.replace(noFormat.find("fmt "), 4, "fmv ");
    bad.push_back(dir.file("noformat.wav"));
    writeBytes(bad.back(), noFormat);
    const fs::path good = tone(u"good.wav", 0.5);
    Music opened;
    ASSERT_TRUE(opened.open(good.u16string()));
    const std::size_t filesBefore = openFileCount();

    for (const fs::path& file : bad) {
        SCOPED_TRACE(file.string());
        Music fresh;
        EXPECT_FALSE(fresh.open(file.u16string()));
        EXPECT_TRUE(fresh.getPath().empty());
        EXPECT_EQ(fresh.getDuration(), 0.0F);
        EXPECT_FALSE(opened.open(file.u16string()));
        EXPECT_EQ(opened.getPath(), good.u16string());
        EXPECT_NEAR(opened.getDuration(), 0.5F, 1e-3F);
        EXPECT_EQ(openFileCount(), filesBefore);
    }
    opened.playPause();
    EXPECT_TRUE(opened.isPlaying());
}

TEST_F(MusicTest, OnlyChannelLayoutsThatCanSoundOpen) {
    for (const int channels : {1, 2, 3, 4, 5, 6, 8}) {
        SCOPED_TRACE(channels);
        const fs::path file = dir.file(std::to_string(channels) + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 0.5}}, 44100, channels, 0.5});
        Music music;
        const bool playable = channels != 3 && channels != 5;
        ASSERT_EQ(music.open(file.u16string()), playable);
        if (playable) {
            music.playPause();
            EXPECT_TRUE(music.isPlaying());
        }
    }
}

// Play sizes its buffers from the header: a rate no real file has would ask for gigabytes. Each
// header is a real WAV's with its rate fields rewritten.
TEST_F(MusicTest, RatesNoRealFileHasDoNotOpen) {
    struct Header {
        std::uint32_t rate;
        int channels;
        bool opens;
    };
    for (const Header header : {Header{256'000'000, 8, false}, Header{2'000'000'000, 1, false}, Header{0, 1, false},
                                Header{500, 1, false}, Header{8000, 1, true}, Header{768'000, 2, true}}) {
        SCOPED_TRACE(header.rate);
        const fs::path file = dir.file("rate.wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 0.1}}, 44100, header.channels, 0.5});
        std::string bytes = readBytes(file);
        const std::uint32_t byteRate = header.rate * 2U * static_cast<std::uint32_t>(header.channels);
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<std::size_t>(24 + i)] = static_cast<char>((header.rate >> (8 * i)) & 0xFFU);
            bytes[static_cast<std::size_t>(28 + i)] = static_cast<char>((byteRate >> (8 * i)) & 0xFFU);
        }
        writeBytes(file, bytes);
        Music music;
        EXPECT_EQ(music.open(file.u16string()), header.opens);
    }
}

TEST_F(MusicTest, FilesCutShortNeverCrashAndNeverStallWhenTheyOpen) {
    for (const AudioFormat format : allAudioFormats()) {
        SCOPED_TRACE(extensionOf(format));
        const fs::path whole = dir.file("whole" + extensionOf(format));
        writeToneFile(whole, format, ToneShape{{ToneSegment{440.0, 1.0}}});
        const std::string bytes = readBytes(whole);
        for (const std::size_t length : {bytes.size() / 10, bytes.size() / 2, bytes.size() - 1}) {
            const fs::path cut = dir.file("cut" + std::to_string(length) + extensionOf(format));
            writeBytes(cut, bytes.substr(0, length));
            Music music;
            if (!music.open(cut.u16string())) {
                continue;
            }
            EXPECT_GE(music.getDuration(), 0.0F);
            EXPECT_LE(music.getDuration(), 1.1F);
            music.playPause();
            EXPECT_LE(hearToEnd(2.0), rate * 11 / 10);
            EXPECT_TRUE(music.isFinished()) << "stalled at " << length << " bytes";
            music.stop();
        }
    }
}

TEST_F(MusicTest, FileGoneSincePlayCountsAsFinishedAtOnce) {
    const fs::path file = tone(u"a.wav", 1.0);
    Music music;
    ASSERT_TRUE(music.open(file.u16string()));
    fs::remove(file);

    const LogCapture log;
    music.playPause();
    EXPECT_TRUE(music.isStopped());
    EXPECT_TRUE(music.isFinished());
    EXPECT_EQ(music.getPath(), file.u16string());
    EXPECT_EQ(log.warningsWith("Passed over a track that no longer opens: " + file.string()), 1U);

    music.stop();
    EXPECT_FALSE(music.isFinished());
    tone(u"a.wav", 1.0);
    music.playPause();
    EXPECT_TRUE(music.isPlaying());
    EXPECT_FALSE(music.isFinished());
}

TEST_F(MusicTest, FileTurnedToGarbageSinceOpenCountsAsFinishedAtOnce) {
    const fs::path file = tone(u"a.wav", 1.0);
    Music music;
    ASSERT_TRUE(music.open(file.u16string()));
    writeBytes(file, "no longer audio");

    music.playPause();
    EXPECT_TRUE(music.isStopped());
    EXPECT_TRUE(music.isFinished());
}

TEST_F(MusicTest, TrackCanBeDestroyedWhilePlayingOrRightAfterStop) {
    const fs::path file = tone(u"a.wav", 1.0);
    const auto keepDevice = std::make_unique<Music>();
    const std::size_t filesBefore = openFileCount();
    {
        Music playing;
        ASSERT_TRUE(playing.open(file.u16string()));
        playing.playPause();
        hear(0.05);
    }
    {
        Music paused;
        ASSERT_TRUE(paused.open(file.u16string()));
        paused.playPause();
        paused.playPause();
        paused.stop();
    }
    EXPECT_EQ(openFileCount(), filesBefore);
}

TEST_F(MusicTest, OpeningAnotherFileStopsThePlayingOne) {
    Music music;
    ASSERT_TRUE(music.open(tone(u"long.wav", 2.0).u16string()));
    music.playPause();
    hear(0.05);

    const fs::path other = tone(u"short.wav", 0.5);
    ASSERT_TRUE(music.open(other.u16string()));
    EXPECT_TRUE(music.isStopped());
    EXPECT_EQ(music.getElapsedTime(), 0.0F);
    EXPECT_EQ(music.getPath(), other.u16string());
    EXPECT_NEAR(music.getDuration(), 0.5F, 1e-3F);
}

TEST_F(MusicTest, VolumeIsKeptWithinRangeWhetherPlayingOrNot) {
    Music music;
    ASSERT_TRUE(music.open(tone(u"a.wav", 1.0).u16string()));
    music.setVolume(50.0F);
    EXPECT_EQ(music.getVolume(), 50.0F);
    music.playPause();
    EXPECT_EQ(music.getVolume(), 50.0F);
    music.setVolume(30.0F);
    EXPECT_EQ(music.getVolume(), 30.0F);
    music.stop();
    EXPECT_EQ(music.getVolume(), 30.0F);

    music.setVolume(150.0F);
    EXPECT_EQ(music.getVolume(), 100.0F);
    music.setVolume(-5.0F);
    EXPECT_EQ(music.getVolume(), 0.0F);
}

// One audio source per stream and a limited number of them: only playing tracks may hold one.
TEST_F(MusicTest, ThousandOpenedTracksHoldNoFilesAndAnyOfThemPlays) {
    constexpr std::size_t trackCount = 1000;
    const fs::path original = tone(u"tone.wav", 2.0);
    std::vector<std::unique_ptr<Music>> tracks;
    for (std::size_t i = 0; i < trackCount; ++i) {
        const fs::path copy = dir.file("track" + std::to_string(i) + ".wav");
        fs::copy_file(original, copy);
        tracks.push_back(std::make_unique<Music>());
    }
    const std::size_t filesBefore = openFileCount();

    for (std::size_t i = 0; i < trackCount; ++i) {
        ASSERT_TRUE(tracks[i]->open(dir.file("track" + std::to_string(i) + ".wav").u16string())) << i;
    }
    EXPECT_EQ(openFileCount(), filesBefore);

    for (Music* track : {tracks[0].get(), tracks[499].get(), tracks[999].get()}) {
        track->playPause();
        hear(0.1);
        EXPECT_TRUE(track->isPlaying());
        EXPECT_NEAR(track->getElapsedTime(), 0.1F, 1e-4F);
        track->stop();
    }
    EXPECT_EQ(openFileCount(), filesBefore);
}

} // namespace

} // namespace zalvo
