#include "playlist/CueSheetFile.h"

#include "FfmpegEncode.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/TrackOpener.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <taglib/apetag.h>
#include <taglib/wavpackfile.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

// Three seconds of tone, cut at 1 s and 2 s; track 2's pregap belongs to track 1.
constexpr const char* threeTracks = "TITLE \"Trois\"\nFILE \"album.flac\" WAVE\n"
                                    "  TRACK 01 AUDIO\n    TITLE \"Un\"\n    INDEX 01 00:00:00\n"
                                    "  TRACK 02 AUDIO\n    TITLE \"Deux\"\n    INDEX 00 00:00:50\n"
                                    "    INDEX 01 00:01:00\n"
                                    "  TRACK 03 AUDIO\n    TITLE \"Trois\"\n    INDEX 01 00:02:00\n";

class CueSheetFileTest : public testing::Test {
protected:
    fs::path album(const std::string& name) {
        const fs::path file = dir.file(name);
        writeToneFile(file, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 3.0}}});
        return file;
    }

    fs::path sheet(const std::string& name, const std::string& text) {
        const fs::path file = dir.file(name);
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    // Each track opened from the path as "number title begin-end" in CD frames.
    static std::vector<std::string> opened(const fs::path& path) {
        std::vector<std::string> tracks;
        for (const auto& track : TrackOpener::openAll({path.u16string()})) {
            const CueTrack* cue = track->getCueTrack();
            if (cue == nullptr) {
                tracks.emplace_back("whole file");
                continue;
            }
            tracks.push_back(std::to_string(cue->number) + " " + track->getTags()->get().title + " " +
                             std::to_string(cue->span.begin) + "-" +
                             (cue->span.end ? std::to_string(*cue->span.end) : std::string("end")));
        }
        return tracks;
    }

    static void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

    TempDir dir;
};

// A file that carries its sheet, as a FLAC CUESHEET block or comment or a WavPack APE tag, lists as its
// tracks.
TEST_F(CueSheetFileTest, AFileCarryingItsSheetListsAsItsTracks) {
    const fs::path text = sheet("album.cue", threeTracks);
    const std::vector<std::string> named{"1 Un 0-75", "2 Deux 75-150", "3 Trois 150-end"};
    const struct {
        const char* name;
        const char* embed;
        std::vector<std::string> tracks;
    } cases[]{{"comment.flac", "--set-tag-from-file=CUESHEET=", named},
              // The block places the tracks and names none: they keep the file's own title.
              {"block.flac", "--import-cuesheet-from=", {"1  0-75", "2  75-150", "3  150-end"}}};
    for (const auto& [name, embed, tracks] : cases) {
        const fs::path file = album(name);
        run("metaflac '" + std::string(embed) + text.string() + "' '" + file.string() + "'");
        EXPECT_EQ(opened(file), tracks) << name;
        EXPECT_EQ(opened(file.string() + "?2"), std::vector<std::string>{tracks[1]}) << name;
    }
    // WavPack rips carry it as their APE tag's "Cuesheet" item.
    const fs::path wavPack = dir.file("album.wv");
    encodeWithFfmpeg(album("source.flac"), wavPack, "-c:a wavpack");
    {
        TagLib::WavPack::File file(wavPack.c_str());
        file.APETag(true)->addValue("Cuesheet", TagLib::String(threeTracks, TagLib::String::UTF8));
        ASSERT_TRUE(file.save());
    }
    EXPECT_EQ(opened(wavPack), named);
    EXPECT_EQ(opened(wavPack.string() + "?3"), std::vector<std::string>{named[2]});
    const fs::path plain = album("plain.flac");
    EXPECT_EQ(opened(plain), std::vector<std::string>{"whole file"});
    EXPECT_EQ(opened(plain.string() + "?1"), std::vector<std::string>{"whole file"});
}

// A track whose audio is missing, no file, or ends before the track begins is left out with a warning
// naming it, and the others stay; the last track ends where the audio does.
TEST_F(CueSheetFileTest, BadFilesAndTimesLoseOnlyTheTracksTheyConcern) {
    album("album.flac");
    fs::create_directory(dir.file("folder.flac"));
    ASSERT_EQ(mkfifo(dir.file("fifo.flac").c_str(), 0600), 0);
    const auto onFile = [](const std::string& name) {
        return "FILE \"" + name + "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    };
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> tracks;
    } cases[]{
        {"missing", onFile("gone.flac"), {}},
        {"folder", onFile("folder.flac"), {}},
        {"fifo", onFile("fifo.flac"), {}},
        {"past the end",
         std::string(threeTracks) + "  TRACK 04 AUDIO\n    INDEX 01 00:05:00\n",
         {"1 Un 0-75", "2 Deux 75-150", "3 Trois 150-375"}},
        {"second file missing",
         onFile("album.flac") + "FILE \"gone.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n",
         {"1  0-end"}},
    };
    for (const auto& [name, text, tracks] : cases) {
        const LogCapture log;
        EXPECT_EQ(opened(sheet(std::string(name) + ".cue", text)), tracks) << name;
        EXPECT_EQ(log.warningsWith("Left out track"), 1U) << name;
    }
}

} // namespace

} // namespace zalvo
