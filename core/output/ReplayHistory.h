#pragma once

#include "pcm/PcmSource.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zalvo {

// What an output has pulled from its source but may not have been heard yet. A sound server that goes
// away loses whatever it held: the next stream is sent that part again, from where the sound was heard
// to, before anything new is pulled. Frame counts run across format changes.
class ReplayHistory {
public:
    using Sample = PcmSample;

    // Starts empty, in a format of `channels` samples a frame.
    void reset(unsigned channels);
    // Drops the frames before `heard`: they will never be sent again.
    void forget(std::uint64_t heard);
    // Pulls up to `frames` frames from `source` and returns how many came.
    std::size_t pull(PcmSource& source, std::size_t frames);
    // Up to `frames` of the frames pulled but not yet sent, now counted as sent. Valid until the next call.
    std::span<const Sample> send(std::size_t frames);
    // A new stream starts at `heard`: what was sent after it is sent again.
    void rewind(std::uint64_t heard);
    // Drops what was pulled after `heard`, as after a seek: the next pull is counted from there.
    void dropFrom(std::uint64_t heard);

    std::uint64_t pulled() const { return pulledFrames; }
    std::uint64_t sent() const { return sentFrames; }
    bool allSent() const { return sentFrames == pulledFrames; }

private:
    unsigned channels = 0;
    std::uint64_t pulledFrames = 0;
    std::uint64_t sentFrames = 0;
    // The samples of the frames from `start` on.
    std::vector<Sample> samples;
    std::uint64_t start = 0;
};

} // namespace zalvo
