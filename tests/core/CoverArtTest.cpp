#include "CoverArt.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>

namespace fs = std::filesystem;

namespace {

const std::string jpeg("\xFF\xD8\xFF\xE0 a small picture", 20);
const std::string png("\x89PNG\r\n\x1A\n then the rest", 22);

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

TagLib::ByteVector bytes(const std::string& text) {
    return {text.data(), static_cast<unsigned>(text.size())};
}

class CoverArtTest : public testing::Test {
protected:
    fs::path cacheFolder() const { return cache.path() / "covers"; }

    TempDir dir;
    TempDir cache;
    CoverArt covers{cacheFolder()};
};

TEST_F(CoverArtTest, TheFrontCoverWinsAndIsCachedOnceByItsBytes) {
    const fs::path first = encode(dir, "first.mp3", "libmp3lame");
    const fs::path second = encode(dir, "second.mp3", "libmp3lame");
    for (const fs::path& file : {first, second}) {
        TagLib::MPEG::File mpeg(file.c_str());
        for (const auto& [type, picture] : {std::pair{TagLib::ID3v2::AttachedPictureFrame::Other, png},
                                            std::pair{TagLib::ID3v2::AttachedPictureFrame::FrontCover, jpeg}}) {
            auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setType(type);
            frame->setPicture(bytes(picture));
            mpeg.ID3v2Tag(true)->addFrame(frame);
        }
        ASSERT_TRUE(mpeg.save());
    }

    const std::optional<fs::path> cover = covers.locate(first.u16string());
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->parent_path(), cacheFolder());
    EXPECT_EQ(cover->extension(), ".jpg");
    EXPECT_EQ(contents(*cover), jpeg);
    EXPECT_EQ(covers.locate(second.u16string()), cover);
    EXPECT_EQ(std::distance(fs::directory_iterator(cacheFolder()), fs::directory_iterator()), 1);
}

TEST_F(CoverArtTest, APictureMarkedOtherServesWhenNoneIsTheFront) {
    const fs::path flac = encode(dir, "other.flac", "flac");
    TagLib::FLAC::File file(flac.c_str());
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::Other);
    picture->setData(bytes(png));
    file.addPicture(picture);
    ASSERT_TRUE(file.save());

    const std::optional<fs::path> cover = covers.locate(flac.u16string());
    ASSERT_TRUE(cover);
    EXPECT_EQ(contents(*cover), png);
}

TEST_F(CoverArtTest, AnMp4CoverIsFound) {
    const fs::path m4a = encode(dir, "covr.m4a", "aac");
    TagLib::MP4::File file(m4a.c_str());
    file.tag()->setItem(
        "covr", TagLib::MP4::CoverArtList().append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG, bytes(jpeg))));
    ASSERT_TRUE(file.save());

    const std::optional<fs::path> cover = covers.locate(m4a.u16string());
    ASSERT_TRUE(cover);
    EXPECT_EQ(contents(*cover), jpeg);
}

TEST_F(CoverArtTest, AnImageBesideTheTrackServesWhenNoPictureIsEmbedded) {
    const fs::path track = encode(dir, "plain.mp3", "libmp3lame");
    TagLib::MPEG::File mpeg(track.c_str());
    auto* notAnImage = new TagLib::ID3v2::AttachedPictureFrame;
    notAnImage->setPicture(bytes("no picture at all"));
    mpeg.ID3v2Tag(true)->addFrame(notAnImage);
    ASSERT_TRUE(mpeg.save());
    EXPECT_FALSE(covers.locate(track.u16string()));

    std::ofstream(dir.file("notes.jpg"), std::ios::binary) << jpeg;
    std::ofstream(dir.file("cover.png"), std::ios::binary) << "not a picture either";
    // Too large to be a cover: a sparse file costs nothing to make.
    std::ofstream(dir.file("Front.JPG"), std::ios::binary) << jpeg;
    fs::resize_file(dir.file("Front.JPG"), CoverArt::pictureLimit + 1);
    EXPECT_FALSE(covers.locate(track.u16string()));

    std::ofstream(dir.file("Folder.JPG"), std::ios::binary) << jpeg;
    EXPECT_EQ(covers.locate(track.u16string()), dir.file("Folder.JPG"));
    EXPECT_TRUE(fs::is_empty(cache.path()));
}

TEST_F(CoverArtTest, TheCacheStaysUnderItsLimitOldestFirstOut) {
    fs::create_directories(cacheFolder());
    const auto now = fs::file_time_type::clock::now();
    const std::uintmax_t quarter = CoverArt::cacheLimit / 4;
    for (int age = 1; age <= 4; ++age) {
        const fs::path old = cacheFolder() / ("000000000000000" + std::to_string(age) + ".jpg");
        std::ofstream(old, std::ios::binary) << jpeg;
        fs::resize_file(old, quarter);
        fs::last_write_time(old, now - std::chrono::hours(age));
    }
    const fs::path track = encode(dir, "new.flac", "flac");
    TagLib::FLAC::File file(track.c_str());
    auto* picture = new TagLib::FLAC::Picture;
    picture->setData(bytes(jpeg));
    file.addPicture(picture);
    ASSERT_TRUE(file.save());

    const std::optional<fs::path> cover = covers.locate(track.u16string());
    ASSERT_TRUE(cover && fs::exists(*cover));
    EXPECT_FALSE(fs::exists(cacheFolder() / "0000000000000004.jpg"));
    EXPECT_TRUE(fs::exists(cacheFolder() / "0000000000000001.jpg"));
    std::uintmax_t total = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(cacheFolder())) {
        total += entry.file_size();
    }
    EXPECT_LT(total, CoverArt::cacheLimit);
}
} // namespace
