#include "decode/RateConverter.h"

#include "decode/TrackDecoder.h"

#include <algorithm>
#include <soxr.h>

namespace zalvo {

namespace {

// The highest rate every output takes is the sound server's; the result stays well within it.
constexpr unsigned highestTaken = 384000;
constexpr unsigned convertedAtMost = 192000;
constexpr std::size_t inputFrames = 4096;

} // namespace

std::optional<unsigned> RateConverter::rateFor(PcmFormat format) {
    if (format.sampleRate <= highestTaken) {
        return std::nullopt;
    }
    const unsigned factor = (format.sampleRate + convertedAtMost - 1) / convertedAtMost;
    return format.sampleRate / factor;
}

RateConverter::RateConverter(PcmFormat from, unsigned toRate)
    : fromRate(from.sampleRate), toRate(toRate), channels(from.channels) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler = soxr_create(fromRate, toRate, channels, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        soxr_delete(resampler);
        resampler = nullptr;
    }
    input.resize(inputFrames * channels);
}

RateConverter::~RateConverter() {
    soxr_delete(resampler);
}

std::uint64_t RateConverter::converted(std::uint64_t sourceFrame) const {
    return sourceFrame * toRate / fromRate;
}

void RateConverter::convert(const float* frames, std::size_t count) {
    if (pendingStart == pending.size()) {
        pending.clear();
        pendingStart = 0;
    }
    // The rate only goes down, so each pass makes about as many frames as it takes at most; with no
    // input left, the passes drain what the filter holds until it gives nothing more.
    constexpr std::size_t room = 4096;
    std::size_t used = 0;
    for (;;) {
        const std::size_t kept = pending.size();
        pending.resize(kept + room * channels);
        std::size_t taken = 0;
        std::size_t made = 0;
        const float* next = frames != nullptr ? frames + used * channels : nullptr;
        if (soxr_process(resampler, next, count - used, &taken, pending.data() + kept, room, &made) != nullptr) {
            made = 0;
            taken = count - used;
        }
        pending.resize(kept + made * channels);
        used += taken;
        if ((taken == 0 && made == 0) || (frames != nullptr && used >= count && made < room)) {
            return;
        }
    }
}

std::size_t RateConverter::read(TrackDecoder& decoder, std::span<float> samples) {
    const std::size_t wanted = samples.size() / channels;
    std::size_t frames = 0;
    while (frames < wanted) {
        if (pendingStart == pending.size()) {
            if (ended) {
                break;
            }
            const std::size_t got = decoder.read(input);
            convert(input.data(), got);
            if (got < inputFrames) {
                // What the filter still holds closes the track.
                convert(nullptr, 0);
                ended = true;
            }
            continue;
        }
        const std::size_t count = std::min(wanted - frames, (pending.size() - pendingStart) / channels);
        std::copy_n(pending.begin() + static_cast<std::ptrdiff_t>(pendingStart), count * channels,
                    samples.begin() + static_cast<std::ptrdiff_t>(frames * channels));
        pendingStart += count * channels;
        frames += count;
    }
    return frames;
}

} // namespace zalvo
