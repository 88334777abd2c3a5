#include "engine/FollowerOpener.h"

#include "base/BoundedJoin.h"
#include "base/Log.h"
#include "decode/TrackDecoder.h"
#include "engine/TrackLoudness.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>
#include <vector>

namespace zalvo {

namespace {

constexpr double aheadSeconds = GaplessSource::Plan::aheadSeconds;
constexpr std::size_t mostAhead = GaplessSource::Plan::mostAhead;
// How long the reading thread waits for a follower still being opened: right after a start that is
// closer to its end than the opening takes, which decoding ahead makes common. Half the lead decoded
// ahead of the output, which plays on from it meanwhile.
constexpr std::chrono::milliseconds takeWait{500};
// Opening takes a few milliseconds; past this the file system holds it and the thread is left to
// finish on its own.
constexpr std::chrono::milliseconds stopWait{50};

// Opened as the track that plays first is, at its own loudness.
std::unique_ptr<TrackDecoder> openAtItsLoudness(const GaplessSource::Track& track, const TrackLoudness& loudness) {
    std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(track.utf8Path, track.span);
    if (decoder) {
        decoder->setGain(loudness.factorFor(track.utf8Path, track.tags.get()));
    }
    return decoder;
}

// A span's length without opening its file; one that runs to the file's end counts as long enough.
double secondsOf(const TrackSpan& span) {
    return span.end ? static_cast<double>(*span.end - span.begin) / TrackSpan::cdFramesPerSecond
                    : std::numeric_limits<double>::infinity();
}

} // namespace

FollowerOpener::FollowerOpener(const GaplessSource::Track& decodingTrack, TrackLoudness loudness) {
    state->decoding = decodingTrack;
    state->loudness = loudness;
    thread = std::thread([state = state] { run(state); });
}

FollowerOpener::~FollowerOpener() {
    std::unique_lock lock(state->mutex);
    state->stopping = true;
    boundedJoin(thread, std::move(lock), state->wake, state->stopped, stopWait);
}

void FollowerOpener::setPlan(std::shared_ptr<const GaplessSource::Plan> plan) {
    const std::scoped_lock lock(state->mutex);
    state->plan = std::move(plan);
    ++state->changes;
    state->busy = true;
    state->wake.notify_all();
}

FollowerOpener::Taken FollowerOpener::take(std::uint64_t trackId) {
    std::unique_lock lock(state->mutex);
    state->wake.wait_for(lock, takeWait, [this, trackId] { return state->opened.contains(trackId) || !state->busy; });
    const auto found = state->opened.find(trackId);
    if (found == state->opened.end()) {
        return {};
    }
    Taken taken{std::move(found->second.decoder), false};
    taken.refused = taken.decoder == nullptr;
    const GaplessSource::Track track = std::move(found->second.track);
    state->opened.erase(found);
    if (!taken.refused) {
        decodingNow(track);
    }
    return taken;
}

void FollowerOpener::decodeFrom(const GaplessSource::Track& track) {
    const std::scoped_lock lock(state->mutex);
    decodingNow(track);
}

void FollowerOpener::decodingNow(const GaplessSource::Track& track) {
    state->decoding = track;
    ++state->changes;
    state->busy = true;
    state->wake.notify_all();
}

void FollowerOpener::run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    while (!state->stopping) {
        const std::uint64_t seen = state->changes;
        if (!openAhead(*state, lock)) {
            continue;
        }
        state->busy = false;
        state->wake.notify_all();
        state->wake.wait(lock, [&state, seen] { return state->stopping || state->changes != seen; });
    }
    state->stopped = true;
    state->wake.notify_all();
}

FollowerOpener::Opened FollowerOpener::open(const GaplessSource::Track& track, const TrackLoudness& loudness) {
    Opened opened{openAtItsLoudness(track, loudness), 0.0, track};
    if (!opened.decoder) {
        Log::warning(Log::Category::Engine, "Passed over a following track that does not open: " + track.utf8Path);
    } else {
        const std::optional<std::uint64_t> frames = opened.decoder->headerFrames();
        opened.seconds = frames ? static_cast<double>(*frames) / opened.decoder->format().sampleRate
                                : std::numeric_limits<double>::infinity();
    }
    return opened;
}

bool FollowerOpener::openAhead(State& state, std::unique_lock<std::mutex>& lock) {
    const std::uint64_t seen = state.changes;
    const std::shared_ptr<const GaplessSource::Plan> plan = state.plan;
    std::vector<std::uint64_t> wanted;
    double ahead = 0.0;
    GaplessSource::Track before = state.decoding;
    while (plan && plan->choose && wanted.size() < mostAhead && ahead < aheadSeconds) {
        std::optional<GaplessSource::Track> next = plan->choose(before.id);
        if (!next || next->id == state.decoding.id || std::ranges::find(wanted, next->id) != wanted.end()) {
            break;
        }
        wanted.push_back(next->id);
        // The next track of a cue sheet's file plays on from the decoder of the one before: nothing to open.
        if (before.runsInto(*next)) {
            // Its loudness is set at the join from its tags: read here, not on the reading thread.
            if (state.loudness.readsTags() && next->tags && next->tags->ifRead() == nullptr) {
                lock.unlock();
                next->tags->get();
                lock.lock();
            }
            ahead += secondsOf(next->span);
            before = *std::move(next);
            continue;
        }
        if (!state.opened.contains(next->id)) {
            lock.unlock();
            Opened opened = open(*next, state.loudness);
            lock.lock();
            if (state.stopping || state.changes != seen) {
                // Dropped without the lock, and looked at again from the new plan.
                lock.unlock();
                opened.decoder.reset();
                lock.lock();
                return false;
            }
            state.opened.emplace(next->id, std::move(opened));
            state.wake.notify_all();
        }
        ahead += state.opened.at(next->id).seconds;
        before = *std::move(next);
    }
    std::vector<Opened> unwanted;
    for (auto entry = state.opened.begin(); entry != state.opened.end();) {
        if (std::ranges::find(wanted, entry->first) == wanted.end()) {
            unwanted.push_back(std::move(entry->second));
            entry = state.opened.erase(entry);
        } else {
            ++entry;
        }
    }
    if (!unwanted.empty()) {
        lock.unlock();
        unwanted.clear();
        lock.lock();
    }
    return !state.stopping && state.changes == seen;
}

} // namespace zalvo
