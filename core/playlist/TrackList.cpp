#include "playlist/TrackList.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zalvo {

void TrackList::push_back(value_type track) {
    insert(entries.end(), std::move(track));
}

void TrackList::append(std::vector<value_type> tracks) {
    if (tracks.empty()) {
        return;
    }
    const std::size_t row = entries.size();
    auto first = entries.end();
    for (value_type& track : tracks) {
        const auto added = entries.insert(entries.end(), std::move(track));
        if (first == entries.end()) {
            first = added;
        }
    }
    ++edits;
    for (TrackListListener* listener : listeners) {
        listener->inserted(first, row, tracks.size());
    }
}

TrackList::iterator TrackList::insert(const_iterator before, value_type track) {
    ++edits;
    const auto added = entries.insert(before, std::move(track));
    if (!listeners.empty()) {
        const std::size_t row = rowOf(added);
        for (TrackListListener* listener : listeners) {
            listener->inserted(added, row, 1);
        }
    }
    return added;
}

TrackList::iterator TrackList::erase(const_iterator position) {
    ++edits;
    if (!listeners.empty()) {
        const std::size_t row = rowOf(position);
        for (TrackListListener* listener : listeners) {
            listener->aboutToRemove(row, 1);
        }
    }
    return entries.erase(position);
}

void TrackList::clear() {
    ++edits;
    for (TrackListListener* listener : listeners) {
        listener->aboutToClear();
    }
    entries.clear();
}

void TrackList::splice(const_iterator before, TrackList& from, const_iterator moved) {
    ++edits;
    ++from.edits;
    if (&from != this) {
        if (!from.listeners.empty()) {
            const std::size_t row = from.rowOf(moved);
            for (TrackListListener* listener : from.listeners) {
                listener->aboutToRemove(row, 1);
            }
        }
        entries.splice(before, from.entries, moved);
        if (!listeners.empty()) {
            const std::size_t row = rowOf(moved);
            const auto position = entries.erase(moved, moved);
            for (TrackListListener* listener : listeners) {
                listener->inserted(position, row, 1);
            }
        }
        return;
    }
    // Before itself or before its follower, the entry stays where it is.
    if (before == moved || before == std::next(moved)) {
        return;
    }
    const std::size_t fromRow = listeners.empty() ? 0 : rowOf(moved);
    entries.splice(before, entries, moved);
    if (!listeners.empty()) {
        const std::size_t toRow = rowOf(moved);
        for (TrackListListener* listener : listeners) {
            listener->moved(fromRow, toRow);
        }
    }
}

void TrackList::addListener(TrackListListener* listener) {
    if (std::ranges::find(listeners, listener) == listeners.end()) {
        listeners.push_back(listener);
    }
}

void TrackList::removeListener(TrackListListener* listener) {
    std::erase(listeners, listener);
}

std::size_t TrackList::rowOf(const_iterator position) const {
    return static_cast<std::size_t>(std::distance(entries.begin(), position));
}

} // namespace zalvo
