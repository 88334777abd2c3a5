#pragma once

#include <string>
#include <vector>

// Reads a playlist file, whatever its format, into the paths of the tracks it names.
class PlayListFile final {
public:
    enum class Status {
        Ok,           // every entry read
        Damaged,      // a known format that breaks off: the paths before the damage are kept
        Unrecognised, // no known format, or not a regular file: nothing is kept
        Unreadable,   // the file could not be opened
    };

    struct Contents {
        Status status = Status::Unreadable;
        std::vector<std::u16string> paths;
    };

    PlayListFile() = delete;

    static Contents read(const std::u16string& path);
};
