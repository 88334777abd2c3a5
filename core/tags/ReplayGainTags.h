#pragma once

#include <optional>

namespace zalvo {

// The loudness corrections a file's tags give, in decibels towards the ReplayGain reference level, and
// the peaks as linear amplitudes (1.0 is full scale).
struct ReplayGainTags {
    std::optional<double> trackGain;
    std::optional<double> trackPeak;
    std::optional<double> albumGain;
    std::optional<double> albumPeak;
};

} // namespace zalvo
