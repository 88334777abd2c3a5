#include "output/PulseOutput.h"

#include "LogCapture.h"
#include "MonitorCapture.h"
#include "PulseServer.h"
#include "SweepSource.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "output/FallbackOutput.h"
#include "pcm/PcmSource.h"
#include "playlist/Music.h"
#include "playlist/PlayList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zalvo {

// These tests play into a private PulseAudio with silent sinks and listen to them through their
// monitors. They report the latencies they measure, and assert only bounds well above the targets.
namespace {

using namespace std::chrono_literals;
using Clock = MonitorCapture::Clock;

long long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

void report(const std::string& what, long long milliseconds) {
    std::cout << "[ measured ] " << what << ": " << milliseconds << " ms\n";
    ::testing::Test::RecordProperty(what, std::to_string(milliseconds));
}

// Lets the machine's own outputs be chosen: the tests' environment names OpenAL Soft's silent device.
class MachineOutputs final {
public:
    MachineOutputs() {
        if (const char* drivers = std::getenv("ALSOFT_DRIVERS")) {
            saved = drivers;
        }
        unsetenv("ALSOFT_DRIVERS");
    }
    ~MachineOutputs() {
        if (saved) {
            setenv("ALSOFT_DRIVERS", saved->c_str(), 1);
        }
    }
    MachineOutputs(const MachineOutputs&) = delete;
    MachineOutputs& operator=(const MachineOutputs&) = delete;

private:
    std::optional<std::string> saved;
};

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PulseServer::available()) {
            GTEST_SKIP() << "no pulseaudio on this machine";
        }
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
    ASSERT_TRUE(server.start());
    MonitorCapture capture("nullsink");
    SweepSource source;
    // A stream is opened on every play from a stop, so the connection counts in the time to sound.
    const Clock::time_point played = Clock::now();
    auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
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

    // Stop ends the stream, with what the server still held of it.
    output->play();
    ASSERT_TRUE(capture.louderAfter(Clock::now(), 0.1F));
    const Clock::time_point stopped = Clock::now();
    output.reset();
    const auto ended = capture.quieterAfter(stopped, 0.01F);
    ASSERT_TRUE(ended);
    report("stop to silence", millisecondsBetween(stopped, *ended));
    EXPECT_LT(*ended - stopped, 500ms);
}

TEST_F(PulseOutputTest, TheServerIsUsedUnlessOpenAlSoftIsToldWhichDeviceToUse) {
    ASSERT_TRUE(server.start());
    SweepSource source;
    for (const bool openAlNamed : {true, false}) {
        const char* drivers = std::getenv("ALSOFT_DRIVERS");
        const std::string saved = drivers != nullptr ? drivers : "";
        if (openAlNamed) {
            setenv("ALSOFT_DRIVERS", "null", 1);
        } else {
            unsetenv("ALSOFT_DRIVERS");
        }
        const auto output = AudioOutput::create(source);
        EXPECT_EQ(dynamic_cast<PulseOutput*>(output.get()) != nullptr, !openAlNamed);
        EXPECT_EQ(AudioOutput::holdDevice() != nullptr, openAlNamed);
        if (drivers != nullptr) {
            setenv("ALSOFT_DRIVERS", saved.c_str(), 1);
        }
    }
}

// Stands for a track whose tags, or whose station, take a while to come: it tells whether it was read
// before it was ready.
class SlowToPrepare final : public PcmSource {
public:
    void prepare() override {
        // Longer than connecting to the server takes: the output is connected well before.
        std::this_thread::sleep_for(300ms);
        prepared = true;
    }
    PcmFormat format() const override { return sweep.format(); }
    std::size_t read(std::span<PcmSample> samples) override {
        readEarly = readEarly || !prepared;
        const std::size_t got = sweep.read(samples);
        frames += got;
        return got;
    }

    std::atomic<bool> prepared = false;
    std::atomic<bool> readEarly = false;
    std::atomic<std::uint64_t> frames = 0;

private:
    SweepSource sweep;
};

TEST_F(PulseOutputTest, TheMachinesOutputPullsFromItsSourceOnlyOncePrepared) {
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    SlowToPrepare source;
    const auto output = AudioOutput::create(source);
    ASSERT_NE(dynamic_cast<PulseOutput*>(output.get()), nullptr);
    EXPECT_TRUE(source.prepared);
    output->play();
    const auto deadline = Clock::now() + 5s;
    while (source.frames == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GT(source.frames, 0U);
    EXPECT_FALSE(source.readEarly);
}

TEST_F(PulseOutputTest, FollowsTheDefaultOutputAndCanBeMoved) {
    ASSERT_TRUE(server.start());
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
    const LogCapture log;
    ASSERT_TRUE(server.start());
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
    EXPECT_EQ(log.warningsWith("The sound server went away"), 1U) << "looking for it again is not news";

    ASSERT_TRUE(server.start());
    const Clock::time_point back = Clock::now();
    while (!output->streaming() && Clock::now() - back < 5s) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(output->streaming());
    report("server back to stream on it", millisecondsBetween(back, Clock::now()));
    EXPECT_LT(Clock::now() - back, 2s);

    // A fresh null sink may first sleep through a long block; the pitch, not the time, tells where it went on.
    // The sink mixes a second at a time, so a monitor opened once the stream is back may miss up to a second
    // of it; what was sent and not heard would come back two seconds later still.
    MonitorCapture capture("nullsink");
    const auto sounding = capture.louderAfter(back, 0.3F, 5s);
    ASSERT_TRUE(sounding) << "no sound after the server came back";
    const double resumedAt = SweepSource::secondsOf(capture.samplesFrom(*sounding + 20ms, 0.1), MonitorCapture::rate);
    const double held = static_cast<double>(heldAt) / 44100.0;
    EXPECT_GT(resumedAt, held - 0.5);
    EXPECT_LT(resumedAt, held + 1.5);
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(output->playedFrames(), heldAt);
}

TEST_F(PulseOutputTest, OpensANewStreamWhenTheServerEndedItsStream) {
    const LogCapture log;
    ASSERT_TRUE(server.start());
    SweepSource source;
    const auto output = PulseOutput::connect(source);
    ASSERT_NE(output, nullptr);
    output->play();
    std::this_thread::sleep_for(500ms);

    // With no sink left to move to, the server ends the stream.
    ASSERT_FALSE(server.pactl("unload-module module-null-sink").empty());
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(output->streaming());
    EXPECT_EQ(log.warningsWith("The sound server ended the stream"), 1U) << "each failed retry reported";
    ASSERT_FALSE(server.pactl("load-module module-null-sink sink_name=nullsink").empty());
    MonitorCapture capture("nullsink");
    EXPECT_TRUE(capture.louderAfter(Clock::now(), 0.3F)) << "no new stream";
}

TEST_F(PulseOutputTest, DrainsEveryFrameAcrossAFormatChange) {
    ASSERT_TRUE(server.start());
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

// Stands in for the sound card: pulls half a second at play and has heard half of it.
class QueueingOutput final : public AudioOutput {
public:
    explicit QueueingOutput(PcmSource& source) : source(source) {}
    void play() override {
        std::vector<float> queued(22050);
        source.read(queued);
    }
    void pause() override {}
    void setGain(float /*gain*/) override {}
    void followSeek() override {}
    std::uint64_t playedFrames() const override { return 11025; }
    bool drained() const override { return false; }

private:
    PcmSource& source;
};

TEST_F(PulseOutputTest, MovesToAServerThatAppearsLater) {
    SweepSource source;
    FallbackOutput output(
        source, [](PcmSource& local) { return std::make_unique<QueueingOutput>(local); }, 100ms);
    output.play();
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(output.onServer());
    EXPECT_EQ(output.playedFrames(), 11025U);

    ASSERT_TRUE(server.start());
    const Clock::time_point appeared = Clock::now();
    MonitorCapture capture("nullsink");
    while (!output.onServer() && Clock::now() - appeared < 5s) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(output.onServer());
    // What the sound card had queued is skipped, and counted as heard.
    EXPECT_GE(output.playedFrames(), 22050U);
    const auto sounding = capture.louderAfter(appeared, 0.3F, 5s);
    ASSERT_TRUE(sounding);
    // Half a second in, give or take the look's period; the monitor may miss the sink's first second, mixed
    // before it connected.
    const double goesOnAt = SweepSource::secondsOf(capture.samplesFrom(*sounding + 20ms, 0.1), MonitorCapture::rate);
    EXPECT_GT(goesOnAt, 0.3);
    EXPECT_LT(goesOnAt, 1.7);
}

// A frozen server (stopped, not dead) holds no control and no change of track: the outputs are
// opened, fallen back from and closed off the caller's thread. Frozen past the connection's
// deadline, the fallback is tried while it is frozen too.
TEST_F(PulseOutputTest, ControlsNeverWaitOnAFrozenServer) {
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    std::array<Music, 2> tracks;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto file = folder.path() / ("tone" + std::to_string(i) + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 20.0}}, 44100, 1, 0.5});
        ASSERT_TRUE(tracks.at(i).open(file.u16string()));
    }
    tracks[0].playPause();
    const Clock::time_point started = Clock::now();
    while (tracks[0].getElapsedTime() < 0.3F && Clock::now() - started < 5s) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GT(tracks[0].getElapsedTime(), 0.3F);

    server.freeze();
    Clock::duration slowest{};
    const auto timed = [&slowest](const auto& control) {
        const Clock::time_point before = Clock::now();
        control();
        slowest = std::max(slowest, Clock::now() - before);
    };
    std::size_t playing = 0;
    for (const Clock::time_point frozen = Clock::now(); Clock::now() - frozen < 3s;) {
        Music& track = tracks.at(playing);
        timed([&track] { track.seek(5.0F); });
        timed([&track] { track.playPause(); });
        timed([&track] { track.playPause(); });
        timed([&track] { static_cast<void>(track.getElapsedTime() + static_cast<float>(track.isFinished())); });
        playing = 1 - playing;
        timed([&track, &next = tracks.at(playing)] {
            track.stop();
            next.playPause();
        });
        std::this_thread::sleep_for(100ms);
    }
    server.thaw();
    report("slowest control while the server is frozen",
           std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count());
    // Any control that waited on the server would wait out the freeze; the 100 ms answer is measured
    // above and by the benchmarks, the bound here only keeps a loaded machine from failing the test.
    EXPECT_LT(slowest, 1s);

    const Clock::time_point thawed = Clock::now();
    while (tracks.at(playing).getElapsedTime() < 1.0F && Clock::now() - thawed < 10s) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_GE(tracks.at(playing).getElapsedTime(), 1.0F) << "no sound once the server went on";
}

// A seek is heard at its new place soon, on the connection the track was already playing on.
TEST_F(PulseOutputTest, SeekIsHeardSoonOnTheSameConnection) {
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    MonitorCapture capture("nullsink");
    const auto file = folder.path() / "sweep.wav";
    SweepSource sweep;
    std::vector<float> samples(std::size_t{10} * 44100);
    sweep.read(samples);
    writeAudioFile(file, AudioFormat::Wav, samples, 44100, 1);
    Music track;
    ASSERT_TRUE(track.open(file.u16string()));
    track.playPause();
    ASSERT_TRUE(capture.louderAfter(Clock::now(), 0.3F));
    std::this_thread::sleep_for(500ms);
    const auto connections = [this] {
        const std::string clients = server.pactl("list clients");
        std::size_t count = 0;
        for (std::size_t at = clients.find("application.name = \"Zalvo\""); at != std::string::npos;
             at = clients.find("application.name = \"Zalvo\"", at + 1)) {
            ++count;
        }
        return count;
    };
    const std::size_t connectedBefore = connections();
    EXPECT_EQ(connectedBefore, 1U);

    const Clock::time_point sought = Clock::now();
    track.seek(7.0F);
    EXPECT_NEAR(track.getElapsedTime(), 7.0F, 0.05F);
    std::optional<Clock::time_point> heardThere;
    for (Clock::time_point window = sought; !heardThere && window < sought + 2s; window += 10ms) {
        if (SweepSource::secondsOf(capture.samplesFrom(window, 0.02), MonitorCapture::rate) > 6.5) {
            heardThere = window;
        }
    }
    ASSERT_TRUE(heardThere) << "the seek was not heard";
    report("seek to its new place heard", millisecondsBetween(sought, *heardThere));
    EXPECT_LT(*heardThere - sought, 500ms);
    EXPECT_NEAR(SweepSource::secondsOf(capture.samplesFrom(*heardThere + 200ms, 0.1), MonitorCapture::rate), 7.25, 0.2);
    EXPECT_EQ(connections(), connectedBefore);
    EXPECT_NEAR(track.getElapsedTime(), 7.0F + std::chrono::duration<float>(Clock::now() - *heardThere).count(), 0.15F);
}

// Tracks shorter than the server's lead join without a silence: heard through the server, ticked as
// the window's timer does.
TEST_F(PulseOutputTest, ShortTracksJoinWithoutSilence) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer slows opening the next track past real time: joins are heard in the plain build";
#endif
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    MonitorCapture capture("nullsink");
    PlayList playList;
    double total = 0.0;
    for (int i = 0; i < 8; ++i) {
        const double seconds = i % 2 == 0 ? 0.3 : 0.5;
        const auto file = folder.path() / ("short" + std::to_string(i) + ".wav");
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, seconds}}, 44100, 1, 0.5});
        ASSERT_TRUE(playList.addMusic(file.u16string()));
        total += seconds;
    }
    const Clock::time_point started = Clock::now();
    PlayList::Position first = playList.getList()->begin();
    playList.playAt(first);
    while (Clock::now() - started < std::chrono::duration<double>(total + 3.0)) {
        playList.advanceIfFinished();
        std::this_thread::sleep_for(50ms);
    }
    const auto sounding = capture.louderAfter(started, 0.3F);
    ASSERT_TRUE(sounding);
    // From the first sound to just before the last track's end: the tail fades in the sink. The
    // capture's clock places the first sound only to within a chunk.
    const std::vector<float> heard = capture.samplesFrom(*sounding - 50ms, total);
    const auto firstSound = std::ranges::find_if(heard, [](float sample) { return std::abs(sample) > 0.1F; });
    const auto lastSound = firstSound + std::min<std::ptrdiff_t>(std::distance(firstSound, heard.end()),
                                                                 std::lround((total - 0.05) * MonitorCapture::rate));
    std::size_t longestQuiet = 0;
    std::size_t quiet = 0;
    for (auto sample = firstSound; sample != lastSound; ++sample) {
        quiet = std::abs(*sample) < 0.02F ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    std::cout << "[ measured ] longest silence between short tracks: " << longestQuiet << " samples at 44.1 kHz\n";
    EXPECT_LE(longestQuiet, MonitorCapture::rate / 1000);
}

// Tracks of every shape play in order through the server; one above the highest rate it takes is
// converted rather than dropped.
TEST_F(PulseOutputTest, EveryRateAndLayoutPlaysInOrder) {
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    struct Shape {
        int rate;
        int channels;
        double frequency;
    };
    const std::vector<Shape> shapes{{8000, 1, 300.0}, {96000, 6, 500.0}, {768000, 1, 700.0}, {44100, 2, 900.0}};
    PlayList playList;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const auto file = folder.path() / ("shape" + std::to_string(i) + ".wav");
        writeToneFile(file, AudioFormat::Wav,
                      ToneShape{{ToneSegment{shapes[i].frequency, 0.6}}, shapes[i].rate, shapes[i].channels, 0.5});
        ASSERT_TRUE(playList.addMusic(file.u16string()));
    }
    MonitorCapture capture("nullsink");
    const Clock::time_point started = Clock::now();
    PlayList::Position first = playList.getList()->begin();
    playList.playAt(first);
    while (Clock::now() - started < 6s) {
        playList.advanceIfFinished();
        std::this_thread::sleep_for(50ms);
    }
    // The pitch of each 20 ms heard, by its zero crossings; runs of one pitch over 100 ms give the order.
    const std::vector<float> heard = capture.samplesFrom(started, 5.5);
    constexpr std::size_t window = MonitorCapture::rate / 50;
    std::vector<double> order;
    double runPitch = 0.0;
    std::size_t run = 0;
    for (std::size_t start = 0; start + window <= heard.size(); start += window) {
        std::size_t crossings = 0;
        float peak = 0.0F;
        for (std::size_t i = start + 1; i < start + window; ++i) {
            crossings += (heard[i - 1] < 0.0F) != (heard[i] < 0.0F) ? 1U : 0U;
            peak = std::max(peak, std::abs(heard[i]));
        }
        double pitch = 0.0;
        for (const Shape& shape : shapes) {
            if (peak > 0.1F && std::abs(static_cast<double>(crossings) * 25.0 - shape.frequency) < 60.0) {
                pitch = shape.frequency;
            }
        }
        run = pitch == runPitch ? run + 1 : 1;
        runPitch = pitch;
        if (run == 5 && pitch > 0.0 && (order.empty() || order.back() != pitch)) {
            order.push_back(pitch);
        }
    }
    EXPECT_EQ(order, (std::vector<double>{300.0, 500.0, 700.0, 900.0}));
}

// A gain no real track has, and one that has no peak to hold it, never reach the server: such tracks
// play as mastered, or raised no further than full scale, never as full-scale noise.
TEST_F(PulseOutputTest, GainsNoRealTrackHasPlayNoLouderThanFullScale) {
    ASSERT_TRUE(server.start());
    const MachineOutputs machine;
    MonitorCapture capture("nullsink");
    PlayList playList;
    const std::vector<std::pair<std::string, float>> tracks{
        {"--set-tag=R128_TRACK_GAIN=2147483647", 0.25F},
        {"--set-tag=REPLAYGAIN_TRACK_GAIN=+64", 0.25F},
        {"--set-tag=REPLAYGAIN_TRACK_GAIN=+20 --set-tag=REPLAYGAIN_TRACK_PEAK=0", 1.0F}};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto file = folder.path() / ("tagged" + std::to_string(i) + ".flac");
        writeToneFile(file, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 0.6}}, 44100, 1, 0.25});
        ASSERT_EQ(std::system(("metaflac " + tracks[i].first + " '" + file.string() + "'").c_str()), 0);
        ASSERT_TRUE(playList.addMusic(file.u16string()));
    }
    const Clock::time_point started = Clock::now();
    PlayList::Position first = playList.getList()->begin();
    playList.playAt(first);
    const auto sounding = capture.louderAfter(started, 0.1F);
    ASSERT_TRUE(sounding);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        // The middle of each track, clear of the joins and of the capture's placing within a chunk.
        const std::vector<float> heard = capture.samplesFrom(*sounding + std::chrono::milliseconds(600 * i + 150), 0.3);
        ASSERT_FALSE(heard.empty());
        const float peak = std::abs(*std::ranges::max_element(heard, {}, [](float s) { return std::abs(s); }));
        float sum = 0.0F;
        for (const float sample : heard) {
            sum += sample * sample;
        }
        const float rms = std::sqrt(sum / static_cast<float>(heard.size()));
        EXPECT_NEAR(peak, tracks[i].second, 0.05F) << tracks[i].first;
        EXPECT_LT(rms / peak, 0.75F) << tracks[i].first << ": still a sine, not a square wave or DC";
    }
    playList.clear();
}

} // namespace

} // namespace zalvo
