#include "playlist/AudioConfig.h"

namespace zalvo {

void AudioConfig::volumeUp() {
    volume += step;
    if (volume > maximum) {
        volume = maximum;
    }
    notify();
}

void AudioConfig::volumeDown() {
    volume -= step;
    if (volume < minimum) {
        volume = minimum;
    }
    notify();
}

} // namespace zalvo
