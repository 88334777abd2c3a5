#pragma once

#include "decode/TrackSpan.h"
#include "tags/TrackTags.h"

#include <string>

namespace zalvo {

// One track of a cue sheet, as plain data: where it lies in its audio file, what the sheet says of it,
// and how a playlist names it again.
struct CueTrack {
    // The sheet's own file: a .cue beside the audio, or the audio file that embeds it.
    std::u16string sheet;
    // As the sheet numbers it.
    unsigned number = 0;
    TrackSpan span;
    // What the sheet says, laid over the audio file's own tags: its empty fields leave the file's.
    TrackTags tags;
};

} // namespace zalvo
