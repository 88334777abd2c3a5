#pragma once

#include "formats/EntrySink.h"
#include "formats/ReadStatus.h"
#include "formats/SavedTrack.h"

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zalvo {

// One playlist file format: how its files are told apart, read and written.
class PlayListFormat {
public:
    // What a file's opening says of its format.
    enum class Match {
        No,       // not this format
        Certain,  // this format's own opening: its reading ends the search, whatever its status
        Possible, // nothing to see in the opening: a reading that finds Unrecognised lets the others try
        Fallback, // taken only when no other format takes the file
    };

    PlayListFormat() = default;
    PlayListFormat(const PlayListFormat&) = delete;
    PlayListFormat& operator=(const PlayListFormat&) = delete;
    PlayListFormat(PlayListFormat&&) = delete;
    PlayListFormat& operator=(PlayListFormat&&) = delete;
    virtual ~PlayListFormat() = default;

    // The lower-case endings of the file names that ask for this format when saving.
    virtual std::span<const std::u16string_view> extensions() const = 0;
    // `head` is the file's opening, as much of it as tells the formats apart.
    virtual Match recognises(std::string_view head) const = 0;
    // Delivers the local path of each entry, in order; relative entries are resolved against `folder`.
    virtual ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const = 0;
    // Writes the tracks that can be named; false when the stream failed.
    virtual bool write(std::ostream& output, const std::vector<SavedTrack>& tracks,
                       std::u16string_view folder) const = 0;
};

} // namespace zalvo
