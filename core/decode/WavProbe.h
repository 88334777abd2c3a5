#pragma once

#include "decode/TrackOutline.h"

#include <optional>

namespace zalvo {

class FileStream;

// Reads a plain WAV file's format and length from its chunks, without libsndfile: setting up
// libsndfile costs more than the few bytes a WAV header is, and a playlist outlines every track. It
// gives what libsndfile would, and gives up on anything less plain.
class WavProbe final {
public:
    // Nothing unless the file is a RIFF WAVE of integer or float samples, in a layout libsndfile reads
    // as it is, with frames in its data chunk.
    static std::optional<TrackOutline> read(FileStream& stream);
};

} // namespace zalvo
