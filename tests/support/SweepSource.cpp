#include "SweepSource.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace zalvo {

namespace {

constexpr double startHz = 400.0;
constexpr double risePerSecond = 100.0;

} // namespace

SweepSource::SweepSource(std::vector<Stretch> stretches) : stretches(std::move(stretches)) {}

PcmFormat SweepSource::format() const {
    return current < stretches.size() ? stretches[current].format : PcmFormat{};
}

std::size_t SweepSource::read(std::span<float> samples) {
    if (current == stretches.size()) {
        return 0;
    }
    Stretch& stretch = stretches[current];
    const std::size_t frames = std::min<std::uint64_t>(samples.size() / stretch.format.channels, stretch.frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        phase += 2.0 * std::numbers::pi * (startHz + risePerSecond * seconds) / stretch.format.sampleRate;
        seconds += 1.0 / stretch.format.sampleRate;
        const auto value = static_cast<float>(0.5 * std::sin(phase));
        std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(frame * stretch.format.channels),
                    stretch.format.channels, value);
    }
    stretch.frames -= frames;
    if (stretch.frames == 0) {
        ++current;
    }
    return frames;
}

double SweepSource::secondsOf(const std::vector<float>& heard, unsigned rate) {
    std::size_t crossings = 0;
    for (std::size_t i = 1; i < heard.size(); ++i) {
        crossings += (heard[i - 1] < 0.0F) != (heard[i] < 0.0F) ? 1U : 0U;
    }
    const double hertz = static_cast<double>(crossings) / 2.0 / (static_cast<double>(heard.size()) / rate);
    return (hertz - startHz) / risePerSecond;
}

} // namespace zalvo
