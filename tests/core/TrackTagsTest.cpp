#include "tags/TrackTags.h"

#include "FfmpegEncode.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>

namespace zalvo {

namespace fs = std::filesystem;

namespace {

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
    const fs::path file = encodeTone(dir.file(format.file), format.codec);
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

// The same tone, tagged by ffmpeg with `metadata` given as they are, bytes that are no UTF-8 included.
fs::path encodeTagged(const TempDir& dir, const std::string& name, const std::string& codec,
                      const std::string& metadata) {
    const fs::path file = dir.file(name);
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=0.3 -c:a " +
                                codec + " -metadata '" + metadata + "' '" + file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed: " + command);
    }
    return file;
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t index = 0; index < count; ++index) {
        text += piece;
    }
    return text;
}

const std::string replacement = "\xEF\xBF\xBD";
// One byte, then two-byte characters past the limit: the cut falls one byte short of it, between two.
const std::string longTitle = "a" + repeated("é", TrackTags::valueLimit / 2 + 100);
const std::string longTitleCut = "a" + repeated("é", TrackTags::valueLimit / 2 - 1);

struct TextCase {
    const char* name;
    const char* file;
    std::function<fs::path(const TempDir&, const char* file)> write;
    std::string title;
};

fs::path byFfmpeg(const TempDir& dir, const char* file, const char* codec, const std::string& title) {
    return encodeTagged(dir, file, codec, "title=" + title);
}

class TrackTagsText : public testing::TestWithParam<TextCase> {};

TEST_P(TrackTagsText, KeepsWhatDecodesWithinTheLimit) {
    const TempDir dir;
    const fs::path file = GetParam().write(dir, GetParam().file);
    EXPECT_EQ(TrackTags::read(file.u16string()).title, GetParam().title);
}

fs::path loneSurrogate(const TempDir& dir, const char* file) {
    const fs::path path = encodeTone(dir.file(file), "libmp3lame");
    TagLib::MPEG::File mpeg(path.c_str());
    auto* title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF16);
    // TagLib keeps UTF-16 code units as they come: the high half of a pair, alone.
    title->setText(TagLib::String(std::wstring{L'C', L'a', L'f', wchar_t{0xD83D}, L'!'}));
    mpeg.ID3v2Tag(true)->addFrame(title);
    EXPECT_TRUE(mpeg.save());
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Values, TrackTagsText,
    testing::Values(
        TextCase{"BadByteInFlac", "bad.flac",
                 [](const TempDir& dir, const char* file) { return byFfmpeg(dir, file, "flac", "Caf\xE9 au lait"); },
                 "Caf" + replacement + " au lait"},
        TextCase{
            "BadByteInOggVorbis", "bad.ogg",
            [](const TempDir& dir, const char* file) { return byFfmpeg(dir, file, "libvorbis", "Caf\xE9 au lait"); },
            "Caf" + replacement + " au lait"},
        TextCase{"BadByteInOpus", "bad.opus",
                 [](const TempDir& dir, const char* file) { return byFfmpeg(dir, file, "libopus", "\xFFNuit"); },
                 replacement + "Nuit"},
        // A cut sequence, an overlong form and an encoded surrogate: one replacement for each longest start.
        TextCase{"IllFormedSequences", "forms.flac",
                 [](const TempDir& dir, const char* file) {
                     return byFfmpeg(dir, file, "flac",
                                     "a\xE2\x82"
                                     "b\xC0\xAF"
                                     "c\xED\xA0\x80"
                                     "d");
                 },
                 "a" + replacement + "b" + repeated(replacement, 2) + "c" + repeated(replacement, 3) + "d"},
        TextCase{"LoneSurrogateInId3v2", "surrogate.mp3", loneSurrogate, "Caf" + replacement + "!"},
        TextCase{"OverTheLimitInFlac", "long.flac",
                 [](const TempDir& dir, const char* file) { return byFfmpeg(dir, file, "flac", longTitle); },
                 longTitleCut},
        TextCase{"OverTheLimitInId3v2", "long.mp3",
                 [](const TempDir& dir, const char* file) { return byFfmpeg(dir, file, "libmp3lame", longTitle); },
                 longTitleCut}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackTags, ListsKeepTheirFirstEntries) {
    const TempDir dir;
    const fs::path file = encodeTone(dir.file("crowd.flac"), "flac");
    TagLib::FileRef ref(file.c_str());
    TagLib::PropertyMap map;
    for (std::size_t index = 0; index < TrackTags::listLimit * 2; ++index) {
        map["ARTIST"].append(TagLib::String(std::to_string(index)));
    }
    ref.file()->setProperties(map);
    ASSERT_TRUE(ref.save());
    const TrackTags tags = TrackTags::read(file.u16string());
    ASSERT_EQ(tags.artists.size(), TrackTags::listLimit);
    EXPECT_EQ(tags.artists.back(), std::to_string(TrackTags::listLimit - 1));
}
TEST(TrackTags, OpusR128GainsMeetTheReplayGainReference) {
    const TempDir dir;
    const fs::path file = encodeTone(dir.file("r128.opus"), "libopus");
    TagLib::FileRef ref(file.c_str());
    TagLib::PropertyMap map;
    map["R128_TRACK_GAIN"] = TagLib::StringList("-2560");
    ref.file()->setProperties(map);
    ASSERT_TRUE(ref.save());
    EXPECT_EQ(TrackTags::read(file.u16string()).replayGain.trackGain, -5.0);
}

TEST(TrackTags, ADamagedTagGivesWhatReadsAndNoFileGivesNothing) {
    const TempDir dir;
    const fs::path file = encodeTone(dir.file("damaged.mp3"), "libmp3lame");
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

} // namespace zalvo
