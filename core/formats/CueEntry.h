#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zalvo {

// How a playlist names one track of a cue sheet: the sheet's path with the track's number for a query,
// "album.cue?2", as other players write it too.
struct CueEntry {
    std::u16string sheet;
    unsigned number = 0;

    std::u16string name() const;
    // The sheet and number an entry names, if it has that form; a file of that name is still that file
    // to whoever finds it first.
    static std::optional<CueEntry> of(std::u16string_view entry);
};

} // namespace zalvo
