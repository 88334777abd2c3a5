#pragma once

namespace zalvo {

// The shape of interleaved PCM: frames per second and samples per frame.
struct PcmFormat {
    unsigned sampleRate = 0;
    unsigned channels = 0;

    bool operator==(const PcmFormat&) const = default;
};

} // namespace zalvo
