#include "decode/RateConverter.h"

#include "base/Log.h"
#include "base/SharedLibrary.h"
#include "decode/TrackDecoder.h"

#include <algorithm>
#include <optional>
#include <soxr.h>
#include <string>

namespace zalvo {

// libsoxr, loaded the first time a track needs converting: almost none do, so a player that never meets
// one never maps it.
struct Soxr {
    decltype(&soxr_io_spec) ioSpec;
    decltype(&soxr_quality_spec) qualitySpec;
    decltype(&soxr_create) create;
    decltype(&soxr_process) process;
    decltype(&soxr_delete) destroy;
};

namespace {

// The highest rate every output takes is the sound server's; the result stays well within it.
constexpr unsigned highestTaken = 384000;
constexpr unsigned convertedAtMost = 192000;
constexpr std::size_t inputFrames = 4096;

// Null where libsoxr is missing.
const Soxr* soxr() {
    return SharedLibrary::tableOnce<Soxr>(
        "libsoxr.so.0", "libsoxr", Log::Category::Engine, ", so tracks above 384 kHz are refused",
        [](SharedLibrary& library, Soxr& api) {
            return library.bind(api.ioSpec, "soxr_io_spec") && library.bind(api.qualitySpec, "soxr_quality_spec") &&
                   library.bind(api.create, "soxr_create") && library.bind(api.process, "soxr_process") &&
                   library.bind(api.destroy, "soxr_delete");
        });
}

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
    input.resize(inputFrames * channels);
    library = soxr();
    if (library == nullptr) {
        return;
    }
    const soxr_io_spec_t io = library->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = library->qualitySpec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler = library->create(fromRate, toRate, channels, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        library->destroy(resampler);
        resampler = nullptr;
    }
}

RateConverter::~RateConverter() {
    if (library != nullptr && resampler != nullptr) {
        library->destroy(resampler);
    }
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
        if (library->process(resampler, next, count - used, &taken, pending.data() + kept, room, &made) != nullptr) {
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
