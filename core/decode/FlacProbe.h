#pragma once

namespace zalvo {

class FileStream;

// Looks through a FLAC file's metadata for a cue sheet, as a CUESHEET block or a CUESHEET comment, in
// the open that outlines the file: an album ripped to one file then lists as its tracks, and any other
// FLAC file costs no second open.
class FlacProbe final {
public:
    FlacProbe() = delete;

    // False also for a stream that is no FLAC file; the stream is left anywhere.
    static bool carriesCueSheet(FileStream& stream);
};

} // namespace zalvo
