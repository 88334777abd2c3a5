#pragma once

#include "Singleton.h"
#include "Subject.h"

// The player's volume, repeat and shuffle settings; every volume step is announced to the observers.
class AudioConfig final : public Singleton<AudioConfig>, public Subject {
public:
    void volumeUp();
    void volumeDown();
    float getVolume() const { return volume; }

    void toggleRepeat() { repeat = !repeat; }
    bool isRepeat() const { return repeat; }

    void toggleShuffle() { shuffle = !shuffle; }
    bool isShuffle() const { return shuffle; }

private:
    friend class Singleton<AudioConfig>;
    AudioConfig() = default;

    static constexpr float step = 10.0F;
    static constexpr float maximum = 100.0F;
    static constexpr float minimum = 0.0F;

    float volume = maximum;
    bool repeat = false;
    bool shuffle = false;
};
