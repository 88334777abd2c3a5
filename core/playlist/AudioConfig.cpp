#include "AudioConfig.h"

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
