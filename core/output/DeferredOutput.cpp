#include "output/DeferredOutput.h"

#include "base/BoundedJoin.h"
#include "pcm/PcmSource.h"

#include <chrono>
#include <limits>
#include <utility>

namespace zalvo {

namespace {

// Closing an output takes a few milliseconds; past this the server holds it, and the thread is left
// to finish on its own.
constexpr std::chrono::milliseconds closeWait{50};

} // namespace

DeferredOutput::DeferredOutput(std::shared_ptr<PcmSource> source, Opener open)
    : thread([state = state, source = std::move(source), open = std::move(open)]() mutable {
          run(state, std::move(source), open);
      }) {}

DeferredOutput::~DeferredOutput() {
    std::unique_lock lock(state->mutex);
    state->closing = true;
    boundedJoin(thread, std::move(lock), state->wake, state->closed, closeWait);
}

void DeferredOutput::run(const std::shared_ptr<State>& state, std::shared_ptr<PcmSource> source, const Opener& open) {
    // Preparing may wait on the network: a player that lets go meanwhile cancels it, and the output is
    // dropped unused.
    std::unique_ptr<AudioOutput> output = open(*source);
    std::unique_lock lock(state->mutex);
    bool appliedPlaying = false;
    float appliedGain = std::numeric_limits<float>::quiet_NaN();
    state->output.store(output.get(), std::memory_order_release);
    while (!state->closing) {
        const bool playing = state->playing;
        const float gain = state->gain;
        const bool seek = std::exchange(state->seekPending, false);
        const std::uint64_t seen = state->changes;
        lock.unlock();
        // The lock is never held across a call into the output, which may wait on the server.
        if (gain != appliedGain) {
            output->setGain(gain);
            appliedGain = gain;
        }
        if (seek) {
            output->followSeek();
        }
        if (playing != appliedPlaying) {
            playing ? output->play() : output->pause();
            appliedPlaying = playing;
        }
        lock.lock();
        state->wake.wait(lock, [&state, seen] { return state->closing || state->changes != seen; });
    }
    state->output.store(nullptr, std::memory_order_release);
    lock.unlock();
    output.reset();
    source.reset();
    lock.lock();
    state->closed = true;
    state->wake.notify_all();
}

void DeferredOutput::play() {
    const std::scoped_lock lock(state->mutex);
    state->playing = true;
    ++state->changes;
    state->wake.notify_all();
}

void DeferredOutput::pause() {
    const std::scoped_lock lock(state->mutex);
    state->playing = false;
    ++state->changes;
    state->wake.notify_all();
}

void DeferredOutput::followSeek() {
    const std::scoped_lock lock(state->mutex);
    state->seekPending = true;
    ++state->changes;
    state->wake.notify_all();
}

void DeferredOutput::setGain(float gain) {
    const std::scoped_lock lock(state->mutex);
    state->gain = gain;
    ++state->changes;
    state->wake.notify_all();
}

AudioOutput* DeferredOutput::opened() const {
    return state->output.load(std::memory_order_acquire);
}

std::uint64_t DeferredOutput::playedFrames() const {
    const AudioOutput* output = opened();
    return output != nullptr ? output->playedFrames() : 0;
}

bool DeferredOutput::drained() const {
    const AudioOutput* output = opened();
    return output != nullptr && output->drained();
}

} // namespace zalvo
