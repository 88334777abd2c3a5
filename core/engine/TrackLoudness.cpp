#include "engine/TrackLoudness.h"

#include "base/TextEncoding.h"
#include "tags/TrackTags.h"
#include "tags/TrackTagsOnce.h"

namespace zalvo {

float TrackLoudness::factorFor(const std::string& utf8Path, const TrackTagsOnce* tags) const {
    if (!readsTags()) {
        return 1.0F;
    }
    const ReplayGainTags& gains =
        tags != nullptr ? tags->get().replayGain : TrackTags::read(TextEncoding::fromFileSystem(utf8Path)).replayGain;
    return ReplayGain::factor(gains, mode, shuffled);
}

} // namespace zalvo
