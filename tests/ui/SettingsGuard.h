#pragma once

#include "playlist/AudioConfig.h"

namespace zalvo {

// The settings outlive every window: a test leaves them as it found them.
class SettingsGuard final {
public:
    SettingsGuard() = default;
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;

    ~SettingsGuard() {
        AudioConfig* settings = AudioConfig::getInstance();
        while (settings->getVolume() < volume) {
            settings->volumeUp();
        }
        while (settings->getVolume() > volume) {
            settings->volumeDown();
        }
        if (settings->isRepeat() != repeat) {
            settings->toggleRepeat();
        }
        if (settings->isShuffle() != shuffle) {
            settings->toggleShuffle();
        }
    }

private:
    float volume = AudioConfig::getInstance()->getVolume();
    bool repeat = AudioConfig::getInstance()->isRepeat();
    bool shuffle = AudioConfig::getInstance()->isShuffle();
};

} // namespace zalvo
