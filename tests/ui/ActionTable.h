#pragma once

#include "Action.h"

#include <array>

namespace zalvo {

// One action's rectangle; right and bottom edges lie outside.
struct ActionRect {
    Action action;
    const char* name;
    int left;
    int top;
    int right;
    int bottom;

    constexpr bool contains(int x, int y) const { return left <= x && x < right && top <= y && y < bottom; }
};

// The window's action rectangles in the order they are searched, written out so that both the window and
// the skin are checked against the table itself rather than against the code under test.
inline constexpr std::array<ActionRect, 12> actionTable{{
    {PLAY_PAUSE, "PLAY_PAUSE", 300, 355, 370, 435},
    {STOP, "STOP", 130, 365, 195, 425},
    {NEXT, "NEXT", 390, 210, 460, 290},
    {PREVIOUS, "PREVIOUS", 40, 210, 105, 290},
    {SHUFFLE, "SHUFFLE", 70, 300, 135, 370},
    {REPEAT, "REPEAT", 365, 305, 430, 370},
    {VOLUME_UP, "VOLUME_UP", 210, 40, 290, 110},
    {VOLUME_DOWN, "VOLUME_DOWN", 210, 390, 290, 460},
    {ADD_MUSIC, "ADD_MUSIC", 60, 125, 135, 205},
    {LOAD_PLAYLIST, "LOAD_PLAYLIST", 135, 65, 205, 140},
    {SAVE_PLAYLIST, "SAVE_PLAYLIST", 300, 65, 365, 140},
    {MANAGE_PLAYLIST, "MANAGE_PLAYLIST", 365, 130, 435, 205},
}};

} // namespace zalvo
