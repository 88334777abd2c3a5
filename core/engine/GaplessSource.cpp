#include "engine/GaplessSource.h"

#include "decode/RateConverter.h"
#include "engine/FollowerOpener.h"
#include "engine/TrackLoudness.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zalvo {

namespace {

// Nothing when the track's own rate goes to every output, or when it cannot be converted: then the
// output does what it can with it.
std::unique_ptr<RateConverter> converterFor(const TrackDecoder& decoder) {
    const std::optional<unsigned> rate = RateConverter::rateFor(decoder.format());
    if (!rate) {
        return nullptr;
    }
    auto converter = std::make_unique<RateConverter>(decoder.format(), *rate);
    return converter->ready() ? std::move(converter) : nullptr;
}

// The last step before every output: whatever a decoder or a gain made of it, no sample leaves beyond
// full scale, and a NaN or an infinity is silence for that sample alone, never a poison to the mixer
// that would silence all that follows.
void limit(std::span<float> samples) {
    for (float& sample : samples) {
        sample = std::isfinite(sample) ? std::clamp(sample, -1.0F, 1.0F) : 0.0F;
    }
}

} // namespace

GaplessSource::GaplessSource(std::unique_ptr<TrackDecoder> decoder, Track track, std::uint64_t trackOffset,
                             TrackLoudness loudness)
    : decoder(std::move(decoder)), converter(converterFor(*this->decoder)),
      currentFormat(converter ? converter->format() : this->decoder->format()), loudness(loudness),
      opener(std::make_unique<FollowerOpener>(track, loudness)) {
    if (converter) {
        trackOffset = converter->converted(trackOffset);
    }
    segments.push_back(Segment{std::move(track), 0, trackOffset, std::nullopt, currentFormat});
}

GaplessSource::~GaplessSource() = default;

void GaplessSource::prepare() {
    if (decoder->streamStatus()) {
        // An internet stream connects here, off the player's thread, and plays as the station sends it,
        // with no loudness of its own to correct.
        decoder->connect();
        converter = converterFor(*decoder);
        currentFormat = trackFormat();
        const std::scoped_lock lock(mutex);
        segments.front().format = currentFormat;
        noteSegmentsChanged();
        return;
    }
    Track track;
    {
        const std::scoped_lock lock(mutex);
        track = segments.front().track;
    }
    // Followers are opened at their own loudness by the opener, off this thread too.
    decoder->setGain(loudness.factorFor(track.utf8Path, track.tags.get()));
}

std::size_t GaplessSource::read(std::span<float> samples) {
    const std::size_t channels = currentFormat.channels;
    const std::size_t wanted = samples.size() / channels;
    std::size_t frames = 0;
    while (decoder && frames < wanted) {
        const std::span<float> rest = samples.subspan(frames * channels, (wanted - frames) * channels);
        const std::size_t got = converter ? converter->read(*decoder, rest) : decoder->read(rest);
        frames += got;
        framesHandedOut += got;
        if (frames == wanted) {
            break;
        }
        if (!openFollower()) {
            decoder.reset();
            converter.reset();
            break;
        }
        if (trackFormat() != currentFormat) {
            // The output restarts in the new format; this read ends where the old one does.
            currentFormat = trackFormat();
            break;
        }
    }
    limit(samples.first(frames * channels));
    return frames;
}

PcmFormat GaplessSource::trackFormat() const {
    return converter ? converter->format() : decoder->format();
}

bool GaplessSource::openFollower() {
    std::shared_ptr<const Plan> next;
    Track ending;
    {
        const std::scoped_lock lock(mutex);
        segments.back().end = framesHandedOut;
        noteSegmentsChanged();
        ending = segments.back().track;
        next = plan;
    }
    const std::uint64_t endingTrack = ending.id;
    if (!next || !next->choose) {
        return false;
    }
    // Followers that do not open are passed over, as far as the plan reaches.
    for (std::uint64_t after = endingTrack;;) {
        std::optional<Track> track = next->choose(after);
        if (!track || track->id == endingTrack) {
            return false;
        }
        // The next track of a cue sheet's file: the same decoder plays on into it.
        if (ending.runsInto(*track) && decoder->continueInto(track->span)) {
            decoder->setGain(loudness.factorFor(track->utf8Path, track->tags.get()));
            opener->decodeFrom(*track);
            const std::scoped_lock lock(mutex);
            segments.push_back(Segment{*std::move(track), framesHandedOut, 0, std::nullopt, trackFormat()});
            noteSegmentsChanged();
            return true;
        }
        FollowerOpener::Taken taken = opener->take(track->id);
        if (taken.decoder) {
            decoder = std::move(taken.decoder);
            converter = converterFor(*decoder);
            const std::scoped_lock lock(mutex);
            segments.push_back(Segment{*std::move(track), framesHandedOut, 0, std::nullopt, trackFormat()});
            noteSegmentsChanged();
            return true;
        }
        if (!taken.refused) {
            return false;
        }
        after = track->id;
    }
}

void GaplessSource::seekTo(std::unique_ptr<TrackDecoder> seeking, Track track, std::uint64_t trackFrame) {
    const double seconds = static_cast<double>(trackFrame) / seeking->format().sampleRate;
    std::optional<Seek> replaced = Seek{std::move(seeking), std::move(track), trackFrame, seconds, 0};
    const std::scoped_lock lock(mutex);
    replaced->number = ++seeks;
    std::swap(pendingSeek, replaced);
    seekWaiting.store(true, std::memory_order_release);
}

bool GaplessSource::seekPending() const {
    return seekWaiting.load(std::memory_order_acquire);
}

std::optional<double> GaplessSource::seekingTo(std::uint64_t trackId) const {
    const std::scoped_lock lock(mutex);
    if (!pendingSeek || pendingSeek->track.id != trackId) {
        return std::nullopt;
    }
    return pendingSeek->seconds;
}

void GaplessSource::applySeek(std::uint64_t from) {
    Seek seek;
    {
        const std::scoped_lock lock(mutex);
        if (!pendingSeek) {
            return;
        }
        seek = Seek{std::move(pendingSeek->decoder), pendingSeek->track, pendingSeek->trackFrame, pendingSeek->seconds,
                    pendingSeek->number};
    }
    seek.decoder->setGain(loudness.factorFor(seek.track.utf8Path, seek.track.tags.get()));
    // The decoder left behind closes here, off the player's thread.
    std::swap(decoder, seek.decoder);
    converter = converterFor(*decoder);
    currentFormat = trackFormat();
    framesHandedOut = from;
    const std::uint64_t trackOffset = converter ? converter->converted(seek.trackFrame) : seek.trackFrame;
    opener->decodeFrom(seek.track);
    const std::scoped_lock lock(mutex);
    segments.clear();
    segments.push_back(Segment{std::move(seek.track), from, trackOffset, std::nullopt, currentFormat});
    noteSegmentsChanged();
    if (pendingSeek && pendingSeek->number == seek.number) {
        pendingSeek.reset();
        seekWaiting.store(false, std::memory_order_release);
    }
}

void GaplessSource::noteSegmentsChanged() {
    segmentChanges.fetch_add(1, std::memory_order_release);
}

void GaplessSource::setPlan(std::shared_ptr<const Plan> newPlan) {
    opener->setPlan(newPlan);
    const std::scoped_lock lock(mutex);
    plan = std::move(newPlan);
}

std::optional<GaplessSource::Segment> GaplessSource::segmentOf(std::uint64_t trackId) const {
    const std::scoped_lock lock(mutex);
    const auto found =
        std::find_if(segments.begin(), segments.end(), [trackId](const Segment& s) { return s.track.id == trackId; });
    return found == segments.end() ? std::nullopt : std::optional<Segment>(*found);
}

std::optional<GaplessSource::Segment> GaplessSource::segmentAfter(std::uint64_t trackId) const {
    const std::scoped_lock lock(mutex);
    const auto found =
        std::find_if(segments.begin(), segments.end(), [trackId](const Segment& s) { return s.track.id == trackId; });
    if (found == segments.end() || std::next(found) == segments.end()) {
        return std::nullopt;
    }
    return *std::next(found);
}

void GaplessSource::forgetBefore(std::uint64_t trackId) {
    const std::scoped_lock lock(mutex);
    const auto found =
        std::find_if(segments.begin(), segments.end(), [trackId](const Segment& s) { return s.track.id == trackId; });
    segments.erase(segments.begin(), found == segments.end() ? segments.begin() : found);
    noteSegmentsChanged();
}

} // namespace zalvo
