#include "engine/Playback.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zalvo {

Playback::Playback(std::unique_ptr<TrackDecoder> decoder, GaplessSource::Track track, std::uint64_t startFrame,
                   TrackLoudness loudness, float gain)
    : stream(decoder->streamStatus()),
      source(std::make_shared<GaplessSource>(std::move(decoder), std::move(track), startFrame, loudness)),
      output(AudioOutput::openFor(source)) {
    output->setGain(gain);
}

Playback::~Playback() {
    // The output's thread may be connecting to the station, or reading from it: it lets go at once.
    if (stream) {
        stream->cancel();
    }
}

void Playback::play() {
    paused = false;
    clock.resume();
    output->play();
}

void Playback::pause() {
    paused = true;
    clock.pause();
    output->pause();
}

void Playback::setGain(float gain) {
    output->setGain(gain);
}

void Playback::setPlan(std::shared_ptr<const GaplessSource::Plan> plan) {
    planned = plan != nullptr;
    source->setPlan(std::move(plan));
}

void Playback::seek(std::unique_ptr<TrackDecoder> decoder, GaplessSource::Track track, std::uint64_t trackFrame) {
    source->seekTo(std::move(decoder), std::move(track), trackFrame);
    output->followSeek();
    // Carried from the count the output goes on from, once it has moved.
    clockStart = 0;
    clock.reset(true);
}

double Playback::heardSeconds(std::uint64_t trackId) const {
    if (const std::optional<double> target = source->seekingTo(trackId)) {
        return *target;
    }
    const std::optional<GaplessSource::Segment> segment = source->segmentOf(trackId);
    if (!segment) {
        return 0.0;
    }
    std::uint64_t heard = smoothedFrames(segment->format.sampleRate);
    if (segment->end) {
        heard = std::min(heard, *segment->end);
    }
    const std::uint64_t frames = heard > segment->start ? heard - segment->start : 0;
    return static_cast<double>(frames + segment->trackOffset) / segment->format.sampleRate;
}

std::uint64_t Playback::smoothedFrames(unsigned sampleRate) const {
    // About two mixing periods of OpenAL Soft, and far less than a tick.
    constexpr std::uint64_t mostAhead = 2048;
    const std::uint64_t played = output->playedFrames();
    const auto counted =
        clockStart + static_cast<std::uint64_t>(clock.getElapsedTime() * static_cast<float>(sampleRate));
    if (counted < played) {
        clockStart = played;
        clock.reset(paused);
        return played;
    }
    return std::min(counted, played + mostAhead);
}

bool Playback::heardToEnd(std::uint64_t trackId) const {
    if (source->seekPending()) {
        return false;
    }
    const std::optional<GaplessSource::Segment> segment = source->segmentOf(trackId);
    return segment && segment->end && output->playedFrames() >= *segment->end;
}

std::optional<double> Playback::decodedSeconds(std::uint64_t trackId) const {
    const std::optional<GaplessSource::Segment> segment = source->segmentOf(trackId);
    if (!segment || !segment->end) {
        return std::nullopt;
    }
    return static_cast<double>(*segment->end - segment->start + segment->trackOffset) / segment->format.sampleRate;
}

bool Playback::drained() const {
    return !source->seekPending() && output->drained();
}

std::optional<GaplessSource::Track> Playback::trackAfter(std::uint64_t trackId) const {
    std::optional<GaplessSource::Segment> next = source->segmentAfter(trackId);
    return next ? std::optional(std::move(next->track)) : std::nullopt;
}

void Playback::forgetBefore(std::uint64_t trackId) {
    source->forgetBefore(trackId);
}

} // namespace zalvo
