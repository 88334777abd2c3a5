#include "AudioOutput.h"

#include "OpenAlOutput.h"

std::unique_ptr<AudioOutput> AudioOutput::create(PcmSource& source) {
    return std::make_unique<OpenAlOutput>(source);
}

std::shared_ptr<void> AudioOutput::holdDevice() {
    return OpenAlOutput::device();
}
