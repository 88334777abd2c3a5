#pragma once

#include "pcm/PcmFormat.h"

#include <cstdint>
#include <optional>

namespace zalvo {

// What a playlist needs of a track before it plays: how it sounds and how long it lasts.
struct TrackOutline {
    PcmFormat format;
    // Nothing when the header does not say.
    std::optional<std::uint64_t> frames;
    // The file carries a cue sheet for the album it holds.
    bool carriesCueSheet = false;
};

} // namespace zalvo
