#pragma once

#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/AudioConfig.h"
#include "playlist/PlayList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <iterator>
#include <string>
#include <thread>

namespace zalvo {

// The settings are one per process: every test starts from a run's defaults (volume 100, repeat and
// shuffle off) and leaves them so.
class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override { resetSettings(); }

    static AudioConfig& settings() { return *AudioConfig::getInstance(); }

    static void setVolume(float volume) {
        while (settings().getVolume() > volume) {
            settings().volumeDown();
        }
        while (settings().getVolume() < volume) {
            settings().volumeUp();
        }
    }

    static void setRepeat(bool on) {
        if (settings().isRepeat() != on) {
            settings().toggleRepeat();
        }
    }

    static void setShuffle(bool on) {
        if (settings().isShuffle() != on) {
            settings().toggleShuffle();
        }
    }

    static void resetSettings() {
        setVolume(100.0F);
        setRepeat(false);
        setShuffle(false);
    }
};

// A playlist beside short real tracks in a fresh directory.
class PlayListFixture : public SettingsFixture {
protected:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    std::u16string makeTrack(const std::string& name, double seconds = 0.2, AudioFormat format = AudioFormat::Wav) {
        const std::filesystem::path file = dir.file(name + extensionOf(format));
        ToneShape shape;
        shape.segments = {ToneSegment{440.0, seconds}};
        writeToneFile(file, format, shape);
        return file.u16string();
    }

    void addTracks(std::size_t count, double seconds = 0.2) {
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(playList.addMusic(makeTrack("track" + std::to_string(i), seconds)));
        }
    }

    std::size_t size() { return playList.getList()->size(); }

    PlayList::Position positionAt(std::size_t index) {
        return std::next(playList.getList()->begin(), static_cast<std::ptrdiff_t>(index));
    }

    Music& track(std::size_t index) { return **positionAt(index); }

    // Index of the current entry without getCurrent's side effect; none when nothing is current.
    std::size_t currentIndex() {
        const PlayList::Position current = playList.getCurrentPosition();
        if (current == playList.getList()->end()) {
            return none;
        }
        return static_cast<std::size_t>(std::distance(playList.getList()->begin(), current));
    }

    std::size_t playingIndex() {
        std::size_t found = none;
        for (std::size_t i = 0; i < size(); ++i) {
            if (track(i).isPlaying()) {
                EXPECT_EQ(found, none) << "two tracks play at once";
                found = i;
            }
        }
        return found;
    }

    // Lets the current track play to its end, then ticks as the main window's timer would.
    void playCurrentToItsEnd() {
        const Music* current = playList.getCurrent();
        ASSERT_NE(current, nullptr);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!current->isFinished()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        playList.advanceIfFinished();
    }

    TempDir dir;
    PlayList playList;
};

} // namespace zalvo
