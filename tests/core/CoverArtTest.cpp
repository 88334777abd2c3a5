#include "tags/CoverArt.h"

#include "FfmpegEncode.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

namespace zalvo {

namespace fs = std::filesystem;

namespace {

const std::string jpeg("\xFF\xD8\xFF\xE0 a small picture", 20);
const std::string png("\x89PNG\r\n\x1A\n then the rest", 22);

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TagLib::ByteVector bytes(const std::string& text) {
    return {text.data(), static_cast<unsigned>(text.size())};
}

// A FLAC track carrying `picture` as its only picture.
fs::path trackWithPicture(const TempDir& dir, const std::string& name, const std::string& picture) {
    const fs::path track = encodeTone(dir.file(name), "flac");
    TagLib::FLAC::File file(track.c_str());
    auto* frame = new TagLib::FLAC::Picture;
    frame->setType(TagLib::FLAC::Picture::FrontCover);
    frame->setData(bytes(picture));
    file.addPicture(frame);
    if (!file.save()) {
        throw std::runtime_error("could not tag " + track.string());
    }
    return track;
}

// What a file is, its size, first bytes and modification time: what a cache must leave as it found.
struct Snapshot {
    fs::file_type type = fs::file_type::none;
    std::uintmax_t size = 0;
    std::string head;
    fs::file_time_type time;

    static Snapshot of(const fs::path& file) {
        Snapshot snapshot{};
        snapshot.type = fs::symlink_status(file).type();
        if (snapshot.type == fs::file_type::regular) {
            snapshot.size = fs::file_size(file);
            snapshot.head.resize(64);
            std::ifstream(file, std::ios::binary).read(snapshot.head.data(), 64);
            snapshot.time = fs::last_write_time(file);
        }
        return snapshot;
    }
    bool operator==(const Snapshot&) const = default;
    friend void PrintTo(const Snapshot& snapshot, std::ostream* out) {
        *out << static_cast<int>(snapshot.type) << ", " << snapshot.size << " bytes, modified "
             << snapshot.time.time_since_epoch().count();
    }
};

// A sparse file: a large one costs nothing to make.
void writeSized(const fs::path& file, std::uintmax_t size, std::chrono::hours age) {
    std::ofstream(file, std::ios::binary) << jpeg;
    fs::resize_file(file, size);
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
}

// Holds a FIFO's read end, so that a writer never waits on it: a cache that wrongly writes into one
// fails an expectation instead of hanging the test.
class PlantedFifo final {
public:
    explicit PlantedFifo(const fs::path& path) {
        if (::mkfifo(path.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo failed: " + path.string());
        }
        reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PlantedFifo() { ::close(reader); }
    PlantedFifo(const PlantedFifo&) = delete;
    PlantedFifo& operator=(const PlantedFifo&) = delete;

private:
    int reader;
};

class CoverArtTest : public testing::Test {
protected:
    fs::path cacheFolder() const { return cache.path() / "covers"; }

    TempDir dir;
    TempDir cache;
    CoverArt covers{cacheFolder()};
};

TEST_F(CoverArtTest, TheFrontCoverWinsAndIsCachedOnceByItsBytes) {
    const fs::path first = encodeTone(dir.file("first.mp3"), "libmp3lame");
    const fs::path second = encodeTone(dir.file("second.mp3"), "libmp3lame");
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
    const fs::path flac = encodeTone(dir.file("other.flac"), "flac");
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
    const fs::path m4a = encodeTone(dir.file("covr.m4a"), "aac");
    TagLib::MP4::File file(m4a.c_str());
    file.tag()->setItem(
        "covr", TagLib::MP4::CoverArtList().append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG, bytes(jpeg))));
    ASSERT_TRUE(file.save());

    const std::optional<fs::path> cover = covers.locate(m4a.u16string());
    ASSERT_TRUE(cover);
    EXPECT_EQ(contents(*cover), jpeg);
}

TEST_F(CoverArtTest, AnImageBesideTheTrackServesWhenNoPictureIsEmbedded) {
    const fs::path track = encodeTone(dir.file("plain.mp3"), "libmp3lame");
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
    const fs::path track = encodeTone(dir.file("new.flac"), "flac");
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

TEST_F(CoverArtTest, TheFolderIsMadeForTheUserAlone) {
    const fs::path track = trackWithPicture(dir, "track.flac", jpeg);
    const CoverArt nested(cache.path() / "zalvo" / "covers");
    ASSERT_TRUE(nested.locate(track.u16string()));
    for (const fs::path& folder : {cache.path() / "zalvo", cache.path() / "zalvo" / "covers"}) {
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    }
}

TEST_F(CoverArtTest, ACoverSeenAgainIsTouchedAsRecentlyUsed) {
    const fs::path track = trackWithPicture(dir, "track.flac", jpeg);
    const std::optional<fs::path> cover = covers.locate(track.u16string());
    ASSERT_TRUE(cover);
    const auto dayOld = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(*cover, dayOld);
    EXPECT_EQ(covers.locate(track.u16string()), cover);
    EXPECT_GT(fs::last_write_time(*cover), dayOld);
}

// A covers folder that is not the user's own is left alone: no cover cached in it, nothing deleted;
// the image beside the track still serves.
enum class ForeignFolder { Symlink, OtherOwner };

std::string nameOf(ForeignFolder folder) {
    return folder == ForeignFolder::Symlink ? "Symlink" : "OtherOwner";
}

void PrintTo(ForeignFolder folder, std::ostream* out) {
    *out << nameOf(folder);
}

class CoverArtForeignFolder : public CoverArtTest, public testing::WithParamInterface<ForeignFolder> {};

TEST_P(CoverArtForeignFolder, IsNeitherWrittenNorTrimmed) {
    const fs::path folder = dir.file("mine");
    fs::create_directory(folder);
    if (GetParam() == ForeignFolder::Symlink) {
        fs::create_directories(cache.path());
        fs::create_directory_symlink(folder, cacheFolder());
    } else {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "only root can give a folder to another user";
        }
        fs::rename(folder, cacheFolder());
        fs::create_directory_symlink(cacheFolder(), folder);
    }
    // Well over the cache's limit, old, and some named as the cache names its covers.
    std::map<std::string, Snapshot> before;
    for (int i = 0; i < 60; ++i) {
        const std::string name =
            i % 2 == 0 ? "00000000000000" + std::to_string(10 + i) + ".jpg" : "photo" + std::to_string(i) + ".jpg";
        writeSized(folder / name, CoverArt::cacheLimit / 20, std::chrono::hours(100 + i));
        before.emplace(name, Snapshot::of(folder / name));
    }
    if (GetParam() == ForeignFolder::OtherOwner) {
        ASSERT_EQ(::chown(cacheFolder().c_str(), 65534, 65534), 0);
    }
    const fs::path track = trackWithPicture(dir, "track.flac", jpeg);
    std::ofstream(dir.file("cover.jpg"), std::ios::binary) << jpeg;

    EXPECT_EQ(covers.locate(track.u16string()), dir.file("cover.jpg"));
    std::map<std::string, Snapshot> after;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        after.emplace(entry.path().filename().string(), Snapshot::of(entry.path()));
    }
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Folders, CoverArtForeignFolder,
                         testing::Values(ForeignFolder::Symlink, ForeignFolder::OtherOwner),
                         [](const auto& info) { return nameOf(info.param); });

// Whatever sits at a name the cache means to use, it is never opened as a file to read or write
// through, nor followed: the cover served is a file of the cache's own with the picture's bytes.
enum class Planted {
    FifoAtPartial,
    FifoAtEntry,
    SymlinkToSameSizeNonImage,
    SymlinkToThePicture,
    SameSizeNonImage,
    HalfThePicture,
    SameHeadOtherTail,
    FolderAtEntry
};

struct PlantedCase {
    const char* name;
    Planted planted;
    bool served;

    friend void PrintTo(const PlantedCase& planted, std::ostream* out) { *out << planted.name; }
};

class CoverArtPlanted : public CoverArtTest, public testing::WithParamInterface<PlantedCase> {
protected:
    // The entry's name, as a cache elsewhere gives it.
    std::string entryName(const fs::path& track) const {
        const TempDir scratch;
        const std::optional<fs::path> cover = CoverArt(scratch.path()).locate(track.u16string());
        return cover ? cover->filename().string() : std::string();
    }
};

TEST_P(CoverArtPlanted, IsNeitherFollowedNorServed) {
    const fs::path track = trackWithPicture(dir, "track.flac", jpeg);
    const std::string entry = entryName(track);
    ASSERT_FALSE(entry.empty());
    fs::create_directories(cacheFolder());
    const fs::path outside = dir.file("user's file");
    std::unique_ptr<PlantedFifo> fifo;
    const fs::path partial = cacheFolder() / (entry + ".part" + std::to_string(::getpid()));
    switch (GetParam().planted) {
    case Planted::FifoAtPartial:
        fifo = std::make_unique<PlantedFifo>(partial);
        break;
    case Planted::FifoAtEntry:
        fifo = std::make_unique<PlantedFifo>(cacheFolder() / entry);
        break;
    case Planted::SymlinkToSameSizeNonImage:
    case Planted::SymlinkToThePicture:
        std::ofstream(outside, std::ios::binary)
            << (GetParam().planted == Planted::SymlinkToThePicture ? jpeg : std::string(jpeg.size(), 'x'));
        fs::last_write_time(outside, fs::file_time_type::clock::now() - std::chrono::hours(24));
        fs::create_symlink(outside, cacheFolder() / entry);
        break;
    case Planted::SameSizeNonImage:
        std::ofstream(cacheFolder() / entry, std::ios::binary) << std::string(jpeg.size(), 'x');
        break;
    case Planted::HalfThePicture:
        std::ofstream(cacheFolder() / entry, std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);
        break;
    case Planted::SameHeadOtherTail:
        std::ofstream(cacheFolder() / entry, std::ios::binary) << jpeg.substr(0, jpeg.size() - 1) << '~';
        break;
    case Planted::FolderAtEntry:
        fs::create_directory(cacheFolder() / entry);
        break;
    }
    const Snapshot outsideBefore = Snapshot::of(outside);

    const std::optional<fs::path> cover = covers.locate(track.u16string());
    if (GetParam().served) {
        ASSERT_EQ(cover, cacheFolder() / entry);
        ASSERT_EQ(fs::symlink_status(*cover).type(), fs::file_type::regular);
        EXPECT_EQ(contents(*cover), jpeg);
    } else {
        EXPECT_FALSE(cover);
    }
    EXPECT_EQ(Snapshot::of(outside), outsideBefore);
    if (GetParam().planted == Planted::FifoAtPartial) {
        EXPECT_EQ(fs::symlink_status(partial).type(), fs::file_type::fifo);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, CoverArtPlanted,
                         testing::Values(PlantedCase{"FifoAtPartial", Planted::FifoAtPartial, true},
                                         PlantedCase{"FifoAtEntry", Planted::FifoAtEntry, true},
                                         PlantedCase{"SymlinkToSameSizeNonImage", Planted::SymlinkToSameSizeNonImage,
                                                     true},
                                         PlantedCase{"SymlinkToThePicture", Planted::SymlinkToThePicture, true},
                                         PlantedCase{"SameSizeNonImage", Planted::SameSizeNonImage, true},
                                         PlantedCase{"HalfThePicture", Planted::HalfThePicture, true},
                                         PlantedCase{"SameHeadOtherTail", Planted::SameHeadOtherTail, true},
                                         PlantedCase{"FolderAtEntry", Planted::FolderAtEntry, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CoverArtTest, TheTrimDeletesOnlyItsOwnFiles) {
    fs::create_directories(cacheFolder());
    const fs::path outside = dir.file("user's file");
    writeSized(outside, CoverArt::cacheLimit / 4, std::chrono::hours(200));
    struct Placed {
        const char* name;
        int hoursOld;
        bool kept;
    };
    // All larger than the cover about to be cached, together far over the limit; only the cache's
    // own covers count towards it, so the oldest of them alone has to go.
    const std::vector<Placed> placed{
        {"notes.txt", 200, true},
        {"0123456789ABCDEF.jpg", 200, true},
        {"0123456789abcde.jpg", 200, true},
        {"0123456789abcdef0.jpg", 200, true},
        {"0123456789abcdef.jpeg", 200, true},
        {"0123456789abcdef.tiff", 200, true},
        {"0123456789abcdef.jpg.bak", 200, true},
        {"0123456789abcdef.jpg.part12x", 200, true},
        {"0123456789abcdef.jpg.part", 200, true},
        {"00000000000000aa.jpg.part1", 2, false},
        {"00000000000000ac.png.part1-2", 2, false},
        {"0000000000000001.png", 103, false},
        {"0000000000000002.gif", 102, true},
        {"0000000000000003.webp", 101, true},
        {"0000000000000004.bmp", 100, true},
    };
    for (const Placed& file : placed) {
        writeSized(cacheFolder() / file.name, CoverArt::cacheLimit / 4, std::chrono::hours(file.hoursOld));
    }
    fs::create_symlink(outside, cacheFolder() / "00000000000000ff.jpg");
    fs::create_directory(cacheFolder() / "00000000000000fe.jpg");
    // A partial written this minute may be another player's, still writing.
    writeSized(cacheFolder() / "00000000000000ab.jpg.part2", 10, std::chrono::hours(0));
    const Snapshot outsideBefore = Snapshot::of(outside);
    const fs::path track = trackWithPicture(dir, "track.flac", png);

    ASSERT_TRUE(covers.locate(track.u16string()));
    for (const Placed& file : placed) {
        EXPECT_EQ(fs::exists(cacheFolder() / file.name), file.kept) << file.name;
    }
    EXPECT_TRUE(fs::is_symlink(cacheFolder() / "00000000000000ff.jpg"));
    EXPECT_TRUE(fs::is_directory(cacheFolder() / "00000000000000fe.jpg"));
    EXPECT_TRUE(fs::exists(cacheFolder() / "00000000000000ab.jpg.part2"));
    EXPECT_EQ(Snapshot::of(outside), outsideBefore);
}

} // namespace

} // namespace zalvo
