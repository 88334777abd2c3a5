#include "output/ReplayHistory.h"

#include <algorithm>

namespace zalvo {

void ReplayHistory::reset(unsigned newChannels) {
    channels = newChannels;
    samples.clear();
    start = pulledFrames;
}

void ReplayHistory::forget(std::uint64_t heard) {
    const std::uint64_t forgettable = std::clamp(heard, start, pulledFrames) - start;
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(forgettable * channels));
    start += forgettable;
}

std::size_t ReplayHistory::pull(PcmSource& source, std::size_t frames) {
    const std::size_t kept = samples.size();
    samples.resize(kept + frames * channels);
    const std::size_t got = source.read(std::span(samples).subspan(kept));
    samples.resize(kept + got * channels);
    pulledFrames += got;
    return got;
}

std::span<const ReplayHistory::Sample> ReplayHistory::send(std::size_t frames) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(frames, pulledFrames - sentFrames));
    const auto offset = static_cast<std::size_t>(sentFrames - start) * channels;
    sentFrames += count;
    return std::span<const Sample>(samples).subspan(offset, count * channels);
}

void ReplayHistory::rewind(std::uint64_t heard) {
    sentFrames = std::clamp(heard, start, pulledFrames);
}

void ReplayHistory::dropFrom(std::uint64_t heard) {
    pulledFrames = std::clamp(heard, start, pulledFrames);
    sentFrames = pulledFrames;
    samples.resize(static_cast<std::size_t>(pulledFrames - start) * channels);
}

} // namespace zalvo
