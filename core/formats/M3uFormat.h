#pragma once

#include "EntrySink.h"
#include "ReadStatus.h"
#include "SavedTrack.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// M3U and M3U8: one entry per line, '#' lines skipped; written as extended M3U8.
class M3uFormat final {
public:
    M3uFormat() = delete;

    // The extended form's opening line.
    static bool recognises(std::string_view head);
    // A plain list of paths has no opening: text with no control characters.
    static bool looksLikePlainList(std::string_view head);
    static ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink);
    // Writes the tracks that can be named; false when the stream failed.
    static bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder);
};
