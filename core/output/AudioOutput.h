#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zalvo {

class PcmSource;

// Plays what a PcmSource hands out, pulling from it on a thread of its own. The controls act on the
// stream at once, never waiting for the data already queued to play out.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // The output to use on this machine, pulling from `source` once it has prepared it; the source must
    // outlive it. Starts paused.
    static std::unique_ptr<AudioOutput> create(PcmSource& source);
    // The output a player uses: the harness's at once, else the machine's, opened and closed on a
    // thread of its own so that the caller never waits on the sound server. The source is kept alive
    // for as long as any output pulls from it.
    static std::unique_ptr<AudioOutput> openFor(std::shared_ptr<PcmSource> source);
    // Replaces how outputs are made, for a harness that pulls the samples itself; an empty factory
    // brings back the machine's own outputs.
    using Factory = std::function<std::unique_ptr<AudioOutput>(PcmSource&)>;
    static void setFactory(Factory factory);
    // The device stays open while a hold on it lives, so that changing tracks never closes and reopens
    // it (a gap in the sound).
    static std::shared_ptr<void> holdDevice();

    virtual void play() = 0;
    virtual void pause() = 0;
    // 0 (silent) to 1 (full).
    virtual void setGain(float gain) = 0;
    // The source has a seek pending: drops what is queued and not yet heard and goes on from the seek
    // on the same device or server connection, its count of frames heard going on from where it was.
    virtual void followSeek() = 0;

    // Frames of the source heard so far, across format changes; frozen while paused.
    virtual std::uint64_t playedFrames() const = 0;
    // The source has ended and every frame it gave has been heard.
    virtual bool drained() const = 0;
};

} // namespace zalvo
