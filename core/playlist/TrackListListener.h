#pragma once

#include <cstddef>

namespace zalvo {

// Hears every edit of a track list by rows, on the editing thread and under the playlist's lock, so it
// must only take note. Removals and the clearing are heard just before they happen and insertions and
// moves just after, so that the rows a listener reads are those of live entries.
class TrackListListener {
public:
    TrackListListener() = default;
    TrackListListener(const TrackListListener&) = delete;
    TrackListListener& operator=(const TrackListListener&) = delete;
    virtual ~TrackListListener() = default;

    // `count` entries now stand from `row` on.
    virtual void inserted(std::size_t row, std::size_t count) = 0;
    virtual void aboutToRemove(std::size_t row, std::size_t count) = 0;
    // The entry that stood at `from` now stands at `to`.
    virtual void moved(std::size_t from, std::size_t to) = 0;
    virtual void aboutToClear() = 0;
};

} // namespace zalvo
