#include "output/AudioOutput.h"

#include "base/Log.h"
#include "output/DeferredOutput.h"
#include "output/FallbackOutput.h"
#include "output/OpenAlOutput.h"
#include "output/PulseOutput.h"
#include "pcm/DecodeAhead.h"

#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace zalvo {

namespace {

std::mutex factoryMutex;
AudioOutput::Factory factory;

// A device named to OpenAL Soft through its environment (the silent null and wave devices the tests
// listen to) wins over the sound server.
bool openAlChosen() {
    return std::getenv("ALSOFT_DRIVERS") != nullptr || std::getenv("ALSOFT_CONF") != nullptr;
}

std::unique_ptr<AudioOutput> openAl(PcmSource& source) {
    return std::make_unique<OpenAlOutput>(source);
}

// The machine's own output, as the harness did not replace it, on a source it prepares.
std::unique_ptr<AudioOutput> machineOutput(PcmSource& source) {
    if (openAlChosen()) {
        source.prepare();
        return openAl(source);
    }
    // Straight to the sound server where one answers: OpenAL Soft would mix on its own thread and then
    // hand the server a stream that cannot be moved. Preparing waits on the file and the first decoding,
    // connecting on the server: side by side, the stream opens as soon as both are done.
    std::unique_ptr<PulseOutput> server;
    {
        const std::jthread preparing([&source] { source.prepare(); });
        server = PulseOutput::connect(source, false);
    }
    if (server) {
        server->startStreaming();
        return server;
    }
    Log::debug(Log::Category::Output, "No sound server answers: playing through OpenAL Soft until one does");
    return std::make_unique<FallbackOutput>(source, &openAl);
}

// Copied out, so that nothing the harness does runs under the lock.
AudioOutput::Factory harnessFactory() {
    const std::scoped_lock lock(factoryMutex);
    return factory;
}

} // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(PcmSource& source) {
    if (const Factory harness = harnessFactory()) {
        source.prepare();
        return harness(source);
    }
    return machineOutput(source);
}

std::unique_ptr<AudioOutput> AudioOutput::openFor(std::shared_ptr<PcmSource> source) {
    if (const Factory harness = harnessFactory()) {
        source->prepare();
        return harness(*source);
    }
    // The machine's outputs pull on a deadline: they copy out of what is decoded ahead of them.
    return std::make_unique<DeferredOutput>(std::make_shared<DecodeAhead>(std::move(source)), &machineOutput);
}

void AudioOutput::setFactory(Factory newFactory) {
    const std::scoped_lock lock(factoryMutex);
    factory = std::move(newFactory);
}

std::shared_ptr<void> AudioOutput::holdDevice() {
    // Held open, OpenAL Soft keeps a stream of its own on the server, mixing silence.
    if (!openAlChosen() && PulseOutput::serverAnswers()) {
        return {};
    }
    return OpenAlOutput::device();
}

} // namespace zalvo
