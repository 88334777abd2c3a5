#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

// The audio's own length in frames from the gapless record iTunes writes for the AAC it encodes
// ("iTunSMPB": a zero, the priming, the padding, then that length, in hexadecimal). Read by the M4A
// outline and the FFmpeg decoder alike, so that the two agree on where a track ends.
inline std::optional<std::uint64_t> iTunesAudioFrames(const char* record) {
    unsigned priming = 0;
    unsigned padding = 0;
    std::uint64_t frames = 0;
    if (std::sscanf(record, "%*x %x %x %" SCNx64, &priming, &padding, &frames) != 3 || frames == 0 ||
        frames > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return frames;
}
