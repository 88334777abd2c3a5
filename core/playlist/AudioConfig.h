#pragma once

#include "playlist/Singleton.h"
#include "playlist/Subject.h"
#include "tags/ReplayGain.h"

#include <atomic>

namespace zalvo {

// The player's volume, repeat, shuffle and loudness settings; every volume step is announced to the observers.
class AudioConfig final : public Singleton<AudioConfig>, public Subject {
public:
    void volumeUp();
    void volumeDown();
    float getVolume() const { return volume; }

    // The audio thread reads these when one track runs into the next.
    void toggleRepeat() { repeat.store(!repeat.load()); }
    bool isRepeat() const { return repeat.load(); }

    void toggleShuffle() { shuffle.store(!shuffle.load()); }
    bool isShuffle() const { return shuffle.load(); }

    // Chosen for the run at start-up, never stored; read as each track opens.
    void setReplayGainMode(ReplayGain::Mode mode) { replayGainMode.store(mode); }
    ReplayGain::Mode getReplayGainMode() const { return replayGainMode.load(); }

private:
    friend class Singleton<AudioConfig>;
    AudioConfig() = default;

    static constexpr float step = 10.0F;
    static constexpr float maximum = 100.0F;
    static constexpr float minimum = 0.0F;

    float volume = maximum;
    std::atomic<bool> repeat = false;
    std::atomic<bool> shuffle = false;
    std::atomic<ReplayGain::Mode> replayGainMode = ReplayGain::Mode::Auto;
};

} // namespace zalvo
