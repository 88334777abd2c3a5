#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zalvo {

// Frames of a source heard so far, across the streams, buffers or outputs that play it in turn: where
// the current one starts, plus how far into it the sound is. Never goes back. Its owner guards it.
class PlayedFrameCount {
public:
    // `into` frames of the current one heard, but never more than `limit` frames in all.
    std::uint64_t update(std::uint64_t into, std::uint64_t limit = std::numeric_limits<std::uint64_t>::max()) {
        heard = std::max(heard, std::min(start + into, limit));
        return heard;
    }
    // The current one played out after `frames` frames: the next starts where it ended.
    void finish(std::uint64_t frames) {
        start += frames;
        heard = std::max(heard, start);
    }
    // Everything up to `frames` counts as heard, and the next one starts there.
    void restartAt(std::uint64_t frames) {
        heard = std::max(heard, frames);
        start = heard;
    }
    std::uint64_t frames() const { return heard; }
    // Where the current one starts.
    std::uint64_t origin() const { return start; }

private:
    std::uint64_t start = 0;
    std::uint64_t heard = 0;
};

} // namespace zalvo
