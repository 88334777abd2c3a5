#pragma once

#include "pcm/PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct soxr;
namespace zalvo {

struct Soxr;

class TrackDecoder;

// Brings a track whose rate no output takes (the sound server takes at most 384 kHz) down to one
// they all take, by a whole factor, through libsoxr.
class RateConverter final {
public:
    // The rate to convert a format to, or nothing when every output takes it as it is.
    static std::optional<unsigned> rateFor(PcmFormat format);

    RateConverter(PcmFormat from, unsigned toRate);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // False when libsoxr could not be set up.
    bool ready() const { return resampler != nullptr; }
    PcmFormat format() const { return {toRate, channels}; }
    // A frame of the source in frames of the result, rounded down.
    std::uint64_t converted(std::uint64_t sourceFrame) const;
    // Whole frames of the result read through the decoder; fewer than asked means the track ends.
    std::size_t read(TrackDecoder& decoder, std::span<float> samples);

private:
    void convert(const float* frames, std::size_t count);

    // libsoxr's functions, loaded on the first converter; null where it is missing.
    const Soxr* library = nullptr;
    soxr* resampler = nullptr;
    unsigned fromRate;
    unsigned toRate;
    unsigned channels;
    std::vector<float> input;
    // Converted samples not yet handed out, from `pendingStart` on.
    std::vector<float> pending;
    std::size_t pendingStart = 0;
    bool ended = false;
};

} // namespace zalvo
