#pragma once

#include "decode/ModuleDecoder.h"

namespace zalvo {

// FFmpeg's own messages, passed to the core's log as single lines, each cut to a bounded length and
// at most so many a second, so that a hostile file cannot flood the log; the rest are counted.
class FfmpegLog final {
public:
    FfmpegLog() = delete;

    // Where the messages go from now on; none are kept before a sink is set.
    static void setSink(ModuleLogSink sink);
    // Routes FFmpeg's messages here, away from standard error; safe to call again.
    static void takeOver();
};

} // namespace zalvo
