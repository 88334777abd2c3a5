#pragma once

#include "playlist/Music.h"
#include "playlist/TrackListListener.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace zalvo {

// The playlist's tracks in order, with the stepping, inserting, moving and removing of a std::list,
// whose every edit is counted and told by rows to whoever listens: whoever makes it (the playlist, the
// manager, a drop), the playlist sees that the order changed and plans again what follows the sounding
// track, and the manager's view updates the rows concerned. A position stays valid while its entry stays
// in the list, wherever it moves.
class TrackList final {
public:
    using Entries = std::list<std::unique_ptr<Music>>;
    using value_type = Entries::value_type;
    using iterator = Entries::iterator;
    using const_iterator = Entries::const_iterator;
    using size_type = Entries::size_type;

    TrackList() = default;
    TrackList(const TrackList&) = delete;
    TrackList& operator=(const TrackList&) = delete;

    iterator begin() { return entries.begin(); }
    iterator end() { return entries.end(); }
    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }
    size_type size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    value_type& front() { return entries.front(); }
    value_type& back() { return entries.back(); }

    void push_back(value_type track);
    // Appends the whole batch as one edit.
    void append(std::vector<value_type> tracks);
    iterator insert(const_iterator before, value_type track);
    iterator erase(const_iterator position);
    void clear();
    // Moves one entry of `from` before `before`: the entry itself is relinked, so its track is neither
    // copied nor restarted, and every position stays valid.
    void splice(const_iterator before, TrackList& from, const_iterator moved);

    // Changes with every edit.
    std::uint64_t version() const { return edits; }

    // The listener hears every edit until it is removed; the list does not own it.
    void addListener(TrackListListener* listener);
    void removeListener(TrackListListener* listener);

private:
    std::size_t rowOf(const_iterator position) const;

    Entries entries;
    std::uint64_t edits = 0;
    std::vector<TrackListListener*> listeners;
};

} // namespace zalvo
