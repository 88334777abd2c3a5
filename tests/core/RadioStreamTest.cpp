#include "decode/RadioStream.h"

#include "ChildProcess.h"
#include "Deadline.h"
#include "FaultServer.h"
#include "IcecastServer.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "ToneFile.h"
#include "decode/StreamStatus.h"
#include "decode/TrackDecoder.h"
#include "playlist/PlayList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A stream gives up opening after 10 s; this leaves room for a machine loaded by other tests.
constexpr auto connectLimit = 25s;
// The tone every test server plays is lavfi's sine, at an eighth of full scale: an RMS near 0.088.
constexpr double audible = 0.03;

struct Heard {
    std::size_t frames = 0;
    double rms = 0.0;
};

// One listener of a station, through the decoder the player uses. Every call runs on a thread of its
// own, bounded: one that hangs fails its test and is left behind with the listener it holds.
class Listener final {
public:
    explicit Listener(const std::string& url) : decoder(TrackDecoder::open(url)) {}

    // Whether connect() returned within the limit, and what it said.
    std::optional<bool> connect(std::chrono::milliseconds limit = connectLimit) {
        auto connected = std::make_shared<std::atomic<bool>>(false);
        if (!finishesWithin(limit, [decoder = decoder, connected] { *connected = decoder->connect(); })) {
            return std::nullopt;
        }
        return connected->load();
    }

    // Up to `seconds` of audio, read until then or `until` holds of the status; nothing if the reads
    // did not end within `limit`.
    std::optional<Heard> listen(double seconds, std::chrono::milliseconds limit,
                                std::function<bool(const StreamStatus::Shown&)> until = nullptr) {
        auto heard = std::make_shared<Heard>();
        const bool ended = finishesWithin(limit, [decoder = decoder, heard, seconds, until = std::move(until)] {
            const PcmFormat format = decoder->format();
            const auto wanted = static_cast<std::size_t>(seconds * format.sampleRate);
            std::vector<float> block(std::size_t{1024} * format.channels);
            double squares = 0.0;
            while (heard->frames < wanted && !(until && until(decoder->streamStatus()->shown()))) {
                const std::size_t asked = std::min<std::size_t>(1024, wanted - heard->frames);
                const std::size_t got = decoder->read({block.data(), asked * format.channels});
                for (std::size_t i = 0; i < got * format.channels; ++i) {
                    squares += static_cast<double>(block[i]) * block[i];
                }
                heard->frames += got;
                if (got < asked) {
                    break;
                }
            }
            if (heard->frames > 0) {
                heard->rms = std::sqrt(squares / static_cast<double>(heard->frames * format.channels));
            }
        });
        return ended ? std::optional<Heard>(*heard) : std::nullopt;
    }

    PcmFormat format() const { return decoder->format(); }
    StreamStatus& status() const { return *decoder->streamStatus(); }
    StreamStatus::Shown shown() const { return status().shown(); }

private:
    std::shared_ptr<TrackDecoder> decoder;
};

// Sets an environment variable for a scope, as a user's session would have it.
class ScopedEnvironment final {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name(name) {
        if (const char* before = std::getenv(name)) {
            previous = before;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (previous) {
            setenv(name, previous->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
};

bool mentions(const std::string& text, const std::string& word) {
    return text.find(word) != std::string::npos;
}

std::size_t logged(const LogCapture& log, const std::string& text) {
    const std::vector<LogCapture::Entry> entries = log.entries();
    return static_cast<std::size_t>(std::ranges::count_if(
        entries, [&text](const LogCapture::Entry& entry) { return mentions(entry.message, text); }));
}

// --- Icecast -------------------------------------------------------------------------------------------

struct Mount {
    const char* mount;
    IcecastServer::Codec codec;
};

void PrintTo(const Mount& mount, std::ostream* out) {
    *out << mount.mount;
}

class IcecastStreamTest : public ::testing::TestWithParam<Mount> {
protected:
    void SetUp() override {
        if (!IcecastServer::available()) {
            GTEST_SKIP() << "icecast2 or ffmpeg is missing";
        }
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(server.feed(GetParam().mount, GetParam().codec));
    }

    TempDir dir;
    IcecastServer server{dir.path()};
};

TEST_P(IcecastStreamTest, PlaysTheToneAndShowsTheStation) {
    Listener listener(server.url(GetParam().mount));
    ASSERT_EQ(listener.connect(), true) << listener.shown().failure;
    EXPECT_EQ(listener.format(), (PcmFormat{44100, 2}));
    const std::optional<Heard> heard = listener.listen(1.0, 20s);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->frames, 44100U);
    EXPECT_GT(heard->rms, audible);
    const StreamStatus::Shown shown = listener.shown();
    EXPECT_EQ(shown.station, "Zalvo Test Radio");
    EXPECT_TRUE(shown.played);
    EXPECT_EQ(shown.failure, "");
}

TEST_P(IcecastStreamTest, ShowsTheTitleTheStationSets) {
    if (GetParam().codec != IcecastServer::Codec::Mp3) {
        GTEST_SKIP() << "Ogg streams carry their titles inside the stream";
    }
    Listener listener(server.url(GetParam().mount));
    ASSERT_EQ(listener.connect(), true) << listener.shown().failure;
    ASSERT_TRUE(server.setTitle(GetParam().mount, "Artist - Song"));
    // Icecast bursts audio of before the change first, with the title of then.
    const auto retitled = [](const StreamStatus::Shown& shown) { return shown.title.title == "Song"; };
    ASSERT_TRUE(listener.listen(30.0, 40s, retitled));
    const StreamStatus::Shown shown = listener.shown();
    EXPECT_EQ(shown.title.artist, "Artist");
    EXPECT_EQ(shown.title.title, "Song");
}

INSTANTIATE_TEST_SUITE_P(Mounts, IcecastStreamTest,
                         ::testing::Values(Mount{"/radio.mp3", IcecastServer::Codec::Mp3},
                                           Mount{"/radio.ogg", IcecastServer::Codec::OggVorbis}),
                         [](const ::testing::TestParamInfo<Mount>& info) {
                             return info.param.codec == IcecastServer::Codec::Mp3 ? "Mp3" : "OggVorbis";
                         });

// --- A server that misbehaves ------------------------------------------------------------------------------

class FaultServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FaultServer::available()) {
            GTEST_SKIP() << "python3 or ffmpeg is missing";
        }
    }
    void TearDown() override { RadioStream::setReconnectingTime(30s); }

    TempDir dir;
    FaultServer server{dir.path()};
};

enum class Outcome {
    // Gives audio for as long as it is listened to, on one connection.
    PlaysOn,
    // Gives audio for as long as it is listened to, connecting again where it dropped.
    Reconnects,
    // Plays, drops and ends when it is not back within the reconnecting time.
    Lost,
    // connect() is false.
    Refused,
};

struct Fault {
    const char* name;
    const char* path;
    Outcome outcome;
    // What the status then shows: the title for one that plays, words of the failure for the others.
    std::string artist;
    std::string title;
    std::string failure;
    // Seconds of audio listened to.
    double seconds = 3.0;
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.path;
}

class FaultPathTest : public FaultServerTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultPathTest, DoesWhatAStationLikeThatCalls) {
    const Fault& fault = GetParam();
    ASSERT_TRUE(server.start());
    RadioStream::setReconnectingTime(fault.outcome == Outcome::Lost ? 1s : 5s);
    const LogCapture log;
    Listener listener(server.url(fault.path));
    const std::optional<bool> connected = listener.connect();
    ASSERT_TRUE(connected) << "connect() did not return";
    if (fault.outcome == Outcome::Refused) {
        EXPECT_FALSE(*connected);
        EXPECT_NE(listener.shown().failure, "");
        EXPECT_TRUE(mentions(listener.shown().failure, fault.failure)) << listener.shown().failure;
        EXPECT_FALSE(listener.shown().played);
        return;
    }
    ASSERT_TRUE(*connected) << listener.shown().failure;
    const double seconds = fault.seconds;
    const std::optional<Heard> heard = listener.listen(seconds, 40s);
    ASSERT_TRUE(heard) << "the reads did not return";
    const StreamStatus::Shown shown = listener.shown();
    const bool dropped = logged(log, "The stream dropped") > 0;
    if (fault.outcome == Outcome::Lost) {
        EXPECT_LT(heard->frames, static_cast<std::size_t>(seconds * 44100));
        EXPECT_TRUE(mentions(shown.failure, fault.failure)) << shown.failure;
        return;
    }
    EXPECT_EQ(heard->frames, static_cast<std::size_t>(seconds * 44100));
    EXPECT_GT(heard->rms, audible);
    EXPECT_EQ(shown.failure, "");
    EXPECT_EQ(shown.station, "Fault Radio");
    EXPECT_EQ(dropped, fault.outcome == Outcome::Reconnects);
    if (fault.outcome == Outcome::Reconnects) {
        EXPECT_GT(logged(log, "The stream is back"), 0U);
    }
    EXPECT_EQ(shown.title.artist, fault.artist);
    EXPECT_EQ(shown.title.title, fault.title);
}

std::vector<Fault> faults() {
    return {
        {"Redirect", "/redirect.mp3", Outcome::PlaysOn, "Fault Artist", "Fault Song", ""},
        {"StallShorterThanTheReadTimeout", "/stall.mp3?after=1&for=3", Outcome::PlaysOn, "Fault Artist", "Fault Song",
         ""},
        {"Latin1Title", "/latin1.mp3", Outcome::PlaysOn, "Beyonc\u00e9", "D\u00e9j\u00e0 vu", ""},
        // A title of 4065 bytes is kept to its first 1024.
        {"HugeTitle", "/hugetitle.mp3", Outcome::PlaysOn, "", std::string(1024, 'h'), ""},
        // Dropped at the edge of the first metadata interval, before any title.
        {"Drop", "/drop.mp3?after=1", Outcome::Reconnects, "", "", ""},
        {"RestartShortDown", "/restart.mp3?after=1&down=2", Outcome::Reconnects, "", "", ""},
        {"RestartLongerThanTheReconnectingTime", "/restart.mp3?after=1&down=30", Outcome::Lost, "", "",
         "did not come back within 1 s: the server refused the connection"},
        {"Missing", "/missing.mp3", Outcome::Refused, "", "", "404"},
        {"NotAudio", "/notaudio", Outcome::Refused, "", "", "not audio"},
        {"Garbage", "/garbage.mp3", Outcome::Refused, "", "", "not audio"},
        {"LoopRedirect", "/loop-redirect", Outcome::Refused, "", "", ""},
        {"EndlessHeaders", "/endless-headers.mp3", Outcome::Refused, "", "", "did not answer in time"},
        {"SlowHeaders", "/slow-headers.mp3", Outcome::Refused, "", "", "did not answer in time"},
        // What follows the block that never ends is no audio: each connection plays its first second.
        {"EndlessIcy", "/endless-icy.mp3", Outcome::Reconnects, "", "", "", 1.5},
    };
}

INSTANTIATE_TEST_SUITE_P(Paths, FaultPathTest, ::testing::ValuesIn(faults()),
                         [](const ::testing::TestParamInfo<Fault>& info) { return info.param.name; });

// The port a listener of this process has a connection to, in /proc/net/tcp's hex, is established.
bool connectedTo(const std::string& url) {
    const std::size_t colon = url.rfind(':');
    const int port = std::stoi(url.substr(colon + 1));
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string local;
    std::string peer;
    std::string state;
    std::string rest;
    std::getline(table, rest);
    while (table >> rest >> local >> peer >> state && std::getline(table, rest)) {
        if (peer == remote && state == "01") {
            return true;
        }
    }
    return false;
}

// A playlist plays a station where a file would be: after the file before it, and once the station is
// lost for good, the file after it.
TEST_F(FaultServerTest, FilesAndAStationInOneListPlayInOrder) {
    ASSERT_TRUE(server.start());
    RadioStream::setReconnectingTime(1s);
    const auto tone = [this](const std::string& name) {
        const fs::path file = dir.file(name);
        writeToneFile(file, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 0.3}}});
        return file.u16string();
    };
    const std::string station = server.url("/restart.mp3?after=1&down=60");
    PlayList playList;
    for (const std::u16string& entry :
         {tone("before.wav"), std::u16string(station.begin(), station.end()), tone("after.wav")}) {
        ASSERT_TRUE(playList.addMusic(entry));
    }
    playList.getCurrent()->playPause();
    // The window's tick, until `done` holds.
    const auto ticksUntil = [&playList](const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < giveUp) {
            playList.advanceIfFinished();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    };
    const auto plays = [&playList](std::size_t index) {
        const std::scoped_lock lock(playList.mutex);
        return playList.getCurrentPosition() == std::next(playList.getList()->begin(), static_cast<long>(index)) &&
               playList.getCurrent()->isPlaying();
    };
    ASSERT_TRUE(ticksUntil([&] { return plays(1); }, 10s));
    const Music& radio = **std::next(playList.getList()->begin());
    EXPECT_TRUE(ticksUntil([&radio] { return radio.getStreamStatus()->shown().played; }, connectLimit));
    EXPECT_TRUE(ticksUntil([&] { return plays(2); }, connectLimit)) << "the station, lost, ends as a track does";
}

TEST_F(FaultServerTest, CancelEndsAConnectThatWaitsForHeaders) {
    ASSERT_TRUE(server.start());
    const std::string url = server.url("/slow-headers.mp3");
    auto listener = std::make_shared<Listener>(url);
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread connecting([listener, returned] {
        listener->connect();
        *returned = true;
    });
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!connectedTo(url) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(connectedTo(url)) << "connect() never reached the server";
    EXPECT_FALSE(returned->load());
    listener->status().cancel();
    // Well before the server's silence would end the wait on its own.
    const auto cancelled = std::chrono::steady_clock::now() + 3s;
    while (!*returned && std::chrono::steady_clock::now() < cancelled) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(returned->load()) << "connect() went on waiting once cancelled";
    if (returned->load()) {
        connecting.join();
        // A stream let go of says nothing of why it did not play.
        EXPECT_EQ(listener->shown().failure, "");
    } else {
        connecting.detach();
    }
}

// --- HTTPS ---------------------------------------------------------------------------------------------------

struct Certificate {
    const char* name;
    const TestCertificates::Identity& (TestCertificates::*identity)() const;
    bool plays;
};

void PrintTo(const Certificate& certificate, std::ostream* out) {
    *out << certificate.name;
}

class HttpsStreamTest : public FaultServerTest, public ::testing::WithParamInterface<Certificate> {
protected:
    void SetUp() override {
        FaultServerTest::SetUp();
        if (!TestCertificates::available()) {
            GTEST_SKIP() << "openssl is missing";
        }
    }
};

TEST_P(HttpsStreamTest, PlaysOnlyWithACertificateTheAuthorityGaveThatHost) {
    const TestCertificates certificates(dir.path());
    const TestCertificates::Identity& identity = (certificates.*GetParam().identity)();
    ASSERT_TRUE(server.startTls(identity.certificate, identity.key));
    const ScopedEnvironment trust("SSL_CERT_FILE", certificates.authority().string());
    Listener listener(server.url("/radio.mp3"));
    ASSERT_EQ(listener.connect(), GetParam().plays) << listener.shown().failure;
    if (GetParam().plays) {
        const std::optional<Heard> heard = listener.listen(1.0, 20s);
        ASSERT_TRUE(heard);
        EXPECT_GT(heard->rms, audible);
    } else {
        EXPECT_TRUE(mentions(listener.shown().failure, "certificate")) << listener.shown().failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpsStreamTest,
                         ::testing::Values(Certificate{"SignedByTheAuthority", &TestCertificates::trusted, true},
                                           Certificate{"SelfSigned", &TestCertificates::selfSigned, false},
                                           Certificate{"ForAnotherHost", &TestCertificates::wrongHost, false}),
                         [](const ::testing::TestParamInfo<Certificate>& info) { return info.param.name; });

// --- HLS -----------------------------------------------------------------------------------------------------

// Python's own web server on a free loopback port, serving a folder.
class FolderServer final {
public:
    explicit FolderServer(const fs::path& folder) : folder(folder) {}

    bool start() {
        if (!process.start(
                {"python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder.string()},
                folder.parent_path() / "http-server.log", true)) {
            return false;
        }
        // "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
        const std::optional<std::string> line = process.readLine(5s);
        const std::size_t at = line ? line->find(" port ") : std::string::npos;
        if (at == std::string::npos) {
            return false;
        }
        port = std::stoi(line->substr(at + 6));
        return true;
    }
    std::string url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(port) + "/" + name; }

private:
    fs::path folder;
    ChildProcess process;
    int port = 0;
};

class HlsStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FaultServer::available()) {
            GTEST_SKIP() << "python3 or ffmpeg is missing";
        }
        fs::create_directory(site);
    }

    TempDir dir;
    const fs::path site = dir.file("site");
    FolderServer server{site};
};

TEST_F(HlsStreamTest, NeverOpensALocalFileTheManifestNames) {
    // Whatever opened the FIFO to read it would wait there for a writer that never comes.
    const fs::path fifo = dir.file("segment0.ts");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(site / "radio.m3u8") << "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
                                          "#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:2.0,\nfile://"
                                       << fifo.string() << "\n#EXTINF:2.0,\nfile://" << fifo.string()
                                       << "\n#EXT-X-ENDLIST\n";
    ASSERT_TRUE(server.start());
    Listener listener(server.url("radio.m3u8"));
    const std::optional<bool> connected = listener.connect();
    // A reader still on the FIFO would take this writer; with none, the open is refused.
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1) << "the FIFO was opened";
    if (writer >= 0) {
        close(writer);
    }
    ASSERT_TRUE(connected) << "connect() did not return";
    if (*connected) {
        const std::optional<Heard> heard = listener.listen(1.0, 20s);
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->frames, 0U);
    } else {
        EXPECT_NE(listener.shown().failure, "");
    }
}

TEST_F(HlsStreamTest, PlaysSegmentsServedOverHttp) {
    const std::string command = "ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=6 "
                                "-ac 2 -c:a aac -b:a 128k -f hls -hls_time 2 -hls_list_size 0 '" +
                                (site / "radio.m3u8").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(server.start());
    Listener listener(server.url("radio.m3u8"));
    ASSERT_EQ(listener.connect(), true) << listener.shown().failure;
    EXPECT_EQ(listener.format(), (PcmFormat{44100, 2}));
    const std::optional<Heard> heard = listener.listen(3.0, 20s);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->frames, 3U * 44100);
    EXPECT_GT(heard->rms, audible);
}

} // namespace

} // namespace zalvo
