#pragma once

#include "formats/CueSheet.h"

#include <istream>
#include <optional>

namespace zalvo {

// The cue sheet a FLAC file carries for the album it holds: its CUESHEET metadata block, or a CUESHEET
// Vorbis comment holding a sheet's text, as rippers embed them. Its tracks all lie in the file itself.
class FlacCueSheet final {
public:
    FlacCueSheet() = delete;

    // Nothing when the stream is no FLAC file or carries no sheet that reads; it is read from its start.
    static std::optional<CueSheet> read(std::istream& input);
};

} // namespace zalvo
