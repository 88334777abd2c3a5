#pragma once

#include <cstdint>

namespace zalvo {

// The main window's clickable actions, one per icon of the ring.
enum Action : std::int32_t {
    NONE = 0,
    PLAY_PAUSE = 1,
    STOP = 2,
    NEXT = 3,
    PREVIOUS = 4,
    REPEAT = 5,
    SHUFFLE = 6,
    VOLUME_UP = 7,
    VOLUME_DOWN = 8,
    ADD_MUSIC = 9,
    LOAD_PLAYLIST = 10,
    SAVE_PLAYLIST = 11,
    MANAGE_PLAYLIST = 12,
};

} // namespace zalvo
