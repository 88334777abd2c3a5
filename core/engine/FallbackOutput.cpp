#include "FallbackOutput.h"

#include "PulseOutput.h"

#include <utility>

std::size_t FallbackOutput::CountingSource::read(std::span<std::int16_t> samples) {
    const std::size_t got = source.read(samples);
    frames += got;
    return got;
}

FallbackOutput::FallbackOutput(PcmSource& source, LocalFactory makeLocal, std::chrono::milliseconds lookEvery)
    : counting(source), makeLocal(std::move(makeLocal)), output(this->makeLocal(counting)),
      watcher([this, lookEvery] { watchForServer(lookEvery); }) {}

FallbackOutput::~FallbackOutput() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    watcher.join();
}

void FallbackOutput::watchForServer(std::chrono::milliseconds lookEvery) {
    std::unique_lock lock(mutex);
    while (!wake.wait_for(lock, lookEvery, [this] { return stopping; })) {
        lock.unlock();
        const bool answers = PulseOutput::serverAnswers();
        lock.lock();
        if (!answers || stopping) {
            continue;
        }
        // The source has one reader at a time: the local output stops pulling before the server's starts.
        output.reset();
        earlierFrames = counting.pulled();
        output = PulseOutput::connect(counting);
        server = output != nullptr;
        if (!server) {
            // Gone again between the look and the connection.
            output = makeLocal(counting);
        }
        output->setGain(gain);
        if (playing) {
            output->play();
        }
        if (server) {
            // From here the server output follows its server's comings and goings itself.
            return;
        }
    }
}

void FallbackOutput::play() {
    const std::lock_guard lock(mutex);
    playing = true;
    if (output) {
        output->play();
    }
}

void FallbackOutput::pause() {
    const std::lock_guard lock(mutex);
    playing = false;
    if (output) {
        output->pause();
    }
}

void FallbackOutput::setGain(float newGain) {
    const std::lock_guard lock(mutex);
    gain = newGain;
    if (output) {
        output->setGain(newGain);
    }
}

std::uint64_t FallbackOutput::playedFrames() const {
    const std::lock_guard lock(mutex);
    return earlierFrames + (output ? output->playedFrames() : 0);
}

bool FallbackOutput::drained() const {
    const std::lock_guard lock(mutex);
    return output && output->drained();
}

bool FallbackOutput::onServer() const {
    const std::lock_guard lock(mutex);
    return server;
}
