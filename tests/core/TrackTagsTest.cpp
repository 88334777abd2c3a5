#include "TrackTags.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

namespace fs = std::filesystem;

namespace {

// A short tone through ffmpeg's encoders, as people's files are made.
fs::path encode(const TempDir& dir, const std::string& name, const std::string& codec) {
    const fs::path file = dir.file(name);
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=0.3 -c:a " +
                                codec + " '" + file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed: " + command);
    }
    return file;
}

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeTags(const fs::path& file) {
    TagLib::FileRef ref(file.c_str());
    ASSERT_FALSE(ref.isNull()) << file;
    TagLib::PropertyMap map;
    map["TITLE"] = TagLib::StringList(TagLib::String("Étude", TagLib::String::UTF8));
    map["ARTIST"] = TagLib::StringList("First");
    map["ARTIST"].append("Second");
    map["ALBUM"] = TagLib::StringList("The Album");
    map["ALBUMARTIST"] = TagLib::StringList("The Band");
    map["TRACKNUMBER"] = TagLib::StringList("3/12");
    map["DISCNUMBER"] = TagLib::StringList("2/2");
    map["GENRE"] = TagLib::StringList("Jazz");
    map["DATE"] = TagLib::StringList("2019-05-01");
    map["REPLAYGAIN_TRACK_GAIN"] = TagLib::StringList("-6.50 dB");
    map["REPLAYGAIN_TRACK_PEAK"] = TagLib::StringList("0.988");
    map["REPLAYGAIN_ALBUM_GAIN"] = TagLib::StringList("+1.25 dB");
    map["REPLAYGAIN_ALBUM_PEAK"] = TagLib::StringList("1.0");
    ref.file()->setProperties(map);
    // MP4 and ASF keep ReplayGain where the generic properties do not reach.
    const std::pair<const char*, const char*> gains[] = {{"replaygain_track_gain", "-6.50 dB"},
                                                         {"replaygain_track_peak", "0.988"},
                                                         {"replaygain_album_gain", "+1.25 dB"},
                                                         {"replaygain_album_peak", "1.0"}};
    for (const auto& [key, value] : gains) {
        if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file())) {
            mp4->tag()->setItem(TagLib::String("----:com.apple.iTunes:") + key, TagLib::StringList(value));
        } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(ref.file())) {
            asf->tag()->setAttribute(key, TagLib::ASF::Attribute(TagLib::String(value)));
        }
    }
    ASSERT_TRUE(ref.save()) << file;
}

struct TaggedFormat {
    const char* file;
    const char* codec;
    // ASF keeps one author: TagLib joins several artists into it.
    std::vector<std::string> artists{"First", "Second"};
};

class TrackTagsFormat : public testing::TestWithParam<TaggedFormat> {};

TEST_P(TrackTagsFormat, EveryFieldReadsBack) {
    const TempDir dir;
    const TaggedFormat& format = GetParam();
    const fs::path file = encode(dir, format.file, format.codec);
    writeTags(file);

    const TrackTags tags = TrackTags::read(file.u16string());
    EXPECT_EQ(tags.title, "Étude");
    EXPECT_EQ(tags.artists, format.artists);
    EXPECT_EQ(tags.artist, format.artists.front());
    EXPECT_EQ(tags.album, "The Album");
    EXPECT_EQ(tags.albumArtists, std::vector<std::string>{"The Band"});
    EXPECT_EQ(tags.genres, std::vector<std::string>{"Jazz"});
    EXPECT_EQ(tags.trackNumber, 3U);
    EXPECT_EQ(tags.discNumber, 2U);
    EXPECT_EQ(tags.year, 2019U);
    EXPECT_EQ(tags.replayGain.trackGain, -6.5);
    EXPECT_EQ(tags.replayGain.trackPeak, 0.988);
    EXPECT_EQ(tags.replayGain.albumGain, 1.25);
    EXPECT_EQ(tags.replayGain.albumPeak, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, TrackTagsFormat,
                         testing::Values(TaggedFormat{"id3.mp3", "libmp3lame"}, TaggedFormat{"vorbis.flac", "flac"},
                                         TaggedFormat{"vorbis.ogg", "libvorbis"},
                                         TaggedFormat{"vorbis.opus", "libopus"}, TaggedFormat{"riff.wav", "pcm_s16le"},
                                         TaggedFormat{"id3.aiff", "pcm_s16be"}, TaggedFormat{"atoms.m4a", "aac"},
                                         TaggedFormat{"alac.m4a", "alac"},
                                         TaggedFormat{"asf.wma", "wmav2", {"First Second"}},
                                         TaggedFormat{"ape.wv", "wavpack"}, TaggedFormat{"id3.tta", "tta"}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(TrackTags, OpusR128GainsMeetTheReplayGainReference) {
    const TempDir dir;
    const fs::path file = encode(dir, "r128.opus", "libopus");
    TagLib::FileRef ref(file.c_str());
    TagLib::PropertyMap map;
    map["R128_TRACK_GAIN"] = TagLib::StringList("-2560");
    ref.file()->setProperties(map);
    ASSERT_TRUE(ref.save());
    EXPECT_EQ(TrackTags::read(file.u16string()).replayGain.trackGain, -5.0);
}

TEST(TrackTags, ADamagedTagGivesWhatReadsAndNoFileGivesNothing) {
    const TempDir dir;
    const fs::path file = encode(dir, "damaged.mp3", "libmp3lame");
    writeTags(file);
    std::string data = contents(file);
    // The track number's frame, written last, claims more bytes than the tag holds; the frames before it
    // still read.
    const std::size_t trackNumber = data.find("TRCK");
    ASSERT_NE(trackNumber, std::string::npos);
    data.replace(trackNumber + 4, 4, "\x7F\x7F\x7F\x7F");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << data;

    const TrackTags tags = TrackTags::read(file.u16string());
    EXPECT_EQ(tags.title, "Étude");
    EXPECT_EQ(tags.album, "The Album");
    EXPECT_EQ(tags.trackNumber, 0U);
    EXPECT_TRUE(TrackTags::read(dir.file("missing.mp3").u16string()).title.empty());
    EXPECT_TRUE(TrackTags::read(dir.path().u16string()).title.empty());
    // A NUL would cut the name short, at the tagged file.
    EXPECT_TRUE(TrackTags::read(file.u16string() + u'\0' + u"other").title.empty());
}

} // namespace
