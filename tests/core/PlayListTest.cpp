#include "PlayListFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace zalvo {

namespace {

class PlayListTest : public PlayListFixture {};

} // namespace

TEST_F(PlayListTest, ObservesTheSettingsForItsWholeLife) {
    const std::size_t observers = settings().observerCount();
    {
        PlayList another;
        EXPECT_EQ(settings().observerCount(), observers + 1);
    }
    EXPECT_EQ(settings().observerCount(), observers);
}

TEST_F(PlayListTest, EmptyPlayListIgnoresTransportAndVolume) {
    EXPECT_EQ(playList.getCurrent(), nullptr);
    playList.next(true);
    playList.previous();
    playList.advanceIfFinished();
    PlayList::Position none = playList.getList()->end();
    playList.playAt(none);
    playList.removeMusic(none);
    settings().volumeDown();
    playList.clear();
    EXPECT_EQ(size(), 0U);
    EXPECT_EQ(playList.getCurrentPosition(), playList.getList()->end());
}

TEST_F(PlayListTest, AddingKeepsOnlyTracksThatOpenAndStartsNothing) {
    std::ofstream(dir.file("notes.txt")) << "not audio";
    EXPECT_FALSE(playList.addMusic(dir.file("notes.txt").u16string()));
    EXPECT_FALSE(playList.addMusic(dir.file("missing.wav").u16string()));
    EXPECT_FALSE(playList.addMusic(u""));
    EXPECT_EQ(size(), 0U);

    addTracks(2);
    EXPECT_EQ(size(), 2U);
    EXPECT_EQ(currentIndex(), none);
    EXPECT_EQ(playList.getCurrent(), &track(0));
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), none);
}

TEST_F(PlayListTest, EndOfTrackWithoutShuffle) {
    addTracks(3);
    playList.getCurrent()->playPause();
    playCurrentToItsEnd();
    EXPECT_EQ(currentIndex(), 1U);
    EXPECT_EQ(playingIndex(), 1U);

    setRepeat(true);
    PlayList::Position last = positionAt(2);
    playList.playAt(last);
    playCurrentToItsEnd();
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), 0U);

    setRepeat(false);
    playList.playAt(last);
    playCurrentToItsEnd();
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), none);
    EXPECT_TRUE(track(0).isStopped());
    EXPECT_FLOAT_EQ(track(0).getElapsedTime(), 0.0F);

    playList.advanceIfFinished();
    EXPECT_EQ(playingIndex(), none);
    playList.getCurrent()->playPause();
    EXPECT_EQ(playingIndex(), 0U);
}

TEST_F(PlayListTest, EndOfTrackUnderShuffleNeverEndsPlayback) {
    setShuffle(true);
    addTracks(3);
    PlayList::Position last = positionAt(2);
    playList.playAt(last);
    playCurrentToItsEnd();
    EXPECT_NE(currentIndex(), 2U);
    EXPECT_EQ(playingIndex(), currentIndex());

    PlayList::Position first = positionAt(0);
    playList.removeMusic(first);
    PlayList::Position other = playList.getCurrentPosition();
    playList.removeMusic(other);
    ASSERT_EQ(size(), 1U);
    EXPECT_EQ(playingIndex(), 0U);
    playCurrentToItsEnd();
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), 0U);
    EXPECT_LT(track(0).getElapsedTime(), 0.1F);
}

TEST_F(PlayListTest, TickLeavesAnUnfinishedTrackAlone) {
    addTracks(2, 5.0);
    playList.advanceIfFinished();
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), none);

    playList.getCurrent()->playPause();
    playList.advanceIfFinished();
    EXPECT_EQ(playingIndex(), 0U);
}

TEST_F(PlayListTest, UserNextWrapsAndAutomaticNextStopsAtTheEnd) {
    addTracks(3);
    playList.next(true);
    EXPECT_EQ(currentIndex(), 1U);
    EXPECT_EQ(playingIndex(), 1U);
    EXPECT_TRUE(track(0).isStopped());

    playList.next(true);
    playList.next(true);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), 0U);

    PlayList::Position last = positionAt(2);
    playList.playAt(last);
    playList.next(false);
    EXPECT_EQ(currentIndex(), 2U);
    EXPECT_EQ(playingIndex(), none);
}

TEST_F(PlayListTest, NextWithASingleTrackRestartsIt) {
    addTracks(1);
    playList.next(true);
    EXPECT_EQ(playingIndex(), 0U);
    playList.next(true);
    EXPECT_EQ(playingIndex(), 0U);
    EXPECT_LT(track(0).getElapsedTime(), 0.1F);
}

TEST_F(PlayListTest, PreviousWrapsFromFirstToLastWhateverRepeatSays) {
    addTracks(3);
    playList.previous();
    EXPECT_EQ(currentIndex(), 2U);
    EXPECT_EQ(playingIndex(), 2U);
    playList.previous();
    playList.previous();
    EXPECT_EQ(currentIndex(), 0U);
    playList.previous();
    EXPECT_EQ(currentIndex(), 2U);
    EXPECT_EQ(playingIndex(), 2U);
}

TEST_F(PlayListTest, ShuffleNeverPicksTheCurrentTrackWhenThereIsAnother) {
    setShuffle(true);
    addTracks(3);
    std::set<std::size_t> visited;
    for (int step = 0; step < 60; ++step) {
        const std::size_t before = currentIndex();
        if (step % 3 == 0) {
            playList.previous();
        } else {
            playList.next(step % 3 == 1);
        }
        EXPECT_NE(currentIndex(), before);
        EXPECT_EQ(playingIndex(), currentIndex());
        visited.insert(currentIndex());
    }
    EXPECT_EQ(visited.size(), 3U);
}

TEST_F(PlayListTest, RemovingANonCurrentTrackChangesNothingElse) {
    addTracks(3);
    playList.getCurrent()->playPause();
    PlayList::Position last = positionAt(2);
    playList.removeMusic(last);
    EXPECT_EQ(size(), 2U);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), 0U);
}

TEST_F(PlayListTest, RemovingTheCurrentTrackMovesOnOrLeavesNothingCurrent) {
    addTracks(3);
    const std::u16string second = track(1).getPath();
    PlayList::Position first = positionAt(0);
    playList.getCurrent()->playPause();
    playList.removeMusic(first);
    ASSERT_EQ(size(), 2U);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(track(0).getPath(), second);
    EXPECT_EQ(playingIndex(), 0U);

    PlayList::Position last = positionAt(1);
    playList.playAt(last);
    playList.removeMusic(last);
    ASSERT_EQ(size(), 1U);
    EXPECT_EQ(currentIndex(), none);
    EXPECT_EQ(playingIndex(), none);
    EXPECT_EQ(playList.getCurrent(), &track(0));

    PlayList::Position only = positionAt(0);
    playList.next(true);
    playList.removeMusic(only);
    EXPECT_EQ(size(), 0U);
    EXPECT_EQ(playList.getCurrentPosition(), playList.getList()->end());
    EXPECT_EQ(playList.getCurrent(), nullptr);
}

TEST_F(PlayListTest, RemovingTheLastTrackUnderRepeatStartsTheFirst) {
    setRepeat(true);
    addTracks(3);
    PlayList::Position last = positionAt(2);
    playList.playAt(last);
    playList.removeMusic(last);
    EXPECT_EQ(size(), 2U);
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), 0U);
}

TEST_F(PlayListTest, ClearStopsAndEmptiesEverything) {
    addTracks(3);
    playList.next(true);
    playList.clear();
    EXPECT_EQ(size(), 0U);
    EXPECT_EQ(playList.getCurrent(), nullptr);
    playList.clear();
    EXPECT_EQ(size(), 0U);
}

TEST_F(PlayListTest, PlayAtRestartsTheCurrentOrSwitchesToAnother) {
    addTracks(3, 2.0);
    PlayList::Position first = positionAt(0);
    PlayList::Position second = positionAt(1);
    playList.playAt(first);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_GT(track(0).getElapsedTime(), 0.1F);
    playList.playAt(first);
    EXPECT_EQ(playingIndex(), 0U);
    EXPECT_LT(track(0).getElapsedTime(), 0.1F);

    playList.playAt(second);
    EXPECT_EQ(currentIndex(), 1U);
    EXPECT_EQ(playingIndex(), 1U);
    EXPECT_TRUE(track(0).isStopped());
}

TEST_F(PlayListTest, VolumeChangeMakesTheFirstTrackCurrentWithoutStartingIt) {
    addTracks(2);
    settings().volumeDown();
    EXPECT_EQ(currentIndex(), 0U);
    EXPECT_EQ(playingIndex(), none);
    EXPECT_FLOAT_EQ(track(0).getVolume(), 90.0F);
}

TEST_F(PlayListTest, EveryTrackSoundsAtTheSettingsVolume) {
    setVolume(20.0F);
    addTracks(3);
    playList.getCurrent()->playPause();
    EXPECT_FLOAT_EQ(track(0).getVolume(), 20.0F);

    settings().volumeDown();
    for (std::size_t i = 0; i < size(); ++i) {
        EXPECT_FLOAT_EQ(track(i).getVolume(), 10.0F) << i;
    }
    PlayList::Position last = positionAt(2);
    playList.playAt(last);
    EXPECT_FLOAT_EQ(track(2).getVolume(), 10.0F);
    playList.next(true);
    EXPECT_FLOAT_EQ(track(0).getVolume(), 10.0F);
    playList.previous();
    EXPECT_FLOAT_EQ(track(2).getVolume(), 10.0F);
}

TEST_F(PlayListTest, TrackWhoseFileVanishedIsPassedOver) {
    addTracks(3);
    std::filesystem::remove(std::filesystem::path(track(1).getPath()));
    playList.getCurrent()->playPause();
    playCurrentToItsEnd();
    EXPECT_EQ(currentIndex(), 1U);
    EXPECT_EQ(playingIndex(), none);
    playList.advanceIfFinished();
    EXPECT_EQ(currentIndex(), 2U);
    EXPECT_EQ(playingIndex(), 2U);
}

// Removing the current entry moves on, and the new current track sounds only if the removed one did.
TEST_F(PlayListTest, RemovingTheCurrentTrackKeepsThePlayState) {
    enum class State { Stopped, Paused, Playing };
    for (const State state : {State::Stopped, State::Paused, State::Playing}) {
        SCOPED_TRACE(static_cast<int>(state));
        playList.clear();
        addTracks(3, 2.0);
        PlayList::Position first = positionAt(0);
        playList.getCurrent();
        if (state != State::Stopped) {
            playList.playAt(first);
        }
        if (state == State::Paused) {
            playList.getCurrent()->playPause();
        }
        playList.removeMusic(first);
        EXPECT_EQ(currentIndex(), 0U);
        EXPECT_EQ(playingIndex(), state == State::Playing ? 0U : none);
    }
}

} // namespace zalvo
