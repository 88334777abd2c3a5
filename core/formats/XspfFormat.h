#pragma once

#include "EntrySink.h"
#include "ReadStatus.h"
#include "SavedTrack.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// XSPF: the location URI of each track of the trackList, with xml:base honoured. Read as a stream, so
// memory holds one entry at a time, whatever the file's size.
class XspfFormat final {
public:
    XspfFormat() = delete;

    // Any XML: whether it is a playlist shows at its root element.
    static bool recognises(std::string_view head);
    static ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink);
    static bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder);
};
