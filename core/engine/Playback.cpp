#include "engine/Playback.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

namespace zalvo {

Playback::Playback(std::unique_ptr<TrackDecoder> decoder, GaplessSource::Track track, std::uint64_t startFrame,
                   TrackLoudness loudness, float gain, std::shared_ptr<const GaplessSource::Plan> plan)
    : stream(decoder->streamStatus()),
      source(std::make_shared<GaplessSource>(std::move(decoder), std::move(track), startFrame, loudness)) {
    // The output decodes ahead as soon as it opens, past the end of a short track: what follows must be
    // known before.
    setPlan(std::move(plan));
    output = AudioOutput::openFor(source);
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
    // Asked ten times a second: while nothing moved in the stream and its end cannot have been reached
    // yet, the answer stands without asking the source or the output.
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t changes = source->segmentsChanged();
    if (notHeardToEnd && notHeardToEnd->trackId == trackId && notHeardToEnd->segmentsChanged == changes &&
        now < notHeardToEnd->until) {
        return false;
    }
    notHeardToEnd.reset();
    const std::optional<GaplessSource::Segment> segment = source->segmentOf(trackId);
    if (!segment || !segment->end) {
        // Its end is learnt as a change of the segments.
        notHeardToEnd = NotHeardToEnd{trackId, changes, std::chrono::steady_clock::time_point::max()};
        return false;
    }
    const std::uint64_t played = output->playedFrames();
    if (played >= *segment->end) {
        return true;
    }
    if (played >= segment->start) {
        // What is left plays no faster than in real time; the output's count moves in steps, a tick early
        // is ahead of any of them.
        constexpr std::chrono::milliseconds aheadOfSteps{100};
        const std::chrono::duration<double> left(static_cast<double>(*segment->end - played) /
                                                 segment->format.sampleRate);
        notHeardToEnd =
            NotHeardToEnd{trackId, changes,
                          now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(left) - aheadOfSteps};
    }
    return false;
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
