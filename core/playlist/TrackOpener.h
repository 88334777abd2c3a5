#pragma once

#include "playlist/Music.h"

#include <memory>
#include <string>
#include <vector>

namespace zalvo {

// Opens the tracks of many paths at once, on every core.
class TrackOpener final {
public:
    TrackOpener() = delete;

    // The tracks that opened, in the paths' order; paths that do not open are left out. A cue sheet's
    // path gives its tracks, and "album.cue?2" the sheet's second.
    static std::vector<std::unique_ptr<Music>> openAll(const std::vector<std::u16string>& paths);
};

} // namespace zalvo
