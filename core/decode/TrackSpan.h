#pragma once

#include <cstdint>
#include <optional>

namespace zalvo {

// The part of an audio file that one track plays, in CD frames (1/75 s) from the file's start, as cue
// sheets place their tracks: by default the whole file.
struct TrackSpan {
    static constexpr std::uint64_t cdFramesPerSecond = 75;

    std::uint32_t begin = 0;
    // Nothing: to the file's end.
    std::optional<std::uint32_t> end;

    bool wholeFile() const { return begin == 0 && !end; }
    // Whether `next` begins where this ends, so that one decoder plays on from this into it.
    bool runsInto(const TrackSpan& next) const { return end && next.begin == *end; }
    // The file's frames at `rate`.
    static std::uint64_t framesAt(std::uint32_t cdFrames, unsigned rate) {
        return cdFrames * std::uint64_t{rate} / cdFramesPerSecond;
    }

    friend bool operator==(const TrackSpan&, const TrackSpan&) = default;
};

} // namespace zalvo
