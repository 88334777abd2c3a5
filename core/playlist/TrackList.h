#pragma once

#include "playlist/Music.h"

#include <cstdint>
#include <list>
#include <memory>

namespace zalvo {

// The playlist's tracks in order, with the stepping, inserting, moving and removing of a std::list,
// whose every edit is counted: whoever makes it (the playlist, the manager, a drop), the playlist sees
// that the order changed and plans again what follows the sounding track. A position stays valid while
// its entry stays in the list, wherever it moves.
class TrackList final {
public:
    using Entries = std::list<std::unique_ptr<Music>>;
    using value_type = Entries::value_type;
    using iterator = Entries::iterator;
    using const_iterator = Entries::const_iterator;
    using size_type = Entries::size_type;

    iterator begin() { return entries.begin(); }
    iterator end() { return entries.end(); }
    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }
    size_type size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    value_type& front() { return entries.front(); }
    value_type& back() { return entries.back(); }

    void push_back(value_type track) {
        entries.push_back(std::move(track));
        ++edits;
    }
    iterator insert(const_iterator before, value_type track) {
        ++edits;
        return entries.insert(before, std::move(track));
    }
    iterator erase(const_iterator position) {
        ++edits;
        return entries.erase(position);
    }
    void clear() {
        entries.clear();
        ++edits;
    }
    // Moves one entry of `from` before `before`: the entry itself is relinked, so its track is neither
    // copied nor restarted, and every position stays valid.
    void splice(const_iterator before, TrackList& from, const_iterator moved) {
        entries.splice(before, from.entries, moved);
        ++edits;
        ++from.edits;
    }

    // Changes with every edit.
    std::uint64_t version() const { return edits; }

private:
    Entries entries;
    std::uint64_t edits = 0;
};

} // namespace zalvo
