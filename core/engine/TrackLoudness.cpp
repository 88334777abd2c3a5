#include "engine/TrackLoudness.h"

#include "base/TextEncoding.h"
#include "tags/TrackTags.h"

namespace zalvo {

float TrackLoudness::factorFor(const std::string& utf8Path) const {
    if (mode == ReplayGain::Mode::Off) {
        return 1.0F;
    }
    return ReplayGain::factor(TrackTags::read(TextEncoding::fromFileSystem(utf8Path)).replayGain, mode, shuffled);
}

} // namespace zalvo
