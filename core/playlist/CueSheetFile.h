#pragma once

#include "playlist/CueTrack.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zalvo {

// A cue sheet file and the audio files it names: each of its tracks as an entry of a playlist.
class CueSheetFile final {
public:
    struct Located {
        // The audio file the track plays.
        std::u16string audio;
        CueTrack track;
    };

    CueSheetFile() = delete;

    // The sheet's tracks in order, or why it is refused. A FLAC file gives the tracks of the sheet it
    // carries, if any. A track whose file is missing is looked for under
    // the same name with another audio ending in the sheet's folder ("album.wav" named, "album.flac"
    // there), as sheets made for a rip are kept beside its re-encodings.
    static std::variant<std::vector<Located>, std::string> read(const std::u16string& sheetPath);
};

} // namespace zalvo
