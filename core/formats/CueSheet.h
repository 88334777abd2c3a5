#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zalvo {

// What a cue sheet says: its files, its tracks and where each begins in its file. Times are CD frames
// (1/75 s) from the start of the track's file; text is UTF-8 and empty when the sheet has none.
struct CueSheet final {
    struct Track final {
        int number = 0;
        // Index into files: the file the track's INDEX 01 lies in.
        std::size_t file = 0;
        std::uint32_t begin = 0;
        // Empty: the track runs to the end of its file.
        std::optional<std::uint32_t> end;
        std::string title;
        std::string performer;
        std::string songwriter;
        std::optional<float> gainDb;
        std::optional<float> peak;
    };

    // FILE names as written; their type (WAVE, MP3, ...) says nothing a decoder does not find itself.
    std::vector<std::string> files;
    std::string title;
    std::string performer;
    std::string genre;
    std::string date;
    std::optional<float> albumGainDb;
    std::optional<float> albumPeak;
    std::vector<Track> tracks;

    // The sheet, or an English sentence saying why it is refused.
    static std::variant<CueSheet, std::string> read(std::string_view bytes);
    // The same from the stream's position, reading no more than a sheet may hold and a byte to tell.
    static std::variant<CueSheet, std::string> read(std::istream& input);
    // Whether a file's opening reads as a cue sheet's: it begins with one of the format's commands and
    // names an audio file.
    static bool opensLikeOne(std::string_view head);
};

} // namespace zalvo
