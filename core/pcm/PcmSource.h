#pragma once

#include "pcm/PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace zalvo {

// The type of one sample on the whole path from decoder to output.
using PcmSample = float;

// Hands out interleaved 32-bit float PCM (full scale is ±1) to an output, on the output's own thread.
class PcmSource {
public:
    virtual ~PcmSource() = default;

    // Does, once and before the first read, what may take a while before the first sample, such as
    // reading tags: on a thread that may wait, never the output's own.
    virtual void prepare() {}

    // The format of what the next read returns.
    virtual PcmFormat format() const = 0;

    // Fills `samples` with whole frames in format() and returns the frame count. Fewer frames than
    // asked for means the data in this format ends there: if format() has changed, the stream goes on
    // in the new format; if not, the stream has ended, unless ended() says it is only running behind.
    // Never blocks on another thread.
    virtual std::size_t read(std::span<PcmSample> samples) = 0;

    // After a short read in an unchanged format: true when the stream has ended, false when what
    // follows is not decoded yet and a later read hands it out.
    virtual bool ended() const { return true; }
    // Waits until a read would hand out something, change format or end. Only for a caller that pulls
    // faster than the sound plays (a harness, a benchmark) and may wait; never an output.
    virtual void awaitReadable() {}

    // A seek is waiting for the output to drop what it holds: see applySeek().
    virtual bool seekPending() const { return false; }
    // Called by the output while it reads nothing, once it has dropped, unheard, every frame it read
    // past the first `from` of the stream: what is read next comes from the pending seek, numbered on
    // from there. On a thread that may wait, never the sound server's.
    virtual void applySeek(std::uint64_t /*from*/) {}
};

} // namespace zalvo
