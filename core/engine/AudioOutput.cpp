#include "AudioOutput.h"

#include "OpenAlOutput.h"

#include <mutex>
#include <utility>

namespace {

std::mutex factoryMutex;
AudioOutput::Factory factory;

} // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(PcmSource& source) {
    {
        const std::scoped_lock lock(factoryMutex);
        if (factory) {
            return factory(source);
        }
    }
    return std::make_unique<OpenAlOutput>(source);
}

void AudioOutput::setFactory(Factory newFactory) {
    const std::scoped_lock lock(factoryMutex);
    factory = std::move(newFactory);
}

std::shared_ptr<void> AudioOutput::holdDevice() {
    return OpenAlOutput::device();
}
