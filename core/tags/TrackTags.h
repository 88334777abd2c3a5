#pragma once

#include "tags/ReplayGainTags.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zalvo {

// What an audio file says of itself, in UTF-8: empty strings, empty lists and zero numbers where it
// says nothing.
struct TrackTags {
    // Each value is cut there, at a character boundary: more than any screen or desktop shows, and a
    // huge one would otherwise be copied through every layer up to the bus.
    static constexpr std::size_t valueLimit = 64U << 10U;
    // Lists (artists, genres) keep their first entries up to this many.
    static constexpr std::size_t listLimit = 64;

    TrackTags() = default;
    TrackTags(std::string title, std::string artist, std::string album)
        : title(std::move(title)), artist(std::move(artist)), album(std::move(album)) {}

    std::string title;
    // The first artist named, as a single name for what shows only one.
    std::string artist;
    std::string album;
    std::vector<std::string> artists;
    std::vector<std::string> albumArtists;
    std::vector<std::string> genres;
    unsigned trackNumber = 0;
    unsigned discNumber = 0;
    unsigned year = 0;
    ReplayGainTags replayGain;

    // Reads them through the TagLib module, whatever the tag type; a file that does not open, or is not
    // a regular file, has none, and a damaged tag gives what of it reads. Text that does not decode keeps
    // what does, the rest replaced by U+FFFD. None where the module is missing.
    static TrackTags read(const std::u16string& path);
    // Each field `over` says something of replaces this one's, as a cue sheet's tracks are named over
    // their audio file's tags.
    void takeOver(const TrackTags& over);
};

} // namespace zalvo
