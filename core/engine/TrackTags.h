#pragma once

#include <string>

// The title, artist and album an audio file names itself by, in UTF-8; empty when the file has none.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;

    // Reads them through libsndfile; a file that does not open has no tags.
    static TrackTags read(const std::u16string& path);
};
