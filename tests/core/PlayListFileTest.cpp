#include "PlayListFixture.h"
#include "formats/Archive.h"
#include "formats/ArchiveException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

namespace zalvo {

namespace {

std::string littleEndian32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFFU));
    }
    return bytes;
}

// A short path as the playlist writes it: wide marker, one-byte length, UTF-16LE units.
std::string wide(const std::u16string& path) {
    std::string bytes = "\xFF\xFE\xFF";
    bytes.push_back(static_cast<char>(path.size()));
    for (const char16_t unit : path) {
        bytes.push_back(static_cast<char>(unit & 0xFFU));
        bytes.push_back(static_cast<char>(unit >> 8U));
    }
    return bytes;
}

std::string narrow(const std::string& path) {
    return static_cast<char>(path.size()) + path;
}

class PlayListFileTest : public PlayListFixture {
protected:
    std::string save() {
        std::ostringstream out;
        Archive archive(out);
        playList.Serialize(archive);
        return out.str();
    }

    // The archive's error that ended the load, if one did.
    std::optional<ArchiveException::Cause> load(const std::string& bytes) {
        std::istringstream in(bytes);
        Archive archive(in);
        try {
            playList.Serialize(archive);
        } catch (const ArchiveException& error) {
            return error.getCause();
        }
        return std::nullopt;
    }

    std::vector<std::u16string> paths() {
        std::vector<std::u16string> result;
        for (const std::unique_ptr<Music>& music : *playList.getList()) {
            result.push_back(music->getPath());
        }
        return result;
    }

    // A load cut short holds what came before the error, all stopped, with no current track.
    void expectEndOfFileLeaving(const std::string& bytes, const std::vector<std::u16string>& expected) {
        EXPECT_EQ(load(bytes), ArchiveException::Cause::EndOfFile);
        EXPECT_EQ(paths(), expected);
        EXPECT_EQ(currentIndex(), none);
        EXPECT_EQ(playingIndex(), none);
    }
};

} // namespace

TEST_F(PlayListFileTest, EmptyPlayListIsFourZeroBytes) {
    EXPECT_EQ(save(), std::string(4, '\0'));
    addTracks(1);
    EXPECT_EQ(load(std::string(4, '\0')), std::nullopt);
    EXPECT_EQ(size(), 0U);
    EXPECT_EQ(playList.getCurrent(), nullptr);
}

TEST_F(PlayListFileTest, SavesCountThenWidePathsWithoutTouchingPlayback) {
    addTracks(2);
    playList.next(true);
    EXPECT_EQ(save(), littleEndian32(2) + wide(track(0).getPath()) + wide(track(1).getPath()));
    EXPECT_EQ(currentIndex(), 1U);
    EXPECT_EQ(playingIndex(), 1U);
}

TEST_F(PlayListFileTest, SaveThenLoadGivesTheSameTracksFirstCurrentAndStopped) {
    setVolume(60.0F);
    for (const AudioFormat format : {AudioFormat::Wav, AudioFormat::Flac, AudioFormat::Ogg, AudioFormat::Mp3}) {
        ASSERT_TRUE(playList.addMusic(makeTrack("track", 0.2, format)));
    }
    const std::vector<std::u16string> saved = paths();
    playList.next(true);
    const std::filesystem::path file = dir.file("list.zpl");
    {
        std::ofstream out(file, std::ios::binary);
        Archive archive(out);
        playList.Serialize(archive);
        archive.flush();
    }
    std::ifstream in(file, std::ios::binary);
    Archive archive(in);
    playList.Serialize(archive);
    EXPECT_EQ(paths(), saved);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), none);
    for (std::size_t i = 0; i < size(); ++i) {
        EXPECT_FLOAT_EQ(track(i).getVolume(), 60.0F);
    }
}

TEST_F(PlayListFileTest, LongAndNonBmpPathsRoundTrip) {
    std::filesystem::path deep = dir.path();
    while (deep.u16string().size() + 1 + 100 + 10 < 300) {
        deep /= std::string(100, 'd');
    }
    deep /= std::string(300 - deep.u16string().size() - 1 - 4, 'n');
    std::filesystem::create_directories(deep.parent_path());
    const std::u16string longPath = deep.u16string() + u".wav";
    ASSERT_EQ(longPath.size(), 300U);
    writeToneFile(std::filesystem::path(longPath), AudioFormat::Wav);
    ASSERT_TRUE(playList.addMusic(longPath));
    ASSERT_TRUE(playList.addMusic(makeTrack("caf\u00E9 \U0001F3B5")));

    const std::string bytes = save();
    EXPECT_EQ(bytes.substr(4, 6), "\xFF\xFE\xFF\xFF\x2C\x01");
    EXPECT_EQ(bytes.substr(4 + 6, 600), std::string(reinterpret_cast<const char*>(longPath.data()), 600));
    const std::vector<std::u16string> saved = paths();
    const std::u16string name = u"caf\u00E9 \U0001F3B5.wav";
    EXPECT_EQ(saved[1].substr(saved[1].size() - name.size()), name);
    EXPECT_EQ(load(bytes), std::nullopt);
    EXPECT_EQ(paths(), saved);
}

TEST_F(PlayListFileTest, NarrowPathsLoadLikeWideOnes) {
    const std::u16string path = makeTrack("caf\u00E9");
    const std::string directory = dir.path().string() + "/";
    const std::string asUtf8 = narrow(directory + "caf\xC3\xA9.wav");
    const std::string asWindows1252 = narrow(directory + "caf\xE9.wav");
    EXPECT_EQ(load(littleEndian32(2) + asUtf8 + asWindows1252), std::nullopt);
    EXPECT_EQ(paths(), (std::vector<std::u16string>{path, path}));
}

TEST_F(PlayListFileTest, PathsThatNoLongerOpenAreSkipped) {
    addTracks(3);
    const std::vector<std::u16string> saved = paths();
    const std::string bytes = save();
    std::filesystem::remove(std::filesystem::path(saved[1]));
    EXPECT_EQ(load(bytes), std::nullopt);
    EXPECT_EQ(paths(), (std::vector<std::u16string>{saved[0], saved[2]}));
    EXPECT_EQ(currentIndex(), 0U);

    EXPECT_EQ(load(littleEndian32(1) + wide(u"C:\\a.ogg")), std::nullopt);
    EXPECT_EQ(size(), 0U);
}

TEST_F(PlayListFileTest, LongPlayListsKeepTheirOrderAndSkipWhatDoesNotOpen) {
    const std::vector<std::u16string> real{makeTrack("a"), makeTrack("b", 0.2, AudioFormat::Ogg),
                                           makeTrack("c", 0.2, AudioFormat::Flac)};
    std::string bytes = littleEndian32(600);
    std::vector<std::u16string> expected;
    for (std::size_t i = 0; i < 600; ++i) {
        if (i % 7 == 3) {
            bytes += wide(u"/no/such/track.wav");
            continue;
        }
        bytes += wide(real[i % real.size()]);
        expected.push_back(real[i % real.size()]);
    }
    EXPECT_EQ(load(bytes), std::nullopt);
    EXPECT_EQ(paths(), expected);
    EXPECT_EQ(currentIndex(), 0U);

    expectEndOfFileLeaving(bytes.substr(0, bytes.size() - 1), {expected.begin(), expected.end() - 1});
}

TEST_F(PlayListFileTest, TruncatedFilesKeepWhatLoadedBeforeTheEnd) {
    addTracks(2);
    const std::vector<std::u16string> saved = paths();
    const std::string bytes = save();
    const std::size_t firstEnds = 4 + wide(saved[0]).size();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        ASSERT_TRUE(playList.addMusic(saved[0]));
        playList.next(true);
        const std::vector<std::u16string> expected =
            cut < firstEnds ? std::vector<std::u16string>{} : std::vector<std::u16string>{saved[0]};
        expectEndOfFileLeaving(bytes.substr(0, cut), expected);
    }
}

TEST_F(PlayListFileTest, HostileLengthsAndCountsEndWithEndOfFile) {
    const std::u16string path = makeTrack("kept");
    const std::string kept = wide(path);
    expectEndOfFileLeaving(littleEndian32(2) + kept + "\xFF\xFE\xFF\xFF\xFF\xFF\xFE\xFF\xFF\xFF" + "abc", {path});
    expectEndOfFileLeaving(
        littleEndian32(2) + kept + "\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + std::string(8, '\xFF') + "abc", {path});
    expectEndOfFileLeaving(littleEndian32(0x80000001U) + kept + kept, {path, path});
    expectEndOfFileLeaving(littleEndian32(0xFFFFFFFFU) + std::string(1000, '\0'), {});
}

TEST_F(PlayListFileTest, RandomBytesEndWithEndOfFile) {
    const std::string kept = wide(makeTrack("kept"));
    std::mt19937 engine(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 400);
    for (int round = 0; round < 200; ++round) {
        std::string bytes = littleEndian32(0x80000000U | static_cast<std::uint32_t>(engine())) + kept;
        bytes.resize(bytes.size() + length(engine));
        for (std::size_t i = 4 + kept.size(); i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(byte(engine));
        }
        EXPECT_EQ(load(bytes), ArchiveException::Cause::EndOfFile);
        EXPECT_EQ(currentIndex(), none);
        EXPECT_GE(size(), 1U);
        for (const std::unique_ptr<Music>& music : *playList.getList()) {
            EXPECT_FALSE(music->getPath().empty());
            EXPECT_TRUE(music->isStopped());
        }
    }
}

TEST_F(PlayListFileTest, FailedSaveLeavesThePlayListAlone) {
    addTracks(2);
    playList.next(true);
    std::ostringstream out;
    out.setstate(std::ios_base::badbit);
    Archive archive(out);
    EXPECT_THROW(playList.Serialize(archive), ArchiveException);
    EXPECT_EQ(size(), 2U);
    EXPECT_EQ(playingIndex(), 1U);
}

} // namespace zalvo
