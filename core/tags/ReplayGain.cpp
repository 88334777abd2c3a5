#include "ReplayGain.h"

#include <algorithm>
#include <cmath>

std::optional<ReplayGain::Mode> ReplayGain::parseMode(std::string_view name) {
    if (name == "album") {
        return Mode::Album;
    }
    if (name == "track") {
        return Mode::Track;
    }
    if (name == "off") {
        return Mode::Off;
    }
    return std::nullopt;
}

float ReplayGain::factor(const ReplayGainTags& tags, Mode mode, bool shuffled) {
    const bool albumAsked = mode == Mode::Album || (mode == Mode::Auto && !shuffled);
    const bool useAlbum = albumAsked ? tags.albumGain.has_value() : !tags.trackGain.has_value();
    const std::optional<double>& gain = useAlbum ? tags.albumGain : tags.trackGain;
    if (mode == Mode::Off || !gain) {
        return 1.0F;
    }
    // The album's peak keeps the album's balance; the track's own is what this track reaches.
    const std::optional<double>& peak = useAlbum && tags.albumPeak ? tags.albumPeak : tags.trackPeak;
    double linear = std::pow(10.0, *gain / 20.0);
    if (peak) {
        linear = std::min(linear, 1.0 / *peak);
    }
    return static_cast<float>(linear);
}
