#include "TempDir.h"
#include "ToneFile.h"
#include "base/TextEncoding.h"
#include "formats/Archive.h"
#include "formats/PlayListFile.h"
#include "playlist/TrackCollector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

struct FormatCase {
    const char* name;
    const char* file;
    // The file's bytes, given the test's folder.
    std::function<std::string(const std::string& dir)> content;
    std::vector<const char*> expected;
};

std::string littleEndian32(std::uint32_t value) {
    std::ostringstream out;
    Archive archive(out);
    archive.writeUInt32(value);
    return out.str();
}

std::string wide(const std::u16string& path) {
    std::ostringstream out;
    Archive archive(out);
    archive.writeString(path);
    return out.str();
}

std::string narrow(const std::string& path) {
    return static_cast<char>(path.size()) + path;
}

// Text whose "DIR" stands for the test's folder.
std::function<std::string(const std::string&)> text(std::string content) {
    return [content](const std::string& dir) {
        std::string result = content;
        for (std::size_t at = result.find("DIR"); at != std::string::npos; at = result.find("DIR", at)) {
            result.replace(at, 3, dir);
        }
        return result;
    };
}

// A file made up as it is read: an opening, a body repeated `repeats` times (for ever when 0), a closing.
class GeneratedInput final : public std::streambuf {
public:
    GeneratedInput(std::string opening, std::string body, std::uint64_t repeats, std::string closing)
        : opening(std::move(opening)), body(std::move(body)), repeats(repeats), closing(std::move(closing)) {}

protected:
    int_type underflow() override {
        chunk.clear();
        while (chunk.size() < 64 * 1024) {
            if (produced == 0) {
                chunk += opening;
            } else if (repeats == 0 || produced <= repeats) {
                chunk += body;
            } else if (produced == repeats + 1) {
                chunk += closing;
            } else {
                break;
            }
            ++produced;
        }
        setg(chunk.data(), chunk.data(), chunk.data() + chunk.size());
        return chunk.empty() ? traits_type::eof() : traits_type::to_int_type(chunk.front());
    }
    // Only back to the start, as a reader does once it has seen the opening.
    pos_type seekoff(off_type offset, std::ios_base::seekdir, std::ios_base::openmode) override {
        return offset == 0 ? seekpos(0, std::ios_base::in) : pos_type(off_type(-1));
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode) override {
        produced = 0;
        setg(nullptr, nullptr, nullptr);
        return position == pos_type(0) ? position : pos_type(off_type(-1));
    }

private:
    std::string opening;
    std::string body;
    std::uint64_t repeats;
    std::string closing;
    std::uint64_t produced = 0;
    std::string chunk;
};

long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field + ":")) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// Playlists in lists/, tracks in music/: every case reaches them through ../ or an absolute URI.
class PlayListFormatTest : public testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        fs::create_directories(dir.file("lists"));
        fs::create_directories(dir.file("music"));
        for (const char* name : {"one.wav", "caf\u00E9.wav", "a b.flac"}) {
            const fs::path file =
                dir.path() / "music" / fs::path(std::u8string(reinterpret_cast<const char8_t*>(name)));
            writeToneFile(file, fs::path(file).extension() == ".flac" ? AudioFormat::Flac : AudioFormat::Wav);
        }
    }

    fs::path write(const std::string& name, const std::string& content, const std::string& folder = "lists") const {
        const fs::path file = dir.file(folder) / name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    std::vector<std::u16string> music(const std::vector<const char*>& names) const {
        std::vector<std::u16string> paths;
        for (const char* name : names) {
            const std::u8string text(reinterpret_cast<const char8_t*>(name));
            // A station's address is an entry as it stands; any other name is a file under the music folder.
            paths.push_back(text.starts_with(u8"http") ? std::u16string(text.begin(), text.end())
                                                       : (dir.path() / "music" / fs::path(text)).u16string());
        }
        return paths;
    }

    static std::vector<std::u16string> load(const fs::path& file, ReadStatus expected = ReadStatus::Ok) {
        std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        EXPECT_EQ(collector.addPlayListFile(file.u16string()).status, expected);
        std::vector<std::u16string> paths;
        for (const auto& track : collector.takeTracks()) {
            paths.push_back(track->getPath());
        }
        return paths;
    }

    TempDir dir;
};

} // namespace

TEST_P(PlayListFormatTest, LoadsTheTracksThatOpenInOrder) {
    const FormatCase& format = GetParam();
    EXPECT_EQ(load(write(format.file, format.content(dir.path().string()))), music(format.expected));
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, PlayListFormatTest,
    testing::Values(
        FormatCase{"M3u8WithByteOrderMark",
                   "a.m3u8",
                   text("\xEF\xBB\xBF#EXTM3U\n#EXTINF:1,One\n../music/one.wav\n# comment\n../music/missing.wav\n"
                        "file://DIR/music/a%20b.flac\nhttp://radio.example/stream\n\n"),
                   {"one.wav", "a b.flac", "http://radio.example/stream"}},
        FormatCase{"M3uWithOldMacLineEnds",
                   "mac.m3u",
                   text("#EXTM3U\r#EXTINF:1,One\r../music/one.wav\r../music/a b.flac\r"),
                   {"one.wav", "a b.flac"}},
        FormatCase{"M3uInWindows1252WithBackslashes",
                   "b.m3u",
                   text("..\\music\\caf\xE9.wav\r\n..\\music\\one.wav\r\n"),
                   {"caf\u00E9.wav", "one.wav"}},
        FormatCase{
            "PlsOutOfOrder",
            "c.pls",
            text("\xEF\xBB\xBF[playlist]\r\nFile2=..\\music\\one.wav\r\nTitle2=One\r\nLength2=1\r\n"
                 "File1 = file://DIR/music/a%20b.flac\r\nFile4=../music/caf\xE9.wav\r\nFile3=../music/missing.wav\r\n"
                 "File5=https://radio.example/stream\r\nNumberOfEntries=5\r\nVersion=2\r\n"),
            {"a b.flac", "one.wav", "caf\u00E9.wav", "https://radio.example/stream"}},
        FormatCase{"XspfWithXmlBase",
                   "d.xspf",
                   text("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\" xml:base=\"../music/\"><trackList>"
                        "<track><title>One</title><location>one.wav</location></track>"
                        "<track><location>missing.wav</location></track>"
                        "<track xml:base=\"file://DIR/\"><location> music/a%20b.flac </location></track>"
                        "<track><location>http://radio.example/x.ogg</location></track>"
                        "<track><location>caf%C3%A9.wav</location></track></trackList></playlist>"),
                   {"one.wav", "a b.flac", "http://radio.example/x.ogg", "caf\u00E9.wav"}},
        FormatCase{"ArchiveWithRelativeAndUriEntries",
                   "e.zpl",
                   [](const std::string& dir) {
                       return littleEndian32(4) + wide(u"../music/one.wav") + wide(u"../music/missing.wav") +
                              narrow("file://" + dir + "/music/a%20b.flac") + narrow("../music/caf\xE9.wav");
                   },
                   {"one.wav", "a b.flac", "caf\u00E9.wav"}}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(PlayListFormatTest, EachFormatReadsBackWhatItWrote) {
    const fs::path outside = dir.file("outside.wav");
    writeToneFile(outside, AudioFormat::Wav);
    std::vector<SavedTrack> tracks;
    for (const std::u16string& path :
         music({"caf\u00E9.wav", "a b.flac", "https://radio.example/live?a=1&b=%20", "one.wav", "a b.flac"})) {
        tracks.push_back({path, 1.0F, "A title"});
    }
    tracks.push_back({outside.u16string(), 1.0F, {}});
    const std::u16string folder = dir.file("music").u16string();
    for (const auto& [format, name] :
         {std::pair{PlayListFile::Format::M3u, "list.m3u8"}, std::pair{PlayListFile::Format::Pls, "list.pls"},
          std::pair{PlayListFile::Format::Xspf, "list.xspf"}}) {
        EXPECT_EQ(PlayListFile::formatForName(fs::path(name).u16string()), format);
        std::ostringstream content;
        ASSERT_TRUE(PlayListFile::write(content, format, tracks, folder));
        std::vector<std::u16string> expected;
        for (const SavedTrack& track : tracks) {
            expected.push_back(track.path);
        }
        EXPECT_EQ(load(write(name, content.str(), "music")), expected) << name;
        if (format == PlayListFile::Format::M3u) {
            EXPECT_NE(content.str().find("#EXTINF:1,A title\ncaf\u00E9.wav\n"), std::string::npos);
            EXPECT_NE(content.str().find("#EXTINF:1,\n" + outside.string() + "\n"), std::string::npos);
        }
    }
    EXPECT_EQ(PlayListFile::formatForName(u"list.M3U"), PlayListFile::Format::M3u);
    EXPECT_EQ(PlayListFile::formatForName(u"list.zpl"), PlayListFile::Format::Archive);
}

TEST_F(PlayListFormatTest, EveryFormatIsToldApartByWhatItWrites) {
    const std::vector<std::u16string> paths = music({"one.wav", "caf\u00E9.wav", "one.wav"});
    std::vector<SavedTrack> tracks;
    for (const std::u16string& path : paths) {
        tracks.push_back({path, 1.0F, "A title"});
    }
    for (const PlayListFile::Format format : {PlayListFile::Format::Archive, PlayListFile::Format::M3u,
                                              PlayListFile::Format::Pls, PlayListFile::Format::Xspf}) {
        std::ostringstream written;
        ASSERT_TRUE(PlayListFile::write(written, format, tracks, u"/elsewhere"));
        std::istringstream input(written.str());
        std::vector<std::u16string> read;
        EXPECT_EQ(PlayListFile::read(input, u"/elsewhere",
                                     [&read](std::u16string path) {
                                         read.push_back(std::move(path));
                                         return true;
                                     }),
                  ReadStatus::Ok);
        EXPECT_EQ(read, paths) << static_cast<int>(format);
        if (format == PlayListFile::Format::Archive) {
            EXPECT_EQ(written.str(), littleEndian32(3) + wide(paths[0]) + wide(paths[1]) + wide(paths[2]));
        }
        std::ostringstream broken;
        broken.setstate(std::ios::badbit);
        EXPECT_FALSE(PlayListFile::write(broken, format, tracks, u"/elsewhere")) << static_cast<int>(format);
    }
}

TEST_F(PlayListFormatTest, WhatIsNoPlayListIsRecognisedAsNone) {
    const fs::path song = dir.file("music") / "one.wav";
    const std::string svg = "<?xml version=\"1.0\"?><svg><location>/x.wav</location></svg>";
    const std::string countTooLarge = littleEndian32(1000) + narrow("/a.wav");
    const std::string emptyFirstEntry = littleEndian32(1) + std::string(1, '\0');
    const std::string commentsOnly = "#EXTM3U\r#EXTINF:1,One\r";
    const std::string plsWithoutFiles = "[playlist]\r\nNumberOfEntries=0\r\nVersion=2\r\n";
    for (const std::string& content :
         {svg, countTooLarge, emptyFirstEntry, std::string("\x01\x02\x03", 3), commentsOnly, plsWithoutFiles}) {
        load(write("bad", content), ReadStatus::Unrecognised);
    }
    load(song, ReadStatus::Unrecognised);
    load(dir.file("music"), ReadStatus::Unrecognised);
    load(dir.file("nothing-here"), ReadStatus::Unreadable);
}

TEST_F(PlayListFormatTest, DamageFurtherOnKeepsTheEntriesBeforeIt) {
    const std::string archive = littleEndian32(3) + wide(music({"one.wav"})[0]) + "\xFF\xFE";
    EXPECT_EQ(load(write("cut.zpl", archive), ReadStatus::Damaged), music({"one.wav"}));
    const std::string xspf = "<playlist><trackList><track><location>../music/one.wav</location></track><track>";
    EXPECT_EQ(load(write("cut.xspf", xspf), ReadStatus::Damaged), music({"one.wav"}));
}

// Entries that do not open cost nothing once skipped: five million empty ones used to take a quarter
// of a gigabyte before any file was opened.
TEST_F(PlayListFormatTest, MemoryFollowsTheTracksKeptNotTheEntriesRead) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer holds freed memory back";
#endif
    constexpr std::uint32_t entries = 5'000'000;
    const fs::path file =
        write("empty.zpl", littleEndian32(entries) + narrow("/no/such.wav") + std::string(entries - 1, '\0'));
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_TRUE(load(file).empty());
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    constexpr long allowedKilobytes = 16 * 1024;
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, allowedKilobytes);
}

// Old disks hold names in Latin-1: a playlist names them by their bytes, and writes them back as URIs.
TEST_F(PlayListFormatTest, ANameThatIsNotUtf8OpensAndIsWrittenBack) {
    const fs::path latin1 = dir.file("music") / "d\xE9j\xE0.wav";
    writeToneFile(latin1, AudioFormat::Wav);
    const std::vector<std::u16string> expected{TextEncoding::fromFileSystem(latin1.string())};
    EXPECT_EQ(load(write("latin1.m3u", "../music/d\xE9j\xE0.wav\n")), expected);
    const std::atomic<bool> cancelled = false;
    TrackCollector collector(cancelled);
    fs::create_directories(dir.file("\xE9t\xE9"));
    const fs::path namedSo = write("d\xE9j\xE0.m3u", "../music/d\xE9j\xE0.wav\n", "\xE9t\xE9");
    EXPECT_EQ(collector.addPlayListFile(TextEncoding::fromFileSystem(namedSo.string())).opened, 1U);
    EXPECT_EQ(load(write("latin1.xspf", "<playlist><trackList><track><location>../music/d%E9j%E0.wav</location>"
                                        "</track></trackList></playlist>")),
              expected);
    std::ostringstream content;
    ASSERT_TRUE(PlayListFile::write(content, PlayListFile::Format::M3u, {{expected[0], 1.0F, {}}}, u"/elsewhere"));
    EXPECT_EQ(load(write("written.m3u8", content.str())), expected);
}

// Depth, one endless token or one endless string costs no more than a few chunks of the file.
TEST_F(PlayListFormatTest, OversizedPlayListsAreRefusedWithinBoundedMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer holds freed memory back";
#endif
    struct Case {
        const char* name;
        std::function<ReadStatus()> read;
        ReadStatus expected;
    };
    const auto sink = [](const std::u16string&) { return true; };
    const auto generated = [sink](std::string opening, std::string body, std::uint64_t repeats, std::string closing) {
        return [=] {
            GeneratedInput content(opening, body, repeats, closing);
            std::istream input(&content);
            return PlayListFile::read(input, u"/lists", sink);
        };
    };
    // A real file, sparse, so that nothing tells the reader early that the string runs past the end.
    const fs::path archive = dir.file("one-long-path.zpl");
    {
        std::ofstream(archive, std::ios::binary)
            << littleEndian32(1) << "\xFF\xFE\xFF\xFF\xFF\xFF" << std::string("\x00\x00\x00\x0C", 4);
    }
    fs::resize_file(archive, std::uint64_t{420} * 1024 * 1024);
    const std::vector<Case> cases{
        {"xspf nested 30,000 deep",
         generated("<playlist><trackList><track>", "<extension xml:base=\"folder/\">", 30'000, ""),
         ReadStatus::Damaged},
        {"xspf with a 200 MB attribute", generated("<playlist title=\"", std::string(1000, 'a'), 200'000, "\"/>"),
         ReadStatus::Unrecognised},
        {"xspf with a 200 MB comment", generated("<playlist><!--", std::string(1000, '<'), 200'000, "--></playlist>"),
         ReadStatus::Damaged},
        {"xspf with 200 MB of text", generated("<playlist>", std::string(1000, ' '), 200'000, "</playlist>"),
         ReadStatus::Damaged},
        {"archive naming one 400 MB path", [&] { return PlayListFile::read(archive.u16string(), sink); },
         ReadStatus::Unrecognised},
    };
    for (const Case& c : cases) {
        // Peak resident memory starts again from here.
        std::ofstream("/proc/self/clear_refs") << "5";
        const long idle = statusKilobytes("VmRSS");
        EXPECT_EQ(c.read(), c.expected) << c.name;
        constexpr long allowedKilobytes = 50 * 1024;
        EXPECT_LT(statusKilobytes("VmHWM") - idle, allowedKilobytes) << c.name;
    }
}

TEST_F(PlayListFormatTest, CancellingStopsAReadThatDeliversNothing) {
    for (const auto& [opening, body] :
         {std::pair{"<playlist><trackList>", "<track/>"}, std::pair{"#EXTM3U\n", "#EXTINF:1,No entry\n"},
          std::pair{"[playlist]\n", "Title1=No entry\n"}}) {
        GeneratedInput endless(opening, body, 0, "");
        std::istream input(&endless);
        std::atomic<bool> cancelled = false;
        std::jthread canceller([&cancelled] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            cancelled = true;
        });
        EXPECT_EQ(PlayListFile::read(
                      input, u"/lists", [](const std::u16string&) { return true; }, &cancelled),
                  ReadStatus::Cancelled)
            << opening;
    }
}

} // namespace zalvo
