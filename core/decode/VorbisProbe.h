#pragma once

#include "decode/TrackOutline.h"

#include <optional>

namespace zalvo {

class FileStream;

// Reads an Ogg Vorbis file's headers and length without setting up its decoder. Decoding needs
// tables built from the file's codebooks, three times the cost of everything else in opening it,
// which a playlist of thousands of tracks would pay for each one before any of them plays.
class VorbisProbe final {
public:
    // Nothing when the file is not one Ogg Vorbis stream whose length can be read from its end.
    static std::optional<TrackOutline> read(FileStream& stream);
};

} // namespace zalvo
