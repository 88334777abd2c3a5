#include "PulseOutput.h"

#include "PcmSource.h"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <pulse/pulseaudio.h>
#include <span>

namespace {

// The server holds this much ahead of what is heard, and asks for more once this much has played:
// about four wake-ups a second on each side. The lead stays under a second, so the track that follows
// is still chosen less than a second before it sounds.
constexpr pa_usec_t bufferedUsec = 800'000;
constexpr pa_usec_t refillUsec = 250'000;
// How often a lost server is looked for again, well inside the second it may take to come back.
constexpr pa_usec_t reconnectUsec = 250'000;
// A server that accepts the connection but never answers must not hang the player's start.
constexpr pa_usec_t connectTimeoutUsec = 2'000'000;
// The least wait before looking again whether a stream ending at a format change has been heard out.
constexpr pa_usec_t formatPollUsec = 5'000;

void dropOperation(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

struct LockedLoop {
    explicit LockedLoop(pa_threaded_mainloop* loop) : loop(loop) { pa_threaded_mainloop_lock(loop); }
    ~LockedLoop() { pa_threaded_mainloop_unlock(loop); }
    LockedLoop(const LockedLoop&) = delete;
    LockedLoop& operator=(const LockedLoop&) = delete;
    pa_threaded_mainloop* loop;
};

timeval after(pa_usec_t usec) {
    timeval time{};
    pa_gettimeofday(&time);
    pa_timeval_add(&time, usec);
    return time;
}

} // namespace

std::unique_ptr<PulseOutput> PulseOutput::connect(PcmSource& source, bool streamNow) {
    std::unique_ptr<PulseOutput> output(new PulseOutput(source));
    // Another output may still be pulling from the source: its format is read only once this one streams.
    output->streamWanted = streamNow;
    if (streamNow) {
        output->format = source.format();
    }
    if (!output->waitForServer()) {
        return nullptr;
    }
    return output;
}

bool PulseOutput::serverAnswers() {
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) {
        return false;
    }
    pa_context* probe = pa_context_new(pa_mainloop_get_api(loop), "Zalvo");
    bool answered = false;
    if (probe != nullptr && pa_context_connect(probe, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(connectTimeoutUsec);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(probe)) && !answered &&
               std::chrono::steady_clock::now() < deadline) {
            // Bounded waits, so that a server that never answers cannot hold the caller.
            if (pa_mainloop_prepare(loop, static_cast<int>(reconnectUsec)) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0) {
                break;
            }
            answered = pa_context_get_state(probe) == PA_CONTEXT_READY;
        }
        pa_context_disconnect(probe);
    }
    if (probe != nullptr) {
        pa_context_unref(probe);
    }
    pa_mainloop_free(loop);
    return answered;
}

PulseOutput::PulseOutput(PcmSource& source) : source(source), mainloop(pa_threaded_mainloop_new()) {}

PulseOutput::~PulseOutput() {
    if (mainloop == nullptr) {
        return;
    }
    {
        const LockedLoop lock(mainloop);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
        for (pa_time_event** timer : {&reconnectTimer, &switchTimer}) {
            if (*timer != nullptr) {
                api->time_free(*timer);
                *timer = nullptr;
            }
        }
        closeStream();
        closeContext();
    }
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
}

bool PulseOutput::waitForServer() {
    if (mainloop == nullptr || pa_threaded_mainloop_start(mainloop) < 0) {
        return false;
    }
    const LockedLoop lock(mainloop);
    openContext();
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
    const timeval deadline = after(connectTimeoutUsec);
    pa_time_event* timeout = api->time_new(api, &deadline, &PulseOutput::connectTimeoutThunk, this);
    while (context != nullptr && !connectTimedOut && pa_context_get_state(context) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        // The state callback and the timeout both end up waking us through the loop's signal.
        pa_threaded_mainloop_wait(mainloop);
    }
    api->time_free(timeout);
    const bool ready = context != nullptr && pa_context_get_state(context) == PA_CONTEXT_READY;
    if (!ready) {
        closeContext();
    }
    return ready;
}

void PulseOutput::openContext() {
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "Zalvo");
    if (context != nullptr) {
        pa_context_set_state_callback(context, &PulseOutput::contextStateThunk, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            return;
        }
        closeContext();
    }
    if (everConnected) {
        scheduleReconnect();
    }
}

void PulseOutput::closeContext() {
    if (context == nullptr) {
        return;
    }
    pa_context_set_state_callback(context, nullptr, nullptr);
    if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        pa_context_disconnect(context);
    }
    pa_context_unref(context);
    context = nullptr;
}

void PulseOutput::onContextState() {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        everConnected = true;
        openStream();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        // Whatever the server held is gone with it: hold the position and look for it again.
        heardFrames();
        closeStream();
        closeContext();
        if (everConnected) {
            scheduleReconnect();
        }
    }
    pa_threaded_mainloop_signal(mainloop, 0);
}

void PulseOutput::scheduleReconnect() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
    const timeval when = after(reconnectUsec);
    if (reconnectTimer != nullptr) {
        api->time_restart(reconnectTimer, &when);
    } else {
        reconnectTimer = api->time_new(api, &when, &PulseOutput::reconnectThunk, this);
    }
}

void PulseOutput::openStream() {
    if (!streamWanted) {
        return;
    }
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, format.sampleRate,
                                      static_cast<std::uint8_t>(format.channels)};
    pa_channel_map map{};
    if (format.channels > PA_CHANNELS_MAX || pa_sample_spec_valid(&sampleFormat) == 0 ||
        pa_channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_WAVEEX) == nullptr) {
        // Nothing in this format can sound: end here rather than wait for ever.
        sourceEnded = true;
        finished = true;
        return;
    }
    // The role lets the desktop's sound policies treat the stream as music.
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    stream = pa_stream_new_with_proplist(context, "Zalvo", &sampleFormat, &map, properties);
    pa_proplist_free(properties);
    if (stream == nullptr) {
        sourceEnded = true;
        finished = true;
        return;
    }
    pa_stream_set_write_callback(stream, &PulseOutput::writeThunk, this);
    pa_stream_set_state_callback(
        stream,
        [](pa_stream* changed, void* self) {
            const pa_stream_state_t state = pa_stream_get_state(changed);
            if (state == PA_STREAM_READY) {
                static_cast<PulseOutput*>(self)->onStreamReady();
            } else if (!PA_STREAM_IS_GOOD(state)) {
                static_cast<PulseOutput*>(self)->onStreamLost();
            }
        },
        this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(bufferedUsec, &sampleFormat));
    attributes.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(refillUsec, &sampleFormat));
    attributes.prebuf = attributes.minreq;
    attributes.fragsize = static_cast<std::uint32_t>(-1);

    pa_cvolume volume{};
    pa_cvolume_set(&volume, sampleFormat.channels, pa_sw_volume_from_linear(gain));

    // No device and no PA_STREAM_DONT_MOVE: the server places the stream and may move it later.
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (!playing) {
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
    }
    // A new stream picks up where the last one was heard to, replaying what the old one lost.
    streamStart = heard;
    sent = heard;
    if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, &volume, nullptr) < 0) {
        closeStream();
    }
}

void PulseOutput::closeStream() {
    if (stream == nullptr) {
        return;
    }
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
    draining = false;
}

void PulseOutput::onWritable(std::size_t bytes) {
    const std::size_t channels = format.channels;
    std::size_t frames = bytes / frameBytes();

    // Forget what has surely been heard; what remains may have to be played again.
    const std::uint64_t forgettable = heardFrames() - historyStart;
    history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(forgettable * channels));
    historyStart = heard;

    while (frames > 0) {
        if (sent == pulled) {
            if (sourceEnded || formatChanging) {
                break;
            }
            const std::size_t kept = history.size();
            history.resize(kept + frames * channels);
            const std::size_t got = source.read(std::span(history).subspan(kept));
            history.resize(kept + got * channels);
            pulled += got;
            if (got < frames) {
                (source.format() == format ? sourceEnded : formatChanging) = true;
            }
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(frames, pulled - sent));
        if (count == 0) {
            continue;
        }
        const std::size_t offset = static_cast<std::size_t>(sent - historyStart) * channels;
        pa_stream_write(stream, history.data() + offset, count * frameBytes(), nullptr, 0, PA_SEEK_RELATIVE);
        sent += count;
        frames -= count;
    }

    if (sent == pulled && (sourceEnded || formatChanging) && !draining) {
        // Draining plays out a tail shorter than the prebuffer. Its acknowledgement comes long after the
        // last frame is heard, so the stream's clock tells when to switch formats rather than the ack.
        draining = true;
        dropOperation(pa_stream_drain(stream, &PulseOutput::drainThunk, this));
        if (formatChanging) {
            scheduleFormatSwitch();
        }
    }
}

void PulseOutput::onDrained(bool success) {
    draining = false;
    if (!success) {
        return;
    }
    heard = sent;
    if (formatChanging) {
        switchFormat();
    } else {
        finished = true;
    }
}

void PulseOutput::scheduleFormatSwitch() {
    // Wake when the last frame should be heard; while paused this polls at that pace.
    const std::uint64_t unheard = sent - heardFrames();
    const pa_usec_t wait = std::max<pa_usec_t>(formatPollUsec, unheard * 1'000'000 / format.sampleRate);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
    const timeval when = after(wait);
    if (switchTimer != nullptr) {
        api->time_restart(switchTimer, &when);
    } else {
        switchTimer = api->time_new(api, &when, &PulseOutput::switchThunk, this);
    }
}

void PulseOutput::onSwitchDue() {
    if (!formatChanging || stream == nullptr) {
        // Gone with the server: the replacement stream starts the wait over once it has replayed.
        return;
    }
    if (heardFrames() >= sent) {
        switchFormat();
    } else {
        scheduleFormatSwitch();
    }
}

void PulseOutput::switchFormat() {
    // A stream has one format: the rest of the source plays on a new one.
    heard = sent;
    closeStream();
    history.clear();
    historyStart = pulled;
    format = source.format();
    formatChanging = false;
    openStream();
}

void PulseOutput::onStreamReady() {
    // The controls may have moved while the stream was being set up.
    dropOperation(pa_stream_cork(stream, playing ? 0 : 1, nullptr, nullptr));
    applyGain();
}

void PulseOutput::onStreamLost() {
    // Ended by the server alone (killed, or its sink gone with nowhere to move): the server is still
    // there, so a new stream replays what this one had not played.
    closeStream();
    scheduleReconnect();
}

void PulseOutput::applyGain() {
    if (stream == nullptr || pa_stream_get_state(stream) != PA_STREAM_READY) {
        return;
    }
    pa_cvolume volume{};
    pa_cvolume_set(&volume, format.channels, pa_sw_volume_from_linear(gain));
    dropOperation(pa_context_set_sink_input_volume(context, pa_stream_get_index(stream), &volume, nullptr, nullptr));
}

std::uint64_t PulseOutput::heardFrames() const {
    pa_usec_t played = 0;
    if (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY &&
        pa_stream_get_time(stream, &played) == 0) {
        const std::uint64_t frames = played * format.sampleRate / 1'000'000;
        heard = std::max(heard, std::min(streamStart + frames, sent));
    }
    return heard;
}

std::size_t PulseOutput::frameBytes() const {
    return format.channels * sizeof(float);
}

void PulseOutput::play() {
    const LockedLoop lock(mainloop);
    playing = true;
    if (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY) {
        dropOperation(pa_stream_cork(stream, 0, nullptr, nullptr));
    }
}

void PulseOutput::pause() {
    const LockedLoop lock(mainloop);
    playing = false;
    if (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY) {
        dropOperation(pa_stream_cork(stream, 1, nullptr, nullptr));
    }
}

void PulseOutput::setGain(float newGain) {
    const LockedLoop lock(mainloop);
    gain = std::clamp(newGain, 0.0F, 1.0F);
    applyGain();
}

std::uint64_t PulseOutput::playedFrames() const {
    const LockedLoop lock(mainloop);
    return heardFrames();
}

bool PulseOutput::drained() const {
    const LockedLoop lock(mainloop);
    return finished || (sourceEnded && sent == pulled && heardFrames() >= sent);
}

void PulseOutput::startStreaming() {
    const LockedLoop lock(mainloop);
    if (streamWanted) {
        return;
    }
    streamWanted = true;
    format = source.format();
    if (context != nullptr && pa_context_get_state(context) == PA_CONTEXT_READY) {
        openStream();
    }
}

bool PulseOutput::streaming() const {
    const LockedLoop lock(mainloop);
    return stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY;
}

void PulseOutput::contextStateThunk(pa_context* /*context*/, void* self) {
    static_cast<PulseOutput*>(self)->onContextState();
}

void PulseOutput::writeThunk(pa_stream* /*stream*/, std::size_t bytes, void* self) {
    static_cast<PulseOutput*>(self)->onWritable(bytes);
}

void PulseOutput::drainThunk(pa_stream* drainedStream, int success, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    if (drainedStream == output->stream) {
        output->onDrained(success != 0);
    }
}

void PulseOutput::connectTimeoutThunk(pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const timeval* /*time*/,
                                      void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    output->connectTimedOut = true;
    pa_threaded_mainloop_signal(output->mainloop, 0);
}

void PulseOutput::switchThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* /*time*/, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->switchTimer = nullptr;
    output->onSwitchDue();
}

void PulseOutput::reconnectThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* /*time*/, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->reconnectTimer = nullptr;
    if (output->context != nullptr && pa_context_get_state(output->context) == PA_CONTEXT_READY) {
        output->openStream();
    } else {
        output->closeContext();
        output->openContext();
    }
}
