#include "tags/ReplayGain.h"

#include "base/Log.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zalvo {

namespace {

// Real corrections stay well within this; a tag beyond it is damaged or hostile, and is not applied.
constexpr double mostGain = 24.0;
// With no peak to hold it, a raise goes no higher: the decoder's own guard then keeps what is left of
// it from pushing the track past full scale.
constexpr double mostRaiseWithoutPeak = 12.0;
// A peak a real track can have: above the smallest step of 24-bit audio, and not far past full scale.
constexpr double leastPeak = 1.0 / (1U << 24U);
constexpr double mostPeak = 16.0;

std::optional<double> withinReason(const std::optional<double>& gain) {
    if (!gain || (std::isfinite(*gain) && std::abs(*gain) <= mostGain)) {
        return gain;
    }
    Log::debug(Log::Category::Tags,
               "A ReplayGain correction of " + std::to_string(*gain) + " dB, beyond 24 dB either way, is ignored");
    return std::nullopt;
}

std::optional<double> knownPeak(const std::optional<double>& peak) {
    return peak && std::isfinite(*peak) && *peak >= leastPeak && *peak <= mostPeak ? peak : std::nullopt;
}

} // namespace

std::optional<ReplayGain::Mode> ReplayGain::parseMode(std::string_view name) {
    if (name == "album") {
        return Mode::Album;
    }
    if (name == "track") {
        return Mode::Track;
    }
    if (name == "off") {
        return Mode::Off;
    }
    return std::nullopt;
}

float ReplayGain::factor(const ReplayGainTags& tagged, Mode mode, bool shuffled) {
    if (mode == Mode::Off) {
        return 1.0F;
    }
    const ReplayGainTags tags{withinReason(tagged.trackGain), knownPeak(tagged.trackPeak),
                              withinReason(tagged.albumGain), knownPeak(tagged.albumPeak)};
    const bool albumAsked = mode == Mode::Album || (mode == Mode::Auto && !shuffled);
    const bool useAlbum = albumAsked ? tags.albumGain.has_value() : !tags.trackGain.has_value();
    const std::optional<double>& gain = useAlbum ? tags.albumGain : tags.trackGain;
    if (!gain) {
        return 1.0F;
    }
    // The album's peak keeps the album's balance; the track's own is what this track reaches.
    const std::optional<double>& peak = useAlbum && tags.albumPeak ? tags.albumPeak : tags.trackPeak;
    const double ceiling = peak ? 1.0 / *peak : std::pow(10.0, mostRaiseWithoutPeak / 20.0);
    return static_cast<float>(std::min(std::pow(10.0, *gain / 20.0), ceiling));
}

} // namespace zalvo
