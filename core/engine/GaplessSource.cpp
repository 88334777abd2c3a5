#include "GaplessSource.h"

#include "FollowerOpener.h"

#include <algorithm>
#include <utility>

GaplessSource::GaplessSource(std::unique_ptr<TrackDecoder> decoder, Track track, std::uint64_t trackOffset)
    : decoder(std::move(decoder)), currentFormat(this->decoder->format()),
      opener(std::make_unique<FollowerOpener>(track.id)) {
    segments.push_back(Segment{std::move(track), 0, trackOffset, std::nullopt, currentFormat});
}

GaplessSource::~GaplessSource() = default;

std::size_t GaplessSource::read(std::span<std::int16_t> samples) {
    const std::size_t channels = currentFormat.channels;
    const std::size_t wanted = samples.size() / channels;
    std::size_t frames = 0;
    while (decoder && frames < wanted) {
        const std::size_t got = decoder->read(samples.subspan(frames * channels, (wanted - frames) * channels));
        frames += got;
        framesHandedOut += got;
        if (frames == wanted) {
            break;
        }
        decoder = openFollower();
        if (decoder && decoder->format() != currentFormat) {
            // The output restarts in the new format; this read ends where the old one does.
            currentFormat = decoder->format();
            break;
        }
    }
    return frames;
}

std::unique_ptr<TrackDecoder> GaplessSource::openFollower() {
    std::shared_ptr<const Plan> next;
    std::uint64_t endingTrack = 0;
    {
        const std::scoped_lock lock(mutex);
        segments.back().end = framesHandedOut;
        endingTrack = segments.back().track.id;
        next = plan;
    }
    if (!next || !next->choose) {
        return nullptr;
    }
    // Followers that do not open are passed over, as far as the plan reaches.
    for (std::uint64_t after = endingTrack;;) {
        std::optional<Track> track = next->choose(after);
        if (!track || track->id == endingTrack) {
            return nullptr;
        }
        FollowerOpener::Taken taken = opener->take(track->id);
        if (taken.decoder) {
            const std::scoped_lock lock(mutex);
            segments.push_back(Segment{*std::move(track), framesHandedOut, 0, std::nullopt, taken.decoder->format()});
            return std::move(taken.decoder);
        }
        if (!taken.refused) {
            return nullptr;
        }
        after = track->id;
    }
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
}
