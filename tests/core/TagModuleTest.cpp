#include "LogCapture.h"
#include "TempDir.h"
#include "decode/TrackDecoder.h"
#include "tags/CoverArt.h"
#include "tags/TrackTags.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

bool mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    return text.find(library) != std::string::npos;
}

// A FLAC track titled "Tagged" that embeds a cover, and the same picture beside it as cover.jpg.
class TaggedTrack {
public:
    TaggedTrack() {
        run("-f lavfi -i color=c=red:s=16x16 -frames:v 1 '" + beside.string() + "'");
        run("-f lavfi -i sine=duration=0.3 -i '" + beside.string() +
            "' -map 0:a -map 1:v -c:v copy -disposition:v attached_pic -metadata title=Tagged '" + track.string() +
            "'");
    }

    TempDir dir;
    TempDir cache;
    const fs::path track = dir.file("track.flac");
    const fs::path beside = dir.file("cover.jpg");
    const CoverArt covers{cache.path() / "covers"};

private:
    static void run(const std::string& arguments) {
        const std::string command = "ffmpeg -nostdin -v error -y " + arguments;
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("ffmpeg failed: " + command);
        }
    }
};

TEST(TagModuleTest, TagLibIsMappedOnlyOnceATrackIsRead) {
    if (std::getenv("ZALVO_MODULE_DIR") != nullptr) {
        GTEST_SKIP() << "the module is made unreachable for another case";
    }
    const TaggedTrack tagged;
    EXPECT_FALSE(mapped("libtag.so"));
    EXPECT_FALSE(mapped("libzalvo_taglib.so"));

    EXPECT_EQ(TrackTags::read(tagged.track.u16string()).title, "Tagged");
    const std::optional<fs::path> cover = tagged.covers.locate(tagged.track.u16string());
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->parent_path(), tagged.cache.path() / "covers");
    EXPECT_TRUE(mapped("libtag.so"));
    EXPECT_TRUE(mapped("libzalvo_taglib.so"));
}

TEST(TagModuleAbsentTest, TracksPlayWithoutTagsOrEmbeddedCoverSaidOnce) {
    if (std::getenv("ZALVO_MODULE_DIR") == nullptr) {
        GTEST_SKIP() << "runs with ZALVO_MODULE_DIR naming a folder without the module";
    }
    const LogCapture log;
    const TaggedTrack tagged;
    for (int read = 0; read < 2; ++read) {
        const TrackTags tags = TrackTags::read(tagged.track.u16string());
        EXPECT_TRUE(tags.title.empty());
        EXPECT_FALSE(tags.replayGain.trackGain);
        EXPECT_EQ(tagged.covers.locate(tagged.track.u16string()), tagged.beside);
    }
    EXPECT_EQ(log.warningsWith("TagLib module"), 1U);
    EXPECT_NE(TrackDecoder::open(tagged.track.string()), nullptr);
}

} // namespace

} // namespace zalvo
