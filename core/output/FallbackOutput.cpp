#include "output/FallbackOutput.h"

#include "base/Log.h"
#include "output/PulseOutput.h"

#include <utility>

namespace zalvo {

std::size_t FallbackOutput::CountingSource::read(std::span<PcmSample> samples) {
    const std::size_t got = source.read(samples);
    frames += got;
    return got;
}

void FallbackOutput::CountingSource::applySeek(std::uint64_t from) {
    frames = origin + from;
    source.applySeek(origin + from);
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
    while (true) {
        {
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, lookEvery, [this] { return stopping; })) {
                return;
            }
        }
        // Looked for and connected without the lock, which the controls take: a server may take
        // seconds to answer. The probe alone starts no thread, so looking every few seconds costs
        // nothing while none answers. The connection pulls nothing until it streams.
        std::unique_ptr<PulseOutput> server =
            PulseOutput::serverAnswers() ? PulseOutput::connect(counting, false) : nullptr;
        if (!server) {
            continue;
        }
        const std::lock_guard move(moving);
        std::unique_ptr<AudioOutput> local;
        {
            const std::lock_guard lock(mutex);
            if (stopping) {
                return;
            }
            // Held while no output is in place.
            heard.finish(output->playedFrames());
            local = std::move(output);
        }
        // The source has one reader at a time: the local output stops pulling before the server's starts.
        local.reset();
        Log::debug(Log::Category::Output, "A sound server answers: the stream moves to it");
        const std::lock_guard lock(mutex);
        heard.restartAt(counting.pulled());
        server->setGain(gain);
        if (playing) {
            server->play();
        }
        server->startStreaming();
        output = std::move(server);
        onServerNow = true;
        // From here the server output follows its server's comings and goings itself.
        return;
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

void FallbackOutput::followSeek() {
    const std::lock_guard move(moving);
    AudioOutput* current = nullptr;
    {
        const std::lock_guard lock(mutex);
        counting.setOrigin(heard.origin());
        current = output.get();
    }
    current->followSeek();
}

std::uint64_t FallbackOutput::playedFrames() const {
    const std::lock_guard lock(mutex);
    return output ? heard.update(output->playedFrames()) : heard.frames();
}

bool FallbackOutput::drained() const {
    const std::lock_guard lock(mutex);
    return output && output->drained();
}

bool FallbackOutput::onServer() const {
    const std::lock_guard lock(mutex);
    return onServerNow;
}

} // namespace zalvo
