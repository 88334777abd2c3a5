#pragma once

#include "decode/TrackOutline.h"

#include <optional>

namespace zalvo {

class FileStream;

// Reads an MP4 audio file's format and length from its boxes, without FFmpeg: a playlist of thousands
// of M4A tracks would otherwise have FFmpeg index every one of them before any plays. It gives what
// the FFmpeg decoder plays (the edit list's length, or iTunes' record of it), and gives up where the
// boxes alone cannot say it for sure.
class Mp4Probe final {
public:
    // Nothing when the file is not an MP4 whose one audio track is AAC-LC or ALAC described plainly.
    static std::optional<TrackOutline> read(FileStream& stream);
};

} // namespace zalvo
