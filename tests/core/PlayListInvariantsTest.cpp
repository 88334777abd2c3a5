#include "PlayListFixture.h"
#include "formats/Archive.h"
#include "formats/ArchiveException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <sstream>
#include <vector>

namespace zalvo {

namespace {

// Long random sequences of everything the windows can do to a playlist, checked after every step
// against the playlist's invariants and a plain model of its paths.
class PlayListInvariantsTest : public PlayListFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override {
        PlayListFixture::SetUp();
        for (int i = 0; i < 4; ++i) {
            files.push_back(makeTrack("short" + std::to_string(i), 0.05));
        }
    }

    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine); }

    void step() {
        const std::size_t entries = size();
        switch (pick(19)) {
        case 0:
        case 1: {
            const std::u16string& file = files[pick(files.size())];
            ASSERT_TRUE(playList.addMusic(file));
            model.push_back(file);
            break;
        }
        case 2:
            ASSERT_FALSE(playList.addMusic(dir.file("missing.wav").u16string()));
            break;
        case 3:
        case 4: {
            const std::size_t index = entries == 0 ? 0 : pick(entries);
            PlayList::Position position =
                pick(2) == 0 ? playList.getCurrentPosition()
                             : std::next(playList.getList()->begin(), static_cast<std::ptrdiff_t>(index));
            if (position != playList.getList()->end()) {
                model.erase(model.begin() + std::distance(playList.getList()->begin(), position));
            }
            playList.removeMusic(position);
            break;
        }
        case 5:
            if (pick(4) == 0) {
                playList.clear();
                model.clear();
            }
            break;
        case 6:
            playList.next(pick(2) == 0);
            break;
        case 7:
            playList.previous();
            break;
        case 8: {
            PlayList::Position position =
                std::next(playList.getList()->begin(), static_cast<std::ptrdiff_t>(pick(entries + 1)));
            playList.playAt(position);
            break;
        }
        case 9:
            settings().volumeUp();
            break;
        case 10:
            settings().volumeDown();
            break;
        case 11:
            settings().toggleRepeat();
            break;
        case 12:
            settings().toggleShuffle();
            break;
        case 13:
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            playList.advanceIfFinished();
            break;
        case 14:
            if (Music* current = playList.getCurrent()) {
                current->playPause();
            }
            break;
        case 15:
            if (Music* current = playList.getCurrent()) {
                current->stop();
            }
            break;
        case 16:
            saveAndLoad();
            break;
        case 17:
            moveCurrentEntry();
            break;
        default:
            playList.advanceIfFinished();
            break;
        }
    }

    // Saves, then loads back the whole file or, now and then, a cut-short copy of it.
    void saveAndLoad() {
        std::ostringstream out;
        Archive storing(out);
        playList.Serialize(storing);
        std::string bytes = out.str();
        const bool truncate = pick(3) == 0 && !bytes.empty();
        if (truncate) {
            bytes.resize(pick(bytes.size()));
        }
        std::istringstream in(bytes);
        Archive loading(in);
        try {
            playList.Serialize(loading);
            ASSERT_FALSE(truncate);
        } catch (const ArchiveException& error) {
            ASSERT_TRUE(truncate);
            ASSERT_EQ(error.getCause(), ArchiveException::Cause::EndOfFile);
            model.resize(size());
        }
    }

    // What the playlist manager does to move an entry: relink it elsewhere, then name the current entry.
    void moveCurrentEntry() {
        PlayList::TrackList& list = *playList.getList();
        const PlayList::Position current = playList.getCurrentPosition();
        if (current == list.end()) {
            return;
        }
        const auto from = std::distance(list.begin(), current);
        const auto to = static_cast<std::ptrdiff_t>(pick(list.size()));
        const std::u16string moved = model[static_cast<std::size_t>(from)];
        model.erase(model.begin() + from);
        model.insert(model.begin() + to, moved);
        std::unique_lock<std::recursive_mutex> lock(playList.mutex, std::defer_lock);
        lock.lock();
        list.splice(std::next(list.begin(), to + (to > from ? 1 : 0)), list, current);
        playList.setCurrentPosition(current);
        lock.unlock();
    }

    void checkInvariants() {
        const PlayList::TrackList& list = *playList.getList();
        const PlayList::Position current = playList.getCurrentPosition();
        bool currentFound = current == list.end();
        std::size_t sounding = 0;
        std::vector<std::u16string> paths;
        for (auto position = list.begin(); position != list.end(); ++position) {
            const Music& music = **position;
            currentFound = currentFound || position == current;
            paths.push_back(music.getPath());
            EXPECT_TRUE(std::find(files.begin(), files.end(), music.getPath()) != files.end());
            if (!music.isStopped()) {
                ++sounding;
                EXPECT_EQ(position, current) << "a track sounds that is not the current one";
            }
            if (music.isPlaying()) {
                EXPECT_FLOAT_EQ(music.getVolume(), settings().getVolume());
            }
        }
        EXPECT_TRUE(currentFound) << "current designates no entry";
        EXPECT_TRUE(!list.empty() || current == list.end());
        EXPECT_LE(sounding, 1U);
        EXPECT_EQ(paths, model);
    }

    std::mt19937 engine{GetParam()};
    std::vector<std::u16string> files;
    std::vector<std::u16string> model;
};

} // namespace

TEST_P(PlayListInvariantsTest, HoldAfterEveryOperation) {
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        step();
        checkInvariants();
        if (HasFailure()) {
            return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, PlayListInvariantsTest, ::testing::Values(1U, 2U, 3U, 4U));

} // namespace zalvo
