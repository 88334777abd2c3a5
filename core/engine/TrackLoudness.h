#pragma once

#include <string>

// The factor a track plays at beside the others: its ReplayGain correction in the run's mode, read from
// its tags when it opens to play, so that it holds from the track's first sample.
class TrackLoudness final {
public:
    TrackLoudness() = delete;

    static float factorFor(const std::string& utf8Path);
};
