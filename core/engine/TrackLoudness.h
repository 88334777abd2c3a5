#pragma once

#include "tags/ReplayGain.h"

#include <string>

namespace zalvo {

class TrackTagsOnce;

// The factor a track plays at beside the others: its ReplayGain correction in the mode the stream was
// started in, read from its tags when it opens to play, so that it holds from the track's first sample.
class TrackLoudness final {
public:
    // Every track at unit gain.
    TrackLoudness() = default;
    TrackLoudness(ReplayGain::Mode mode, bool shuffled) : mode(mode), shuffled(shuffled) {}

    // From the shared tags when given, else from the file's.
    float factorFor(const std::string& utf8Path, const TrackTagsOnce* tags) const;
    // Whether factorFor() reads the tags.
    bool readsTags() const { return mode != ReplayGain::Mode::Off; }

private:
    ReplayGain::Mode mode = ReplayGain::Mode::Off;
    bool shuffled = false;
};

} // namespace zalvo
