#pragma once

#include <string>

namespace zalvo {

// What a playlist file of a player's own format keeps of one track.
struct SavedTrack {
    std::u16string path;
    float seconds = 0.0F;
    // UTF-8, from the file's own tags; empty when it has none.
    std::string title;
};

} // namespace zalvo
