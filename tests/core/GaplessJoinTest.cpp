#include "FfmpegEncode.h"
#include "FileOpenCounter.h"
#include "PulledPlayListFixture.h"
#include "output/AudioOutput.h"
#include "pcm/PcmSource.h"
#include "playlist/CueTrack.h"
#include "playlist/Music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <numbers>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

// One block as the fixtures hold their samples, in steps of a 16-bit sample.
void pullInto(std::vector<std::int16_t>& heardSamples, std::size_t frames = PulledOutput::blockFrames) {
    std::vector<float> block;
    PulledOutput::live->pullInto(block, frames);
    std::transform(block.begin(), block.end(), std::back_inserter(heardSamples),
                   [](float sample) { return static_cast<std::int16_t>(std::lround(sample * 32768.0F)); });
}

constexpr int rate = 44100;
constexpr double frequency = 441.0; // a period of exactly 100 samples
constexpr double amplitude = 0.5;

double sine(std::size_t i) {
    return amplitude * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
}

class GaplessJoinTest : public PulledPlayListFixture {
protected:
    // One continuous sine cut at the given frames into consecutive files, added in order.
    void addSineCutAt(const std::vector<std::size_t>& cuts, AudioFormat format) {
        for (std::size_t part = 0; part + 1 < cuts.size(); ++part) {
            std::vector<float> frames;
            for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) {
                frames.push_back(static_cast<float>(sine(i)));
            }
            const auto file = dir.file("part" + std::to_string(part) + extensionOf(format));
            writeAudioFile(file, format, frames, rate);
            ASSERT_TRUE(playList.addMusic(file.u16string()));
        }
    }

    // Plays from the first track, ticking between blocks as the window's timer would, until the
    // stream ends or `frames` have been heard.
    std::vector<std::int16_t> playFromFirst(std::size_t frames, std::size_t blockFrames = PulledOutput::blockFrames) {
        std::vector<std::int16_t> heard;
        slowestStep = {};
        PlayList::Position first = positionAt(0);
        playList.playAt(first);
        while (PulledOutput::live != nullptr && !PulledOutput::live->drained() && heard.size() < frames) {
            const auto before = std::chrono::steady_clock::now();
            pullInto(heard, blockFrames);
            playList.advanceIfFinished();
            slowestStep = std::max(slowestStep, std::chrono::steady_clock::now() - before);
        }
        return heard;
    }

    // The longest pull and tick of the last play.
    std::chrono::steady_clock::duration slowestStep{};

    static std::string readAll(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Where the heard stream departs from the sine, or its length when it never does.
    static std::size_t firstDeparture(const std::vector<std::int16_t>& heard) {
        for (std::size_t i = 0; i < heard.size(); ++i) {
            if (std::abs(heard[i] - std::lround(sine(i) * 32768.0)) > 1) {
                return i;
            }
        }
        return heard.size();
    }
};

struct JoinCase {
    const char* name;
    AudioFormat format;
    bool repeat;
    bool shuffle;
    std::vector<std::size_t> cuts;
    std::size_t framesHeard;
};

class LosslessJoin : public GaplessJoinTest, public ::testing::WithParamInterface<JoinCase> {};

// A lossless sine cut at odd frames comes out whole: every sample of every part, in order, with
// nothing between them, whether the next entry follows, the first one under repeat, or the only
// other one under shuffle.
TEST_P(LosslessJoin, SineComesOutWhole) {
    const JoinCase& join = GetParam();
    setRepeat(join.repeat);
    setShuffle(join.shuffle);
    addSineCutAt(join.cuts, join.format);

    const std::vector<std::int16_t> heard = playFromFirst(join.framesHeard);

    EXPECT_GE(heard.size(), join.framesHeard);
    EXPECT_EQ(firstDeparture(heard), heard.size());
}

INSTANTIATE_TEST_SUITE_P(
    Joins, LosslessJoin,
    ::testing::Values(JoinCase{"NextWav", AudioFormat::Wav, false, false, {0, 6001, 12007, 18000}, 18000},
                      JoinCase{"NextFlac", AudioFormat::Flac, false, false, {0, 6001, 12007, 18000}, 18000},
                      JoinCase{"RepeatWav", AudioFormat::Wav, true, false, {0, 6001, 12007, 18000}, 45000},
                      JoinCase{"RepeatFlac", AudioFormat::Flac, true, false, {0, 6001, 12007, 18000}, 45000},
                      JoinCase{"ShuffleWav", AudioFormat::Wav, false, true, {0, 7013, 12000}, 40000},
                      JoinCase{"ShuffleFlac", AudioFormat::Flac, false, true, {0, 7013, 12000}, 40000}),
    [](const ::testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

// The tracks of a cue sheet cut one file: they play it whole, each its own length, the decoder of one
// going on into the next.
TEST_F(GaplessJoinTest, CueTracksOfOneFileJoinToTheSampleAtTheirOwnLengths) {
    constexpr std::size_t length = 3 * rate;
    std::vector<float> frames(length);
    for (std::size_t i = 0; i < length; ++i) {
        frames[i] = static_cast<float>(sine(i));
    }
    const auto file = dir.file("album.flac");
    writeAudioFile(file, AudioFormat::Flac, frames, rate);
    const std::vector<TrackSpan> spans{{0, 61}, {61, 140}, {140, std::nullopt}};
    std::vector<std::unique_ptr<Music>> tracks;
    for (const TrackSpan& span : spans) {
        tracks.push_back(std::make_unique<Music>());
        ASSERT_TRUE(tracks.back()->open(file.u16string(), CueTrack{u"album.cue", 1, span, {}}));
    }
    const std::vector<double> lengths{61.0 / 75, 79.0 / 75, 3.0 - 140.0 / 75};
    for (std::size_t track = 0; track < tracks.size(); ++track) {
        EXPECT_FLOAT_EQ(tracks[track]->getDuration(), static_cast<float>(lengths[track])) << track;
    }
    playList.appendTracks(std::move(tracks));
    // Without loudness, nothing reads the tags: each open is a decoder's.
    AudioConfig::getInstance()->setReplayGainMode(ReplayGain::Mode::Off);
    FileOpenCounter counter(file);

    const std::vector<std::int16_t> heard = playFromFirst(length + rate);
    AudioConfig::getInstance()->setReplayGainMode(ReplayGain::Mode::Auto);

    EXPECT_EQ(heard.size(), length);
    EXPECT_EQ(firstDeparture(heard), heard.size());
    EXPECT_EQ(counter.opens(), 1);
}

// Tracks shorter than what the output pulls at once (the sound server's lead is 0.8 s) join as
// seamlessly as long ones: one request runs through several of them.
TEST_F(GaplessJoinTest, TracksShorterThanTheLeadJoinWhole) {
    constexpr std::size_t lead = 35280;
    for (const std::size_t length : {13230U, 22050U}) {
        SCOPED_TRACE(length);
        playList.clear();
        std::vector<std::size_t> cuts;
        for (std::size_t part = 0; part <= 8; ++part) {
            cuts.push_back(part * length);
        }
        addSineCutAt(cuts, AudioFormat::Wav);
        const std::vector<std::int16_t> heard = playFromFirst(1'000'000, lead);
        EXPECT_EQ(heard.size(), 8 * length);
        EXPECT_EQ(firstDeparture(heard), heard.size());
    }
}

// The output decodes ahead as soon as it opens, before the first tick: a first track shorter than what
// it takes at once runs on into the next all the same.
TEST_F(GaplessJoinTest, FirstTrackShorterThanWhatTheOutputTakesAtOpenJoins) {
    addSineCutAt({0, 6001, 12007, 18000}, AudioFormat::Wav);
    std::vector<std::int16_t> heard;
    AudioOutput::setFactory([&heard](PcmSource& source) {
        auto output = std::make_unique<PulledOutput>(source);
        output->play();
        pullInto(heard, 8192);
        output->pause();
        return output;
    });

    const std::vector<std::int16_t> rest = playFromFirst(18000);
    heard.insert(heard.end(), rest.begin(), rest.end());

    EXPECT_EQ(heard.size(), 18000U);
    EXPECT_EQ(firstDeparture(heard), heard.size());
}

// A follower that is no longer a file when its turn comes (a FIFO, which would block its opening, a
// directory or a device, which never end) is passed over at once: the stream goes on into the next.
TEST_F(GaplessJoinTest, FollowerThatIsNoLongerAFileIsPassedOver) {
    const std::vector<std::pair<const char*, void (*)(const std::filesystem::path&)>> replacements{
        {"FIFO", [](const std::filesystem::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
        {"directory", [](const std::filesystem::path& file) { std::filesystem::create_directory(file); }},
        {"device", [](const std::filesystem::path& file) { std::filesystem::create_symlink("/dev/zero", file); }}};
    for (const auto& [kind, replace] : replacements) {
        SCOPED_TRACE(kind);
        playList.clear();
        addSineCutAt({0, 6001, 12007, 18000}, AudioFormat::Wav);
        const std::filesystem::path follower(track(1).getPath());
        std::filesystem::remove(follower);
        replace(follower);

        const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
        std::cout << "[ measured ] slowest pull and tick past a " << kind << ": "
                  << std::chrono::duration<double, std::milli>(slowestStep).count() << " ms\n";
        // Opening a FIFO would block for ever: the bound only has to stay clear of a loaded machine.
        EXPECT_LT(slowestStep, std::chrono::seconds(1));
        ASSERT_EQ(heard.size(), 6001U + 5993U);
        const std::vector<std::int16_t> first(heard.begin(), heard.begin() + 6001);
        EXPECT_EQ(firstDeparture(first), first.size());
        EXPECT_LE(std::abs(heard[6001] - std::lround(sine(12007) * 32768.0)), 1);
        EXPECT_LE(std::abs(heard.back() - std::lround(sine(17999) * 32768.0)), 1);
        std::filesystem::remove(follower);
    }
}

// The stream ends where the last part's audio does: the total is the sum of the parts.
TEST_F(GaplessJoinTest, StreamEndsWithTheLastSampleOfTheList) {
    addSineCutAt({0, 6001, 12007, 18000}, AudioFormat::Wav);
    const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
    EXPECT_EQ(heard.size(), 18000U);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_TRUE(track(0).isStopped());
}

// A streamed FLAC says nothing of its length, and a WAV whose writer never filled in its data size
// declares none. Left unplayed such a track never counts as finished, so the tick starts nothing;
// played, it sounds whole and its length comes to light.
TEST_F(GaplessJoinTest, TrackWithoutDeclaredLengthWaitsForPlayAndPlaysWhole) {
    for (const AudioFormat format : {AudioFormat::Flac, AudioFormat::Wav}) {
        SCOPED_TRACE(extensionOf(format));
        playList.clear();
        addSineCutAt({0, 30011, 36000}, format);
        const auto first = std::filesystem::path(track(0).getPath());
        std::string bytes = readAll(first);
        if (format == AudioFormat::Flac) {
            // STREAMINFO's 36-bit sample total: the low nibble of byte 21 and bytes 22 to 25.
            bytes[21] = static_cast<char>(bytes[21] & 0xF0);
            std::fill(bytes.begin() + 22, bytes.begin() + 26, '\0');
        } else {
            std::fill(bytes.begin() + 40, bytes.begin() + 44, '\0');
        }
        std::ofstream(first, std::ios::binary | std::ios::trunc) << bytes;
        const std::u16string second = track(1).getPath();
        playList.clear();
        ASSERT_TRUE(playList.addMusic(first.u16string()));
        ASSERT_TRUE(playList.addMusic(second));
        EXPECT_EQ(track(0).getDuration(), 0.0F);

        for (int tick = 0; tick < 3; ++tick) {
            playList.advanceIfFinished();
        }
        EXPECT_EQ(PulledOutput::live, nullptr);

        const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
        EXPECT_EQ(heard.size(), 36000U);
        EXPECT_EQ(firstDeparture(heard), heard.size());
        EXPECT_NEAR(track(0).getDuration(), 30011.0F / rate, 1e-4F);
    }
}

// A file cut short while it plays ends where its data now ends, and the list moves on from there.
TEST_F(GaplessJoinTest, FileCutWhilePlayingEndsWhereItsDataEnds) {
    addSineCutAt({0, 40000, 44100}, AudioFormat::Wav);
    PlayList::Position first = positionAt(0);
    playList.playAt(first);
    std::vector<std::int16_t> heard;
    pullInto(heard);
    std::filesystem::resize_file(track(0).getPath(), 44 + 2 * 10000);
    while (PulledOutput::live != nullptr && !PulledOutput::live->drained()) {
        pullInto(heard);
        playList.advanceIfFinished();
    }
    EXPECT_EQ(heard.size(), 10000U + 4100U);
}

// A track of another rate and channel count still follows: the stream changes format between them.
TEST_F(GaplessJoinTest, TrackInAnotherFormatFollowsAfterAFormatChange) {
    addSineCutAt({0, 5000}, AudioFormat::Wav);
    const auto stereo = dir.file("stereo.wav");
    writeAudioFile(stereo, AudioFormat::Wav, std::vector<float>(2 * 3000, 0.25F), 48000, 2);
    ASSERT_TRUE(playList.addMusic(stereo.u16string()));

    const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
    EXPECT_EQ(heard.size(), 5000U + 2 * 3000U);
    EXPECT_EQ(currentIndex(), 0U);
}

// A seek moves the stream and the play time together on the same output, keeping the track playing
// or paused.
TEST_F(GaplessJoinTest, SeekGoesOnFromTheFrameAskedFor) {
    addSineCutAt({0, 20000}, AudioFormat::Wav);
    PlayList::Position first = positionAt(0);
    playList.playAt(first);
    std::vector<std::int16_t> heard;
    pullInto(heard);
    const PulledOutput* output = PulledOutput::live;

    track(0).seek(0.1F);
    EXPECT_EQ(PulledOutput::live, output);
    EXPECT_TRUE(track(0).isPlaying());
    EXPECT_NEAR(track(0).getElapsedTime(), 0.1F, 1e-4F);
    std::vector<std::int16_t> after;
    pullInto(after);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front(), std::lround(sine(4410) * 32768.0));

    track(0).playPause();
    track(0).seek(0.3F);
    EXPECT_TRUE(track(0).isPaused());
    EXPECT_NEAR(track(0).getElapsedTime(), 0.3F, 1e-4F);
}

// A streamed FLAC gives no length: a seek goes on from the frame asked for within it, decoding
// forward where the file cannot seek, and a seek past its end leaves it playing where it was.
TEST_F(GaplessJoinTest, SeekWithinATrackOfUnknownLength) {
    addSineCutAt({0, 132300, 140000}, AudioFormat::Flac);
    const auto first = std::filesystem::path(track(0).getPath());
    std::string bytes = readAll(first);
    bytes[21] = static_cast<char>(bytes[21] & 0xF0);
    std::fill(bytes.begin() + 22, bytes.begin() + 26, '\0');
    std::ofstream(first, std::ios::binary | std::ios::trunc) << bytes;
    const std::u16string second = track(1).getPath();
    playList.clear();
    ASSERT_TRUE(playList.addMusic(first.u16string()));
    ASSERT_TRUE(playList.addMusic(second));
    PlayList::Position start = positionAt(0);
    playList.playAt(start);
    std::vector<std::int16_t> heard;
    pullInto(heard);

    track(0).seek(2.0F);
    EXPECT_TRUE(track(0).isPlaying());
    EXPECT_FALSE(track(0).isFinished());
    EXPECT_NEAR(track(0).getElapsedTime(), 2.0F, 1e-4F);
    std::vector<std::int16_t> after;
    pullInto(after);
    ASSERT_FALSE(after.empty());
    EXPECT_LE(std::abs(after.front() - std::lround(sine(88200) * 32768.0)), 1);

    track(0).seek(10.0F);
    EXPECT_TRUE(track(0).isPlaying());
    EXPECT_GT(track(0).getElapsedTime(), 2.0F);
    EXPECT_EQ(currentIndex(), 0U);
}

// Lossy codecs pad and trim their frames: the silence measured at their joins is reported.
TEST_F(GaplessJoinTest, LossyJoinsAreMeasured) {
    for (const AudioFormat format : {AudioFormat::Ogg, AudioFormat::Mp3}) {
        playList.clear();
        addSineCutAt({0, 22050, 44100}, format);
        const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
        std::size_t longestQuiet = 0;
        std::size_t quiet = 0;
        for (std::size_t i = 11025; i + 11025 < heard.size(); ++i) {
            quiet = std::abs(heard[i]) < 64 ? quiet + 1 : 0;
            longestQuiet = std::max(longestQuiet, quiet);
        }
        std::cout << extensionOf(format) << ": " << heard.size() << " frames for 44100, longest silence "
                  << static_cast<double>(longestQuiet) * 1000.0 / rate << " ms\n";
        EXPECT_GT(heard.size(), 40000U);
    }
}

struct LossyJoin {
    const char* name;
    AudioFormat format;
    // ffmpeg's options to encode each part from a WAV, or none for libsndfile to write it.
    const char* ffmpegOptions;
    const char* extension;
};

class LossyJoinTest : public GaplessJoinTest, public ::testing::WithParamInterface<LossyJoin> {};

// Lossy parts carry their encoder's delay and padding; trimmed, a sine cut at odd frames and encoded
// part by part joins without silence, and lasts as long as the source.
TEST_P(LossyJoinTest, PartsJoinWithoutSilenceAtTheSourceLength) {
    const LossyJoin& join = GetParam();
    const std::vector<std::size_t> cuts{0, 22051, 44117, 66150};
    for (std::size_t part = 0; part + 1 < cuts.size(); ++part) {
        std::vector<float> frames;
        for (std::size_t i = cuts[part]; i < cuts[part + 1]; ++i) {
            frames.push_back(static_cast<float>(sine(i)));
        }
        const auto name = "part" + std::to_string(part);
        auto file = dir.file(name + extensionOf(join.format));
        writeAudioFile(file, join.format, frames, rate);
        if (join.ffmpegOptions != nullptr) {
            const auto encoded = dir.file(name + join.extension);
            encodeWithFfmpeg(file, encoded, join.ffmpegOptions);
            file = encoded;
        }
        ASSERT_TRUE(playList.addMusic(file.u16string()));
    }
    const std::vector<std::int16_t> heard = playFromFirst(1'000'000);
    std::size_t longestQuiet = 0;
    std::size_t quiet = 0;
    for (std::size_t i = 2205; i + 2205 < heard.size(); ++i) {
        quiet = std::abs(heard[i]) < 64 ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    std::cout << join.name << ": " << heard.size() << " frames for " << cuts.back() << ", longest silence "
              << static_cast<double>(longestQuiet) * 1000.0 / rate << " ms\n";
    EXPECT_LE(longestQuiet, static_cast<std::size_t>(rate / 1000));
    EXPECT_NEAR(static_cast<double>(heard.size()), static_cast<double>(cuts.back()), rate / 500.0);
}

INSTANTIATE_TEST_SUITE_P(Codecs, LossyJoinTest,
                         ::testing::Values(LossyJoin{"AacInMp4", AudioFormat::Wav, "-c:a aac", ".m4a"},
                                           LossyJoin{"Mp3", AudioFormat::Mp3, nullptr, nullptr}),
                         [](const ::testing::TestParamInfo<LossyJoin>& info) { return std::string(info.param.name); });

// An edit of the list while a track sounds, made as the manager and a drop make them (through the
// list, under the playlist's lock), is heard: the stream goes on with what the list now says follows.
TEST_F(GaplessJoinTest, EditsOfTheListAheadOfTheSoundingTrackAreHeard) {
    struct Edit {
        const char* what;
        std::function<void(PlayList::TrackList&, PlayList::Position sounding, std::unique_ptr<Music> extra)> edit;
        std::vector<int> heard;
    };
    const std::vector<Edit> edits{
        {"B moved to the end",
         [](auto& list, auto, auto) { list.splice(list.end(), list, std::next(list.begin())); },
         {0, 2, 3, 1}},
        {"B deleted", [](auto& list, auto, auto) { list.erase(std::next(list.begin())); }, {0, 2, 3}},
        {"one inserted after the sounding track",
         [](auto& list, auto sounding, auto extra) { list.insert(std::next(sounding), std::move(extra)); },
         {0, 4, 1, 2, 3}},
        {"one inserted before it",
         [](auto& list, auto sounding, auto extra) { list.insert(sounding, std::move(extra)); },
         {0, 1, 2, 3}},
        {"the sounding track moved after C",
         [](auto& list, auto sounding, auto) { list.splice(std::next(list.begin(), 3), list, sounding); },
         {0, 3}},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        playList.clear();
        // Each track a level of its own, as long as the stream's lead, so that the plan is made before
        // the edit.
        for (int level = 0; level <= 4; ++level) {
            const auto file = dir.file("level" + std::to_string(level) + ".wav");
            writeAudioFile(file, AudioFormat::Wav, std::vector<float>(2 * rate, 0.1F * static_cast<float>(level + 1)),
                           rate);
            ASSERT_TRUE(level == 4 || playList.addMusic(file.u16string()));
        }
        auto extra = std::make_unique<Music>();
        ASSERT_TRUE(extra->open(dir.file("level4.wav").u16string()));

        PlayList::Position first = positionAt(0);
        playList.playAt(first);
        std::vector<std::int16_t> heard;
        pullInto(heard);
        playList.advanceIfFinished();
        {
            const std::scoped_lock lock(playList.mutex);
            edit.edit(*playList.getList(), playList.getCurrentPosition(), std::move(extra));
        }
        while (PulledOutput::live != nullptr && !PulledOutput::live->drained()) {
            pullInto(heard);
            playList.advanceIfFinished();
        }
        std::vector<int> levels;
        for (const std::int16_t sample : heard) {
            const int level = static_cast<int>(std::lround(sample / (0.1 * 32768.0))) - 1;
            if (levels.empty() || levels.back() != level) {
                levels.push_back(level);
            }
        }
        EXPECT_EQ(levels, edit.heard);
    }
}

} // namespace

} // namespace zalvo
