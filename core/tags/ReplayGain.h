#pragma once

#include "tags/ReplayGainTags.h"

#include <optional>
#include <string_view>

namespace zalvo {

// How loud a track plays beside the others: its ReplayGain correction as one linear factor.
class ReplayGain final {
public:
    enum class Mode {
        // The album's gain while the playlist plays in order, each track's own while it is shuffled.
        Auto,
        Album,
        Track,
        Off,
    };

    ReplayGain() = delete;

    // "album", "track" or "off"; nothing for anything else.
    static std::optional<Mode> parseMode(std::string_view name);

    // The factor to multiply the track's samples by. A track without the gain asked for falls back on
    // the other one, and on unit gain without either; the peak keeps the gain from pushing a sample
    // past full scale. A correction beyond 24 dB is no correction; a peak that is not a real one (none,
    // zero, negative, not finite) is unknown, and the raise is then held to 12 dB.
    static float factor(const ReplayGainTags& tagged, Mode mode, bool shuffled);
};

} // namespace zalvo
