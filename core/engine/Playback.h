#pragma once

#include "decode/StreamStatus.h"
#include "engine/GaplessSource.h"
#include "engine/PausableClock.h"
#include "engine/TrackLoudness.h"
#include "output/AudioOutput.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace zalvo {

// One continuous stream to the output: the tracks joined by its source, and what of them is heard.
// A track owns it while the track sounds and hands it to the track that follows without a break.
class Playback final {
public:
    // Starts paused, at `startFrame` of the track, going on as `plan` says; every track of the stream
    // plays at its `loudness`. An internet stream's waits are given up when this ends.
    Playback(std::unique_ptr<TrackDecoder> decoder, GaplessSource::Track track, std::uint64_t startFrame,
             TrackLoudness loudness, float gain, std::shared_ptr<const GaplessSource::Plan> plan);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    void play();
    void pause();
    bool isPaused() const { return paused; }
    void setGain(float gain);
    void setPlan(std::shared_ptr<const GaplessSource::Plan> plan);
    bool hasPlan() const { return planned; }
    // Goes on from `trackFrame` of the track, which `decoder` is at, on the same output; the plan
    // stands. Heard as soon as the output has dropped what it held.
    void seek(std::unique_ptr<TrackDecoder> decoder, GaplessSource::Track track, std::uint64_t trackFrame);

    // Seconds of the track heard so far, within its length.
    double heardSeconds(std::uint64_t trackId) const;
    // Every frame of the track has been heard.
    bool heardToEnd(std::uint64_t trackId) const;
    // The track's length in seconds, once its end has been decoded.
    std::optional<double> decodedSeconds(std::uint64_t trackId) const;
    // The stream has ended and all of it was heard.
    bool drained() const;
    // The track the stream went on with after the given one.
    std::optional<GaplessSource::Track> trackAfter(std::uint64_t trackId) const;
    void forgetBefore(std::uint64_t trackId);
    // What the internet stream that plays says of itself; null for files.
    const std::shared_ptr<StreamStatus>& streamStatus() const { return stream; }

private:
    // Frames heard, at the given rate: the output's count moves in steps of its mixing period, so it is
    // carried between steps by a clock, which never runs more than a step ahead of it.
    std::uint64_t smoothedFrames(unsigned sampleRate) const;

    // Shared with the output, which may outlive this object while it closes.
    std::shared_ptr<StreamStatus> stream;
    std::shared_ptr<GaplessSource> source;
    std::unique_ptr<AudioOutput> output;
    bool paused = true;
    bool planned = false;
    mutable PausableClock clock{true};
    mutable std::uint64_t clockStart = 0;
    // The last "not heard to its end" answer and until when it surely holds, while the segments stay as
    // they were.
    struct NotHeardToEnd {
        std::uint64_t trackId = 0;
        std::uint64_t segmentsChanged = 0;
        std::chrono::steady_clock::time_point until;
    };
    mutable std::optional<NotHeardToEnd> notHeardToEnd;
};

} // namespace zalvo
