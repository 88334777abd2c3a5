#include "output/OpenAlOutput.h"

#include "base/Log.h"
#include "base/SharedLibrary.h"
#include "pcm/PcmSource.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <chrono>
#include <mutex>
#include <span>
#include <utility>

namespace zalvo {

namespace {

// OpenAL Soft, loaded the first time an output falls back on it or a test names its device: on a desktop
// the sound server plays, and neither it nor the libraries it links are mapped.
struct OpenAl {
    decltype(&::alcOpenDevice) alcOpenDevice;
    decltype(&::alcCreateContext) alcCreateContext;
    decltype(&::alcMakeContextCurrent) alcMakeContextCurrent;
    decltype(&::alcDestroyContext) alcDestroyContext;
    decltype(&::alcCloseDevice) alcCloseDevice;
    decltype(&::alGenSources) alGenSources;
    decltype(&::alGenBuffers) alGenBuffers;
    decltype(&::alSourceStop) alSourceStop;
    decltype(&::alSourcei) alSourcei;
    decltype(&::alDeleteSources) alDeleteSources;
    decltype(&::alDeleteBuffers) alDeleteBuffers;
    decltype(&::alSourcePlay) alSourcePlay;
    decltype(&::alSourcePause) alSourcePause;
    decltype(&::alSourcef) alSourcef;
    decltype(&::alGetSourcei) alGetSourcei;
    decltype(&::alSourceUnqueueBuffers) alSourceUnqueueBuffers;
    decltype(&::alBufferData) alBufferData;
    decltype(&::alSourceQueueBuffers) alSourceQueueBuffers;
};

// Null where OpenAL Soft is missing.
const OpenAl* openAl() {
    return SharedLibrary::tableOnce<OpenAl>(
        "libopenal.so.1", "OpenAL Soft", Log::Category::Output, "", [](SharedLibrary& library, OpenAl& api) {
            return library.bind(api.alcOpenDevice, "alcOpenDevice") &&
                   library.bind(api.alcCreateContext, "alcCreateContext") &&
                   library.bind(api.alcMakeContextCurrent, "alcMakeContextCurrent") &&
                   library.bind(api.alcDestroyContext, "alcDestroyContext") &&
                   library.bind(api.alcCloseDevice, "alcCloseDevice") &&
                   library.bind(api.alGenSources, "alGenSources") && library.bind(api.alGenBuffers, "alGenBuffers") &&
                   library.bind(api.alSourceStop, "alSourceStop") && library.bind(api.alSourcei, "alSourcei") &&
                   library.bind(api.alDeleteSources, "alDeleteSources") &&
                   library.bind(api.alDeleteBuffers, "alDeleteBuffers") &&
                   library.bind(api.alSourcePlay, "alSourcePlay") && library.bind(api.alSourcePause, "alSourcePause") &&
                   library.bind(api.alSourcef, "alSourcef") && library.bind(api.alGetSourcei, "alGetSourcei") &&
                   library.bind(api.alSourceUnqueueBuffers, "alSourceUnqueueBuffers") &&
                   library.bind(api.alBufferData, "alBufferData") &&
                   library.bind(api.alSourceQueueBuffers, "alSourceQueueBuffers");
        });
}

// Only called once a device is open, which needs the library.
const OpenAl& al() {
    return *openAl();
}

} // namespace

// The one OpenAL device and context of the process, open while any output or hold uses it.
class AlDevice final {
public:
    AlDevice() : device(openAl() != nullptr ? al().alcOpenDevice(nullptr) : nullptr) {
        if (device != nullptr) {
            context = al().alcCreateContext(device, nullptr);
            al().alcMakeContextCurrent(context);
        }
        if (context == nullptr) {
            static std::once_flag told;
            std::call_once(told, [] {
                Log::warning(Log::Category::Output, "OpenAL Soft opened no audio device: tracks play in silence");
            });
        }
    }
    ~AlDevice() {
        if (device == nullptr) {
            return;
        }
        al().alcMakeContextCurrent(nullptr);
        if (context != nullptr) {
            al().alcDestroyContext(context);
        }
        al().alcCloseDevice(device);
    }
    AlDevice(const AlDevice&) = delete;
    AlDevice& operator=(const AlDevice&) = delete;

    bool isOpen() const { return context != nullptr; }

private:
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
};

namespace {

ALenum alFormatOf(unsigned channels) {
    switch (channels) {
    case 1:
        return AL_FORMAT_MONO_FLOAT32;
    case 2:
        return AL_FORMAT_STEREO_FLOAT32;
    case 4:
        return AL_FORMAT_QUAD32;
    case 6:
        return AL_FORMAT_51CHN32;
    case 7:
        return AL_FORMAT_61CHN32;
    default:
        return AL_FORMAT_71CHN32;
    }
}

// While the queue drains before a change of format, the gap in the sound lasts until the next look.
constexpr std::chrono::milliseconds drainingLook{5};

} // namespace

OpenAlOutput::OpenAlOutput(PcmSource& source) : source(source), alDevice(device()), format(source.format()) {
    if (alDevice->isOpen()) {
        al().alGenSources(1, &alSource);
        al().alGenBuffers(static_cast<ALsizei>(buffers.size()), buffers.data());
        freeBuffers.assign(buffers.begin(), buffers.end());
    }
    thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
}

OpenAlOutput::~OpenAlOutput() {
    thread.request_stop();
    thread.join();
    if (alSource != 0) {
        al().alSourceStop(alSource);
        al().alSourcei(alSource, AL_BUFFER, 0);
        al().alDeleteSources(1, &alSource);
        al().alDeleteBuffers(static_cast<ALsizei>(buffers.size()), buffers.data());
    }
}

std::shared_ptr<AlDevice> OpenAlOutput::device() {
    static std::mutex deviceMutex;
    static std::weak_ptr<AlDevice> shared;
    const std::scoped_lock lock(deviceMutex);
    std::shared_ptr<AlDevice> open = shared.lock();
    if (!open) {
        open = std::make_shared<AlDevice>();
        shared = open;
    }
    return open;
}

void OpenAlOutput::play() {
    const std::scoped_lock lock(mutex);
    wantPlaying = true;
    if (alSource != 0 && !queued.empty()) {
        al().alSourcePlay(alSource);
    }
    wake.notify_all();
}

void OpenAlOutput::pause() {
    const std::scoped_lock lock(mutex);
    wantPlaying = false;
    if (alSource != 0) {
        al().alSourcePause(alSource);
    }
}

void OpenAlOutput::setGain(float gain) {
    const std::scoped_lock lock(mutex);
    if (alSource != 0) {
        al().alSourcef(alSource, AL_GAIN, gain);
    }
}

void OpenAlOutput::followSeek() {
    std::unique_lock lock(mutex);
    if (seeking || !source.seekPending()) {
        return;
    }
    const std::uint64_t from = heardFrames();
    if (alSource != 0) {
        al().alSourceStop(alSource);
        al().alSourcei(alSource, AL_BUFFER, 0);
        queued.clear();
        freeBuffers.assign(buffers.begin(), buffers.end());
    }
    heard.restartAt(from);
    seeking = true;
    // Without the lock, which the player's thread takes to read the count: the source may wait for
    // its decoding to stop.
    lock.unlock();
    source.applySeek(from);
    lock.lock();
    seeking = false;
    format = source.format();
    formatPending = false;
    sourceEnded = false;
    wake.notify_all();
}

std::uint64_t OpenAlOutput::playedFrames() const {
    const std::scoped_lock lock(mutex);
    return heardFrames();
}

std::uint64_t OpenAlOutput::heardFrames() const {
    reclaimPlayed();
    ALint offset = 0;
    if (alSource != 0 && !queued.empty()) {
        al().alGetSourcei(alSource, AL_SAMPLE_OFFSET, &offset);
    }
    return heard.update(static_cast<std::uint64_t>(std::max(offset, 0)));
}

bool OpenAlOutput::drained() const {
    const std::scoped_lock lock(mutex);
    reclaimPlayed();
    return sourceEnded && queued.empty();
}

void OpenAlOutput::reclaimPlayed() const {
    if (alSource == 0) {
        return;
    }
    ALint processed = 0;
    al().alGetSourcei(alSource, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0 && !queued.empty(); --processed) {
        ALuint buffer = 0;
        al().alSourceUnqueueBuffers(alSource, 1, &buffer);
        heard.finish(queued.front().frames);
        queued.pop_front();
        freeBuffers.push_back(buffer);
    }
}

bool OpenAlOutput::fillOne() {
    const unsigned buffer = freeBuffers.back();
    const std::size_t wanted = framesPerBuffer();
    scratch.resize(wanted * format.channels);
    const std::size_t frames = source.read(scratch);
    if (frames < wanted) {
        if (source.format() != format) {
            formatPending = true;
        } else if (source.ended()) {
            sourceEnded = true;
        }
    }
    if (frames == 0) {
        return false;
    }
    freeBuffers.pop_back();
    al().alBufferData(buffer, alFormatOf(format.channels), scratch.data(),
                      static_cast<ALsizei>(frames * format.channels * sizeof(PcmSample)),
                      static_cast<ALsizei>(format.sampleRate));
    al().alSourceQueueBuffers(alSource, 1, &buffer);
    queued.push_back({buffer, frames});
    return true;
}

void OpenAlOutput::passOneUnheard() {
    const std::size_t wanted = framesPerBuffer();
    scratch.resize(wanted * format.channels);
    const std::size_t frames = source.read(scratch);
    heard.finish(frames);
    if (frames < wanted) {
        sourceEnded = source.format() == format && source.ended();
        format = source.format();
    }
}

void OpenAlOutput::feedDevice() {
    reclaimPlayed();
    if (formatPending && queued.empty()) {
        format = source.format();
        formatPending = false;
    }
    while (!freeBuffers.empty() && !sourceEnded && !formatPending && fillOne()) {
    }
    ALint state = AL_STOPPED;
    al().alGetSourcei(alSource, AL_SOURCE_STATE, &state);
    // Starts the first time, and again after the queue ran dry or changed format.
    if (wantPlaying && state != AL_PLAYING && !queued.empty()) {
        al().alSourcePlay(alSource);
    }
}

void OpenAlOutput::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex);
    while (!stop.stop_requested()) {
        if (seeking) {
            wake.wait(lock, stop, [this] { return !seeking; });
            continue;
        }
        if (alSource != 0) {
            feedDevice();
        } else if (wantPlaying && !sourceEnded) {
            passOneUnheard();
        }
        const auto bufferTime = std::chrono::milliseconds(1000 / buffersPerSecond);
        if (!wantPlaying || (sourceEnded && queued.empty())) {
            wake.wait(lock, stop, [this] { return wantPlaying && !(sourceEnded && queued.empty()); });
        } else if (alSource == 0) {
            wake.wait_for(lock, stop, bufferTime, [] { return false; });
        } else {
            wake.wait_for(lock, stop, formatPending ? drainingLook : bufferTime / 2, [] { return false; });
        }
    }
}

} // namespace zalvo
