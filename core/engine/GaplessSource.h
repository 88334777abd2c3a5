#pragma once

#include "decode/TrackDecoder.h"
#include "decode/TrackSpan.h"
#include "engine/TrackLoudness.h"
#include "pcm/PcmSource.h"
#include "tags/TrackTagsOnce.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zalvo {

class FollowerOpener;
class Music;
class RateConverter;

// The PCM of one track and of those that follow it, back to back: when a track's decoder runs short,
// the same request is filled from the next one, so no sample is lost and none is added between them.
// Reads run on one thread, the one that decodes ahead of the output; it records where each track starts
// and ends in the stream, which the player's thread reads to learn what is heard.
class GaplessSource final : public PcmSource {
public:
    struct Track {
        std::uint64_t id = 0;
        std::string utf8Path;
        // Who plays it, compared and never followed: the player's thread checks it is still there.
        const Music* owner = nullptr;
        // Its tags, shared with whoever else reads them; none means read from the file when needed.
        std::shared_ptr<const TrackTagsOnce> tags = nullptr;
        // The part of the file it plays.
        TrackSpan span{};

        // Whether `next` goes on in the same file where this ends, so that one decoder plays on into it.
        bool runsInto(const Track& next) const { return utf8Path == next.utf8Path && span.runsInto(next.span); }
    };

    // What follows each track of the stream from the sounding one on, as far as the plan reaches.
    // `choose` runs at each join on the reading thread, as late as the decoding lead allows, and ahead of it
    // on the thread that opens followers, so it must be quick, must not wait, and must read only what
    // it owns or atomics.
    struct Plan {
        // How far ahead a plan reaches and followers are opened: past what is decoded ahead of the speaker (the
        // sound server's two seconds and the decoder's lead, three and a half at most) and a tick, with room to
        // spare, so that tracks shorter than the lead join too.
        static constexpr double aheadSeconds = 5.0;
        static constexpr std::size_t mostAhead = 16;

        std::function<std::optional<Track>(std::uint64_t endingTrack)> choose;
    };

    // Where a track lies in the stream, in frames handed out since the stream began.
    struct Segment {
        Track track;
        std::uint64_t start = 0;
        // The track's own frame at `start`: not 0 after a seek.
        std::uint64_t trackOffset = 0;
        std::optional<std::uint64_t> end;
        PcmFormat format;
    };

    GaplessSource(std::unique_ptr<TrackDecoder> decoder, Track track, std::uint64_t trackOffset,
                  TrackLoudness loudness);
    ~GaplessSource() override;
    GaplessSource(const GaplessSource&) = delete;
    GaplessSource& operator=(const GaplessSource&) = delete;

    // Reads the first track's loudness from its tags.
    void prepare() override;
    PcmFormat format() const override { return currentFormat; }
    std::size_t read(std::span<float> samples) override;

    // From the player's thread: the stream is to go on from `trackFrame` of a track, decoded by
    // `seeking`, which is there already, once the output has dropped what it holds and calls
    // applySeek(). A later seek replaces one still pending.
    void seekTo(std::unique_ptr<TrackDecoder> seeking, Track track, std::uint64_t trackFrame);
    bool seekPending() const override;
    void applySeek(std::uint64_t from) override;
    // Where in the track a seek still pending goes to, in seconds.
    std::optional<double> seekingTo(std::uint64_t trackId) const;

    void setPlan(std::shared_ptr<const Plan> plan);
    std::optional<Segment> segmentOf(std::uint64_t trackId) const;
    // Moves whenever a segment is added, ended, moved by a seek or forgotten: what was learnt of the
    // segments before it moved may be out of date. Read without a lock.
    std::uint64_t segmentsChanged() const { return segmentChanges.load(std::memory_order_acquire); }
    // The track the stream went on with after the given one, if it has gone on.
    std::optional<Segment> segmentAfter(std::uint64_t trackId) const;
    // Forgets the tracks before the given one, which no one will ask about again.
    void forgetBefore(std::uint64_t trackId);

private:
    // Pending until its segment is in place, so that the player's thread never sees the stream between
    // the two; `number` tells it from a later seek that replaced it meanwhile.
    struct Seek {
        std::unique_ptr<TrackDecoder> decoder;
        Track track;
        std::uint64_t trackFrame = 0;
        double seconds = 0.0;
        std::uint64_t number = 0;
    };

    // Moves the stream on into the track that follows; false when none does.
    bool openFollower();
    // The format the track being decoded is handed out in.
    PcmFormat trackFormat() const;
    // Under the lock, after each change to `segments`.
    void noteSegmentsChanged();

    // Touched by the reading thread only, apart from construction and applySeek(), which runs while
    // nothing reads.
    std::unique_ptr<TrackDecoder> decoder;
    // Only for a track whose rate no output takes.
    std::unique_ptr<RateConverter> converter;
    PcmFormat currentFormat;
    std::uint64_t framesHandedOut = 0;

    TrackLoudness loudness;
    std::unique_ptr<FollowerOpener> opener;

    mutable std::mutex mutex;
    std::deque<Segment> segments;
    std::shared_ptr<const Plan> plan;
    std::optional<Seek> pendingSeek;
    std::uint64_t seeks = 0;
    // Whether `pendingSeek` holds one, and how often `segments` changed: set under the lock, read without it.
    std::atomic<bool> seekWaiting = false;
    std::atomic<std::uint64_t> segmentChanges = 0;
};

} // namespace zalvo
