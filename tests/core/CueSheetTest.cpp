#include "formats/CueSheet.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zalvo {

namespace {

struct Range {
    std::size_t file = 0;
    std::uint32_t begin = 0;
    std::optional<std::uint32_t> end;
    bool operator==(const Range&) const = default;
};

std::vector<Range> rangesOf(const CueSheet& sheet) {
    std::vector<Range> ranges;
    for (const CueSheet::Track& track : sheet.tracks) {
        ranges.push_back({track.file, track.begin, track.end});
    }
    return ranges;
}

CueSheet readable(const std::string& bytes) {
    auto read = CueSheet::read(bytes);
    if (const auto* why = std::get_if<std::string>(&read)) {
        ADD_FAILURE() << *why;
        return {};
    }
    return std::get<CueSheet>(std::move(read));
}

constexpr std::uint32_t second = 75;

TEST(CueSheetTest, ATrackEndsAtTheNextOnesIndex01SoThePregapIsItsOwn) {
    const CueSheet sheet = readable("PERFORMER \"The Band\"\n"
                                    "TITLE \"The Album\"\n"
                                    "FILE \"album.flac\" WAVE\n"
                                    "  TRACK 01 AUDIO\n"
                                    "    TITLE \"One\"\n"
                                    "    PERFORMER \"Singer\"\n"
                                    "    SONGWRITER \"Writer\"\n"
                                    "    INDEX 01 00:00:00\n"
                                    "  TRACK 02 AUDIO\n"
                                    "    TITLE \"Two\"\n"
                                    "    INDEX 00 03:00:00\n"
                                    "    INDEX 01 03:02:00\n"
                                    "  TRACK 03 AUDIO\n"
                                    "    TITLE \"Three\"\n"
                                    "    INDEX 01 05:00:37\n");
    EXPECT_EQ(sheet.files, std::vector<std::string>{"album.flac"});
    EXPECT_EQ(sheet.title, "The Album");
    EXPECT_EQ(sheet.performer, "The Band");
    ASSERT_EQ(sheet.tracks.size(), 3U);
    EXPECT_EQ(sheet.tracks[0].number, 1);
    EXPECT_EQ(sheet.tracks[0].title, "One");
    EXPECT_EQ(sheet.tracks[0].performer, "Singer");
    EXPECT_EQ(sheet.tracks[0].songwriter, "Writer");
    EXPECT_EQ(sheet.tracks[1].title, "Two");
    EXPECT_EQ(sheet.tracks[1].performer, "");
    EXPECT_EQ(sheet.tracks[2].number, 3);
    EXPECT_EQ(rangesOf(sheet),
              (std::vector<Range>{
                  {0, 0, 182 * second}, {0, 182 * second, 300 * second + 37}, {0, 300 * second + 37, std::nullopt}}));
}

TEST(CueSheetTest, TracksLieInTheFileOfTheirIndex01) {
    struct Case {
        const char* layout;
        std::string sheet;
        std::vector<std::string> files;
        std::vector<Range> ranges;
    };
    const std::vector<Case> cases{
        {"hidden audio before the first INDEX 01",
         "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:32:00\nTRACK 02 AUDIO\nINDEX 01 04:00:00\n",
         {"a.wav"},
         {{0, 0, 240 * second}, {0, 240 * second, std::nullopt}}},
        {"one FILE per track",
         "FILE \"a b.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
         "FILE \"c.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 00 00:00:00\nINDEX 01 00:02:00\nTRACK 03 AUDIO\nINDEX 01 "
         "02:00:00\n",
         {"a b.wav", "c.wav"},
         {{0, 0, std::nullopt}, {1, 0, 120 * second}, {1, 120 * second, std::nullopt}}},
        {"pregap at the end of the previous FILE",
         "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 04:00:00\n"
         "FILE \"b.wav\" WAVE\nINDEX 01 00:00:00\nTRACK 03 AUDIO\nINDEX 01 02:00:00\n",
         {"a.wav", "b.wav"},
         {{0, 0, std::nullopt}, {1, 0, 120 * second}, {1, 120 * second, std::nullopt}}},
        // EAC writes an enhanced CD's data track, which it does not rip, with a mode of its own.
        {"a data track after the audio, its pregap in the last audio file",
         "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 02:00:00\n"
         "TRACK 03 MODEx/2xxx\nTITLE \"Data Track\"\nINDEX 00 04:00:00\n",
         {"a.wav"},
         {{0, 0, 120 * second}, {0, 120 * second, std::nullopt}}},
        {"a data track before the audio",
         "FILE data.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
         "FILE a.wav WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
         {"a.wav"},
         {{0, 0, std::nullopt}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const CueSheet sheet = readable(c.sheet);
        EXPECT_EQ(sheet.files, c.files);
        EXPECT_EQ(rangesOf(sheet), c.ranges);
    }
}

TEST(CueSheetTest, TextComesOutAsUtf8) {
    const std::string tracks = "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    struct Case {
        const char* encoding;
        std::string sheet;
    };
    const std::vector<Case> cases{
        {"Windows-1252", "TITLE \"\x8C\x93uvre\x94\x85 \x80\"\nPERFORMER \"Caf\xE9\"\n" + tracks},
        {"UTF-8 with a byte order mark",
         "\xEF\xBB\xBFTITLE \"\xC5\x92\xE2\x80\x9Cuvre\xE2\x80\x9D\xE2\x80\xA6 \xE2\x82\xAC\"\n"
         "PERFORMER \"Caf\xC3\xA9\"\n" +
             tracks},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const CueSheet sheet = readable(c.sheet);
        EXPECT_EQ(sheet.title, "\xC5\x92\xE2\x80\x9Cuvre\xE2\x80\x9D\xE2\x80\xA6 \xE2\x82\xAC");
        EXPECT_EQ(sheet.performer, "Caf\xC3\xA9");
    }
}

TEST(CueSheetTest, RemLinesGiveGenreDateAndReplayGain) {
    const CueSheet sheet = readable("REM GENRE \"Jazz Rock\"\nREM DATE 1971\n"
                                    "REM REPLAYGAIN_ALBUM_GAIN -7.25 dB\nREM REPLAYGAIN_ALBUM_PEAK 0.988\n"
                                    "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\n"
                                    "REM REPLAYGAIN_TRACK_GAIN +1.50 dB\nREM REPLAYGAIN_TRACK_PEAK 0.5\n"
                                    "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 01:00:00\n");
    EXPECT_EQ(sheet.genre, "Jazz Rock");
    EXPECT_EQ(sheet.date, "1971");
    EXPECT_EQ(sheet.albumGainDb, -7.25F);
    EXPECT_EQ(sheet.albumPeak, 0.988F);
    ASSERT_EQ(sheet.tracks.size(), 2U);
    EXPECT_EQ(sheet.tracks[0].gainDb, 1.5F);
    EXPECT_EQ(sheet.tracks[0].peak, 0.5F);
    EXPECT_EQ(sheet.tracks[1].gainDb, std::nullopt);
}

// libcue keeps its scanner's state between sheets: a line ending inside a command must not cost the
// next sheet its first line.
TEST(CueSheetTest, ASheetEndingInsideACommandLeavesTheNextWhole) {
    readable("FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTITLE \"x\" PERFORMER\n");
    EXPECT_EQ(readable("PERFORMER \"Band\"\nFILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n").performer,
              "Band");
}

TEST(CueSheetTest, BadSheetsAreRefusedWithAReason) {
    const std::string head = "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\n";
    std::string hundredTracks = "FILE \"a.wav\" WAVE\n";
    for (int i = 1; i <= 100; ++i) {
        hundredTracks += "TRACK " + std::to_string(i) + " AUDIO\nINDEX 01 " + std::to_string(i) + ":00:00\n";
    }
    struct Case {
        const char* fault;
        std::string sheet;
        const char* reason;
    };
    const std::vector<Case> cases{
        {"over 1 MB", head + "INDEX 01 00:00:00\n" + std::string(1 << 20, '\n'), "larger than 1 MB"},
        {"NUL byte", head + std::string("INDEX 01 00:00:00\0\n", 19), "NUL byte"},
        {"100 tracks", hundredTracks, "more than 99 tracks"},
        {"backwards index", head + "INDEX 01 01:00:00\nTRACK 02 AUDIO\nINDEX 01 00:30:00\n",
         "track 2 begins before track 1 ends"},
        {"INDEX 00 after INDEX 01", head + "INDEX 00 00:20:00\nINDEX 01 00:10:00\n", "INDEX 00 after its INDEX 01"},
        {"seconds 60", head + "INDEX 01 00:60:00\n", "line 3: seconds must be below 60"},
        {"frames 75", head + "INDEX 01 00:00:75\n", "line 3: frames must be below 75"},
        {"past 24 hours", head + "INDEX 01 1440:00:01\n", "time past 24 hours"},
        {"no TRACK", "TITLE \"x\"\nFILE \"a.wav\" WAVE\n", "no TRACK"},
        {"no INDEX 01", head + "INDEX 00 00:00:00\n", "track 1 has no INDEX 01"},
        {"garbage bytes", "\x89PNG\r\n\x1A\n\xFF\xD8\xFF\xE0", "line 1: does not begin with a cue sheet command"},
        {"a word that fills libcue's buffer", head + "INDEX 01 00:00:00\nTITLE " + std::string(1024, 'x') + "\n",
         "line 4: longer than 1000 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const auto read = CueSheet::read(c.sheet);
        const auto* why = std::get_if<std::string>(&read);
        ASSERT_NE(why, nullptr);
        EXPECT_EQ(why->rfind("damaged cue sheet: ", 0), 0U) << *why;
        EXPECT_NE(why->find(c.reason), std::string::npos) << *why;
    }
}

} // namespace

} // namespace zalvo
