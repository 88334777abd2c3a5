#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

namespace zalvo {

// How long an AAC track in MP4 plays, in frames of its sample rate, read by the M4A outline and the FFmpeg
// decoder alike, so that the two agree on where a track ends. `trackFrames` is what the track's own
// tables leave: the media's length, bounded by its sample table and cut by its edit list. iTunes'
// gapless record ("iTunSMPB": a zero, the priming, the padding, then the audio's length, in hexadecimal)
// gives the audio's length only in a track no edit list trimmed, where priming, audio and padding fill
// the whole media; a record that says anything else disagrees with the track, and the track wins.
inline std::uint64_t gaplessFrames(std::uint64_t trackFrames, std::uint32_t sampleRate, const char* record) {
    std::uint64_t priming = 0;
    std::uint64_t padding = 0;
    std::uint64_t frames = 0;
    if (record == nullptr ||
        std::sscanf(record, "%*x %" SCNx64 " %" SCNx64 " %" SCNx64, &priming, &padding, &frames) != 3 || frames == 0 ||
        frames > std::numeric_limits<std::uint32_t>::max() || priming > std::numeric_limits<std::uint32_t>::max() ||
        padding > std::numeric_limits<std::uint32_t>::max()) {
        return trackFrames;
    }
    // Muxers that time the media in milliseconds round it by up to one.
    const std::uint64_t slack = sampleRate / 1000 + 1;
    const std::uint64_t whole = priming + frames + padding;
    const bool fillsTrack = whole <= trackFrames + slack && trackFrames <= whole + slack;
    return fillsTrack ? frames : trackFrames;
}

} // namespace zalvo
