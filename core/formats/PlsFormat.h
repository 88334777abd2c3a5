#pragma once

#include "EntrySink.h"
#include "ReadStatus.h"
#include "SavedTrack.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// PLS: a [playlist] section of FileN, TitleN and LengthN keys, taken in the order of N.
class PlsFormat final {
public:
    PlsFormat() = delete;

    static bool recognises(std::string_view head);
    static ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink);
    static bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder);
};
