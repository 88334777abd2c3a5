#include "playlist/StationPlayList.h"

#include "ChildProcess.h"
#include "IcecastServer.h"
#include "TempDir.h"
#include "playlist/TrackCollector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace zalvo {

namespace {

// A plain web server over a folder of the test's own, on a free loopback port.
constexpr const char* serveFolder = "import functools, http.server, sys\n"
                                    "handler = functools.partial(http.server.SimpleHTTPRequestHandler, "
                                    "directory=sys.argv[1])\n"
                                    "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)\n"
                                    "print(server.server_address[1], flush=True)\n"
                                    "server.serve_forever()\n";

class StationPlayListTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start({"python3", "-c", serveFolder, dir.path().string()}, dir.file("server.log"), true));
        const std::optional<std::string> port = server.readLine(std::chrono::seconds(10));
        ASSERT_TRUE(port);
        root = "http://127.0.0.1:" + *port + "/";
    }

    void serve(const std::string& name, const std::string& content) const {
        std::ofstream(dir.file(name), std::ios::binary) << content;
    }

    std::u16string url(const std::string& name) const {
        const std::string text = root + name;
        return {text.begin(), text.end()};
    }

    TempDir dir;
    ChildProcess server;
    std::string root;
};

TEST(StationPlayListNameTest, OnlyAListsPathNamesAStationsPlayList) {
    for (const auto& [url, named] : std::vector<std::pair<std::u16string, bool>>{
             {u"http://radio.example/live.pls", true},
             {u"https://radio.example/Live.M3U?station=3", true},
             {u"http://radio.example/live.xspf#top", true},
             {u"http://radio.example/live.m3u8", false},
             {u"http://radio.example/stream?format=.pls", false},
             {u"http://radio.example/live.mp3", false},
             {u"/home/me/live.pls", false},
         }) {
        EXPECT_EQ(StationPlayList::named(url), named) << std::string(url.begin(), url.end());
    }
}

TEST_F(StationPlayListTest, AStationsListGivesItsStationsAndNothingLocal) {
    const std::string stream = root + "radio.mp3";
    serve("station.pls", "[playlist]\nFile1=" + stream + "\nFile2=/etc/passwd\nFile3=other.mp3\nNumberOfEntries=3\n");
    serve("station.m3u", "#EXTM3U\n#EXTINF:-1,Station\n" + stream + "\nfile:///etc/passwd\n");
    serve("station.xspf", "<?xml version=\"1.0\"?><playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\"><trackList>"
                          "<track><location>" +
                              stream + "</location></track></trackList></playlist>");
    serve("live.m3u", "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\nsegment0.ts\n");
    serve("huge.pls", "[playlist]\n" + std::string(std::size_t{2} << 20, '#'));

    struct Case {
        const char* name;
        ReadStatus status;
        std::size_t entries;
        std::vector<std::u16string> tracks;
    };
    const std::u16string station = url("radio.mp3");
    for (const Case& row : std::vector<Case>{
             {"station.pls", ReadStatus::Ok, 3, {station}},
             {"station.m3u", ReadStatus::Ok, 2, {station}},
             {"station.xspf", ReadStatus::Ok, 1, {station}},
             // An HLS manifest is the stream itself, played as a track.
             {"live.m3u", ReadStatus::Unrecognised, 0, {}},
             {"huge.pls", ReadStatus::Unreadable, 0, {}},
             {"missing.pls", ReadStatus::Unreadable, 0, {}},
         }) {
        std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        const TrackCollector::PlayListResult result = collector.addPlayListFile(url(row.name));
        EXPECT_EQ(result.status, row.status) << row.name;
        EXPECT_EQ(result.entries, row.entries) << row.name;
        std::vector<std::u16string> paths;
        for (const auto& track : collector.takeTracks()) {
            paths.push_back(track->getPath());
        }
        EXPECT_EQ(paths, row.tracks) << row.name;
    }
}

// Icecast publishes each mount's own M3U and XSPF, as stations link them from their pages.
TEST(StationPlayListIcecastTest, AMountsOwnPlayListsGiveTheMount) {
    if (!IcecastServer::available()) {
        GTEST_SKIP() << "icecast2 and ffmpeg make the station";
    }
    const TempDir dir;
    IcecastServer icecast(dir.path());
    ASSERT_TRUE(icecast.start());
    ASSERT_TRUE(icecast.feed("/radio.mp3", IcecastServer::Codec::Mp3));
    const std::string mount = icecast.url("/radio.mp3");
    for (const char* list : {".m3u", ".xspf"}) {
        const std::string url = mount + list;
        std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        EXPECT_EQ(collector.addPlayListFile({url.begin(), url.end()}).status, ReadStatus::Ok) << list;
        const std::vector<std::unique_ptr<Music>> tracks = collector.takeTracks();
        ASSERT_EQ(tracks.size(), 1U) << list;
        EXPECT_EQ(tracks.front()->getPath(), std::u16string(mount.begin(), mount.end())) << list;
    }
}

} // namespace

} // namespace zalvo
