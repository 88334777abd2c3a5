#pragma once

#include "engine/GaplessSource.h"
#include "engine/TrackLoudness.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zalvo {

class TrackDecoder;

// Opens, on a thread of its own, the tracks a plan says will follow the one being decoded, so that
// the output's thread only switches to a decoder already open and never waits on the file system.
// It opens a few seconds of audio ahead, so that tracks shorter than the output's lead join too.
class FollowerOpener final {
public:
    struct Taken {
        std::unique_ptr<TrackDecoder> decoder;
        // The file does not open: the track is to be passed over.
        bool refused = false;
    };

    FollowerOpener(const GaplessSource::Track& decodingTrack, TrackLoudness loudness);
    ~FollowerOpener();
    FollowerOpener(const FollowerOpener&) = delete;
    FollowerOpener& operator=(const FollowerOpener&) = delete;

    void setPlan(std::shared_ptr<const GaplessSource::Plan> plan);
    // From the reading thread: the track's decoder, which becomes the one being decoded. Nothing when
    // the track was not planned, or is still not open after a short wait.
    Taken take(std::uint64_t trackId);
    // From the reading thread: the stream has gone back to decoding the track, after a seek, or on into
    // it with the decoder of the track before.
    void decodeFrom(const GaplessSource::Track& track);

private:
    struct Opened {
        std::unique_ptr<TrackDecoder> decoder;
        double seconds = 0.0;
        GaplessSource::Track track;
    };
    // Shared with the thread, which outlives this object while a file system holds an open.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::shared_ptr<const GaplessSource::Plan> plan;
        GaplessSource::Track decoding;
        TrackLoudness loudness;
        std::uint64_t changes = 0;
        // The thread has changes to act on, or is opening.
        bool busy = false;
        bool stopping = false;
        bool stopped = false;
        std::map<std::uint64_t, Opened> opened;
    };

    // Opens a follower, off the lock.
    static Opened open(const GaplessSource::Track& track, const TrackLoudness& loudness);
    // Opens ahead of the track now decoded; the lock is held.
    void decodingNow(const GaplessSource::Track& track);
    static void run(const std::shared_ptr<State>& state);
    // Opens what follows the track being decoded, as far ahead as wanted; false when the plan or the
    // track being decoded changed meanwhile.
    static bool openAhead(State& state, std::unique_lock<std::mutex>& lock);

    std::shared_ptr<State> state = std::make_shared<State>();
    std::thread thread;
};

} // namespace zalvo
