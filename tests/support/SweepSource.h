#pragma once

#include "pcm/PcmFormat.h"
#include "pcm/PcmSource.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zalvo {

// A tone at half scale whose pitch rises 100 Hz a second from 400 Hz, so that a few milliseconds of
// it tell where in the stream they come from. It plays its stretches one after the other, each in its
// own format; the default is ten minutes of 44.1 kHz mono.
class SweepSource final : public PcmSource {
public:
    struct Stretch {
        PcmFormat format;
        std::uint64_t frames;
    };

    explicit SweepSource(std::vector<Stretch> stretches = {{{44100, 1}, 600ULL * 44100}});

    PcmFormat format() const override;
    std::size_t read(std::span<float> samples) override;

    // Where in the sweep mono samples (-1..1) at `rate` come from, in seconds, by their pitch.
    static double secondsOf(const std::vector<float>& heard, unsigned rate);

private:
    std::vector<Stretch> stretches;
    std::size_t current = 0;
    double seconds = 0.0;
    double phase = 0.0;
};

} // namespace zalvo
