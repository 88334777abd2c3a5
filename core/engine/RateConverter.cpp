#include "RateConverter.h"

#include "TrackDecoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

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
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, static_cast<int>(channels));
    if (swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_S16, static_cast<int>(toRate), &layout, AV_SAMPLE_FMT_S16,
                            static_cast<int>(fromRate), 0, nullptr) < 0 ||
        swr_init(context) < 0) {
        swr_free(&context);
    }
    av_channel_layout_uninit(&layout);
    input.resize(inputFrames * channels);
}

RateConverter::~RateConverter() {
    swr_free(&context);
}

std::uint64_t RateConverter::converted(std::uint64_t sourceFrame) const {
    return sourceFrame * toRate / fromRate;
}

void RateConverter::convert(const std::int16_t* frames, std::size_t count) {
    if (pendingStart == pending.size()) {
        pending.clear();
        pendingStart = 0;
    }
    const int room = swr_get_out_samples(context, static_cast<int>(count));
    if (room <= 0) {
        return;
    }
    const std::size_t kept = pending.size();
    pending.resize(kept + static_cast<std::size_t>(room) * channels);
    auto* out = reinterpret_cast<std::uint8_t*>(pending.data() + kept);
    const auto* in = reinterpret_cast<const std::uint8_t*>(frames);
    const int made = swr_convert(context, &out, room, frames != nullptr ? &in : nullptr, static_cast<int>(count));
    pending.resize(kept + static_cast<std::size_t>(std::max(made, 0)) * channels);
}

std::size_t RateConverter::read(TrackDecoder& decoder, std::span<std::int16_t> samples) {
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
