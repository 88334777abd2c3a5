#pragma once

#include "playlist/Music.h"

#include <cstddef>
#include <list>
#include <memory>

namespace zalvo {

// Hears every edit of a track list by rows, on the editing thread and under the playlist's lock, so it
// must only take note. Removals and the clearing are heard just before they happen and insertions and
// moves just after, so that every position a listener keeps designates a live entry.
class TrackListListener {
public:
    using Position = std::list<std::unique_ptr<Music>>::iterator;

    TrackListListener() = default;
    TrackListListener(const TrackListListener&) = delete;
    TrackListListener& operator=(const TrackListListener&) = delete;
    virtual ~TrackListListener() = default;

    // `count` entries now stand from `row` on, the first of them at `first`.
    virtual void inserted(Position first, std::size_t row, std::size_t count) = 0;
    virtual void aboutToRemove(std::size_t row, std::size_t count) = 0;
    // The entry that stood at `from` now stands at `to`.
    virtual void moved(std::size_t from, std::size_t to) = 0;
    virtual void aboutToClear() = 0;
};

} // namespace zalvo
