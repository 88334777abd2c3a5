#pragma once

#include "decode/ModuleDecoder.h"

#include <string>

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
    // The last error FFmpeg told of on this thread, since the last call: why a connection failed, which
    // its error code alone does not say (a certificate refused).
    static std::string takeLastError();
};

} // namespace zalvo
