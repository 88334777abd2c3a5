#pragma once

#include "PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct SwrContext;
class TrackDecoder;

// Brings a track whose rate no output takes (the sound server takes at most 384 kHz) down to one
// they all take, by a whole factor, through libswresample.
class RateConverter final {
public:
    // The rate to convert a format to, or nothing when every output takes it as it is.
    static std::optional<unsigned> rateFor(PcmFormat format);

    RateConverter(PcmFormat from, unsigned toRate);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // False when libswresample could not be set up.
    bool ready() const { return context != nullptr; }
    PcmFormat format() const { return {toRate, channels}; }
    // A frame of the source in frames of the result, rounded down.
    std::uint64_t converted(std::uint64_t sourceFrame) const;
    // Whole frames of the result read through the decoder; fewer than asked means the track ends.
    std::size_t read(TrackDecoder& decoder, std::span<std::int16_t> samples);

private:
    void convert(const std::int16_t* input, std::size_t frames);

    SwrContext* context = nullptr;
    unsigned fromRate;
    unsigned toRate;
    unsigned channels;
    std::vector<std::int16_t> input;
    // Converted samples not yet handed out, from `pendingStart` on.
    std::vector<std::int16_t> pending;
    std::size_t pendingStart = 0;
    bool ended = false;
};
