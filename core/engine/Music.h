#pragma once

#include "PausableClock.h"

#include <cstdint>
#include <memory>
#include <string>

namespace sf {
class Music;
}

// One audio file of the playlist. It holds an open stream only while playing or paused, so that
// thousands of idle tracks cost neither audio sources nor open files.
class Music final {
public:
    Music();
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    bool open(const std::u16string& path);
    void playPause();
    void stop();

    bool isStopped() const;
    bool isPaused() const;
    bool isPlaying() const;
    bool isFinished() const;

    // Moves within the track, keeping it playing or paused; a stopped track stays at its start.
    void seek(float seconds);

    // Unique among every track of the run.
    std::uint64_t getId() const { return id; }
    const std::u16string& getPath() const { return path; }
    void setVolume(float newVolume);
    float getVolume() const { return volume; }
    float getElapsedTime() const { return playClock.getElapsedTime(); }
    float getDuration() const { return duration; }

private:
    std::uint64_t id;
    std::unique_ptr<sf::Music> stream;
    PausableClock playClock{true};
    std::u16string path;
    std::string nativePath;
    float duration = 0.0F;
    float volume = 100.0F;
    bool unplayable = false;
};
