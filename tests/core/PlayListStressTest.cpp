#include "PlayListFixture.h"
#include "formats/Archive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <utility>

namespace zalvo {

namespace {

using namespace std::chrono_literals;

class PlayListStressTest : public PlayListFixture {};

// The window's timer on one thread, the user and the manager on another, with tracks short enough to
// keep ending: every span that reads or changes the list must hold the lock. Run under ThreadSanitizer
// by `make tsan`.
TEST_F(PlayListStressTest, TickTransportAndEditsFromTwoThreads) {
    addTracks(5, 0.05);
    std::ostringstream saved;
    {
        Archive archive(saved);
        playList.Serialize(archive);
    }
    const std::u16string extra = makeTrack("extra", 0.05);

    std::atomic<bool> done = false;
    std::jthread ticker([&] {
        while (!done) {
            playList.advanceIfFinished();
            std::this_thread::sleep_for(1ms);
        }
    });

    std::mt19937 random(7);
    const auto pick = [&] { return positionAt(random() % size()); };
    const auto until = std::chrono::steady_clock::now() + 1500ms;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(100us);
        const std::scoped_lock lock(playList.mutex);
        switch (random() % 8) {
        case 0:
            playList.next(true);
            break;
        case 1:
            playList.previous();
            break;
        case 2:
            if (size() > 0) {
                PlayList::Position position = pick();
                playList.playAt(position);
            }
            break;
        case 3:
            if (size() > 2) {
                PlayList::Position position = pick();
                playList.removeMusic(position);
            }
            playList.addMusic(extra);
            break;
        case 4:
            // The manager's move up: take the entry out and put it back one place earlier.
            if (size() > 1) {
                const PlayList::Position position = std::next(pick());
                const bool wasCurrent = position == playList.getCurrentPosition();
                if (position != playList.getList()->end()) {
                    std::unique_ptr<Music> moved = std::move(*position);
                    const PlayList::Position before = std::prev(position);
                    playList.getList()->erase(position);
                    const PlayList::Position inserted = playList.getList()->insert(before, std::move(moved));
                    if (wasCurrent) {
                        playList.setCurrentPosition(inserted);
                    }
                }
            }
            break;
        case 5: {
            std::istringstream in(saved.str());
            Archive archive(in);
            playList.Serialize(archive);
            break;
        }
        case 6:
            if (Music* current = playList.getCurrent()) {
                current->playPause();
            }
            break;
        default:
            random() % 2 == 0 ? settings().toggleRepeat() : settings().toggleShuffle();
            break;
        }
    }
    done = true;
    ticker.join();

    const std::scoped_lock lock(playList.mutex);
    EXPECT_GE(size(), 3U);
    const PlayList::Position current = playList.getCurrentPosition();
    EXPECT_TRUE(current == playList.getList()->end() ||
                std::any_of(playList.getList()->begin(), playList.getList()->end(),
                            [&](const std::unique_ptr<Music>& track) { return track == *current; }));
}

} // namespace

} // namespace zalvo
