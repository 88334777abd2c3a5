#include "output/PulseOutput.h"

#include "output/PulseLibrary.h"
#include "pcm/PcmSource.h"

#include <algorithm>
#include <mutex>
#include <pulse/pulseaudio.h>
#include <span>
#include <string>

namespace zalvo {

namespace {

// The server holds up to this much ahead of what is heard and asks for more once this much has played.
// The sink is then asked for the difference less one more refill, a second: it mixes a second at a time
// where nothing else plays, and every wake-up of both sides carries a second of sound. Pause and volume
// stay immediate, as the server rewinds what the sink holds for them.
constexpr pa_usec_t bufferedUsec = 2'000'000;
constexpr pa_usec_t refillUsec = 500'000;
// The server's account of where playback stands is asked for after this many refills, a few seconds, and
// whenever playback starts, pauses or moves.
constexpr unsigned refillsPerTiming = 4;
// The least wait before looking again whether a stream ending at a format change has been heard out.
constexpr pa_usec_t formatPollUsec = 5'000;
// How soon to look again for what was not yet decoded when the server asked for it.
constexpr pa_usec_t catchUpUsec = 10'000;

void dropOperation(pa_operation* operation) {
    if (operation != nullptr) {
        pa().operation_unref(operation);
    }
}

} // namespace

std::unique_ptr<PulseOutput> PulseOutput::connect(PcmSource& source, bool streamNow) {
    std::unique_ptr<PulseOutput> output(new PulseOutput(source));
    // Another output may still be pulling from the source: its format is read only once this one streams.
    output->streamWanted = streamNow;
    if (streamNow) {
        output->adoptSourceFormat();
    }
    if (!output->connection.open()) {
        return nullptr;
    }
    return output;
}

bool PulseOutput::serverAnswers() {
    return PulseConnection::serverAnswers();
}

PulseOutput::PulseOutput(PcmSource& source)
    : source(source), connection([this] { openStream(); }, [this] { onServerLost(); }) {}

PulseOutput::~PulseOutput() {
    const std::scoped_lock lock(connection);
    cancelTimers();
    closeStream();
    connection.close();
}

void PulseOutput::cancelTimers() {
    if (switchTimer != nullptr) {
        connection.api()->time_free(switchTimer);
        switchTimer = nullptr;
    }
    if (catchUpTimer != nullptr) {
        connection.api()->time_free(catchUpTimer);
        catchUpTimer = nullptr;
    }
}

void PulseOutput::onServerLost() {
    // Whatever the server held is gone with it: hold the position until a server answers again.
    heardFrames();
    closeStream();
}

void PulseOutput::openStream() {
    if (!streamWanted) {
        return;
    }
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, format.sampleRate,
                                      static_cast<std::uint8_t>(format.channels)};
    pa_channel_map map{};
    if (format.channels > PA_CHANNELS_MAX || pa().sample_spec_valid(&sampleFormat) == 0 ||
        pa().channel_map_init_extend(&map, format.channels, PA_CHANNEL_MAP_WAVEEX) == nullptr) {
        // Nothing in this format can sound: end here rather than wait for ever.
        connection.messages().warning("The sound server cannot play " + std::to_string(format.channels) +
                                      " channels at " + std::to_string(format.sampleRate) + " Hz: the track ends here");
        sourceEnded = true;
        finished = true;
        mayBeDrained.store(true, std::memory_order_release);
        return;
    }
    // The role lets the desktop's sound policies treat the stream as music.
    pa_proplist* properties = pa().proplist_new();
    pa().proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    stream = pa().stream_new_with_proplist(connection.context(), "Zalvo", &sampleFormat, &map, properties);
    pa().proplist_free(properties);
    if (stream == nullptr) {
        connection.messages().warning("The sound server refused a stream (" + connection.lastError() +
                                      "): the track ends here");
        sourceEnded = true;
        finished = true;
        mayBeDrained.store(true, std::memory_order_release);
        return;
    }
    pa().stream_set_write_callback(stream, &PulseOutput::writeThunk, this);
    pa().stream_set_state_callback(
        stream,
        [](pa_stream* changed, void* self) {
            const pa_stream_state_t state = pa().stream_get_state(changed);
            if (state == PA_STREAM_READY) {
                static_cast<PulseOutput*>(self)->onStreamReady();
            } else if (!PA_STREAM_IS_GOOD(state)) {
                static_cast<PulseOutput*>(self)->onStreamLost();
            }
        },
        this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa().usec_to_bytes(bufferedUsec, &sampleFormat));
    attributes.minreq = static_cast<std::uint32_t>(pa().usec_to_bytes(refillUsec, &sampleFormat));
    attributes.prebuf = attributes.minreq;
    attributes.fragsize = static_cast<std::uint32_t>(-1);

    pa_cvolume volume{};
    pa().cvolume_set(&volume, sampleFormat.channels, pa().sw_volume_from_linear(gain));

    // No device and no PA_STREAM_DONT_MOVE: the server places the stream and may move it later. Timing is
    // asked for every few refills rather than on libpulse's own timer, which would wake this thread twice
    // more a second; the clock is carried between answers.
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING);
    if (!playing) {
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
    }
    // A new stream picks up where the last one was heard to, replaying what the old one lost.
    heard.restartAt(heard.frames());
    history.rewind(heard.frames());
    if (pa().stream_connect_playback(stream, nullptr, &attributes, flags, &volume, nullptr) < 0) {
        connection.messages().warning("The sound server did not connect the stream (" + connection.lastError() +
                                      "): trying again");
        closeStream();
        connection.retrySoon();
    }
}

void PulseOutput::closeStream() {
    if (stream == nullptr) {
        return;
    }
    pa().stream_set_write_callback(stream, nullptr, nullptr);
    pa().stream_set_state_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa().stream_get_state(stream))) {
        pa().stream_disconnect(stream);
    }
    pa().stream_unref(stream);
    stream = nullptr;
    draining = false;
}

void PulseOutput::onWritable(std::size_t bytes) {
    std::size_t frames = bytes / frameBytes();
    if (++refillsSinceTiming >= refillsPerTiming) {
        updateTiming();
    }

    // Forget what has surely been heard; what remains may have to be played again.
    history.forget(heardFrames());

    bool behind = false;
    while (frames > 0) {
        if (history.allSent() && !refill(frames, behind)) {
            break;
        }
        const std::span<const PcmSample> samples = history.send(frames);
        if (samples.empty()) {
            continue;
        }
        if (pa().stream_write(stream, samples.data(), samples.size_bytes(), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            // What was not written stays in the history, to be replayed on the stream that follows.
            connection.messages().warning("Writing to the sound server failed (" + connection.lastError() + ")");
            return;
        }
        frames -= samples.size() / format.channels;
    }
    if (behind) {
        // The server asks again only once what it holds has played down: come back for the rest soon.
        connection.schedule(catchUpTimer, catchUpUsec, &PulseOutput::catchUpThunk, this);
    }

    if (history.allSent() && (sourceEnded || formatChanging) && !draining) {
        // Draining plays out a tail shorter than the prebuffer. Its acknowledgement comes long after the
        // last frame is heard, so the stream's clock tells when to switch formats rather than the ack.
        draining = true;
        dropOperation(pa().stream_drain(stream, &PulseOutput::drainThunk, this));
        if (formatChanging) {
            scheduleFormatSwitch();
        }
    }
}

bool PulseOutput::refill(std::size_t frames, bool& behind) {
    if (sourceEnded || formatChanging || behind) {
        return false;
    }
    if (history.pull(source, frames) < frames) {
        if (source.format() != format) {
            formatChanging = true;
        } else if (source.ended()) {
            sourceEnded = true;
            mayBeDrained.store(true, std::memory_order_release);
        } else {
            behind = true;
        }
    }
    return true;
}

void PulseOutput::onDrained(bool success) {
    draining = false;
    if (!success) {
        return;
    }
    heard.restartAt(history.sent());
    if (formatChanging) {
        switchFormat();
    } else {
        finished = true;
        mayBeDrained.store(true, std::memory_order_release);
    }
}

void PulseOutput::scheduleFormatSwitch() {
    // Wake when the last frame should be heard; while paused this polls at that pace.
    const std::uint64_t unheard = history.sent() - heardFrames();
    const pa_usec_t wait = std::max<pa_usec_t>(formatPollUsec, unheard * 1'000'000 / format.sampleRate);
    connection.schedule(switchTimer, wait, &PulseOutput::switchThunk, this);
}

void PulseOutput::onSwitchDue() {
    if (!formatChanging || stream == nullptr) {
        // Gone with the server: the replacement stream starts the wait over once it has replayed.
        return;
    }
    if (heardFrames() >= history.sent()) {
        switchFormat();
    } else {
        scheduleFormatSwitch();
    }
}

void PulseOutput::switchFormat() {
    // A stream has one format: the rest of the source plays on a new one.
    heard.restartAt(history.sent());
    closeStream();
    adoptSourceFormat();
    formatChanging = false;
    openStream();
}

void PulseOutput::adoptSourceFormat() {
    format = source.format();
    history.reset(format.channels);
}

void PulseOutput::onStreamReady() {
    streamFailing = false;
    // The controls may have moved while the stream was being set up.
    dropOperation(pa().stream_cork(stream, playing ? 0 : 1, nullptr, nullptr));
    updateTiming();
    applyGain();
}

void PulseOutput::updateTiming() {
    refillsSinceTiming = 0;
    dropOperation(pa().stream_update_timing_info(stream, nullptr, nullptr));
}

void PulseOutput::onStreamLost() {
    // Ended by the server alone (killed, or its sink gone with nowhere to move): the server is still
    // there, so a new stream replays what this one had not played.
    if (!streamFailing) {
        connection.messages().warning("The sound server ended the stream (" + connection.lastError() +
                                      "): opening another");
    }
    // The streams opened until one plays fail for the same cause.
    streamFailing = true;
    closeStream();
    connection.retrySoon();
}

void PulseOutput::applyGain() {
    if (stream == nullptr || pa().stream_get_state(stream) != PA_STREAM_READY) {
        return;
    }
    pa_cvolume volume{};
    pa().cvolume_set(&volume, format.channels, pa().sw_volume_from_linear(gain));
    dropOperation(pa().context_set_sink_input_volume(connection.context(), pa().stream_get_index(stream), &volume,
                                                     nullptr, nullptr));
}

std::uint64_t PulseOutput::heardFrames() const {
    pa_usec_t played = 0;
    if (stream != nullptr && pa().stream_get_state(stream) == PA_STREAM_READY &&
        pa().stream_get_time(stream, &played) == 0) {
        heard.update(played * format.sampleRate / 1'000'000, history.sent());
    }
    return heard.frames();
}

std::size_t PulseOutput::frameBytes() const {
    return format.channels * sizeof(PcmSample);
}

void PulseOutput::play() {
    const std::scoped_lock lock(connection);
    playing = true;
    if (stream != nullptr && pa().stream_get_state(stream) == PA_STREAM_READY) {
        dropOperation(pa().stream_cork(stream, 0, nullptr, nullptr));
        updateTiming();
    }
}

void PulseOutput::pause() {
    const std::scoped_lock lock(connection);
    playing = false;
    if (stream != nullptr && pa().stream_get_state(stream) == PA_STREAM_READY) {
        dropOperation(pa().stream_cork(stream, 1, nullptr, nullptr));
        updateTiming();
    }
}

void PulseOutput::setGain(float newGain) {
    const std::scoped_lock lock(connection);
    gain = std::clamp(newGain, 0.0F, 1.0F);
    applyGain();
}

void PulseOutput::followSeek() {
    std::uint64_t from = 0;
    {
        const std::scoped_lock lock(connection);
        if (!streamWanted || !source.seekPending()) {
            return;
        }
        // The server cannot say at which frame of a flushed stream the new data begins: the seek plays
        // on a new stream of the same connection, whose clock starts with it. Nothing is pulled until then.
        from = heardFrames();
        cancelTimers();
        closeStream();
        streamWanted = false;
        history.dropFrom(from);
    }
    // Without the lock, which the server's thread takes: the source may wait for its decoding to stop.
    source.applySeek(from);
    const std::scoped_lock lock(connection);
    streamWanted = true;
    sourceEnded = false;
    formatChanging = false;
    finished = false;
    mayBeDrained.store(false, std::memory_order_release);
    adoptSourceFormat();
    if (connection.ready()) {
        openStream();
    }
}

std::uint64_t PulseOutput::playedFrames() const {
    const std::scoped_lock lock(connection);
    return heardFrames();
}

bool PulseOutput::drained() const {
    // Asked ten times a second: until the source has ended, the answer needs no lock.
    if (!mayBeDrained.load(std::memory_order_acquire)) {
        return false;
    }
    const std::scoped_lock lock(connection);
    return finished || (sourceEnded && history.allSent() && heardFrames() >= history.sent());
}

void PulseOutput::startStreaming() {
    const std::scoped_lock lock(connection);
    if (streamWanted) {
        return;
    }
    streamWanted = true;
    adoptSourceFormat();
    if (connection.ready()) {
        openStream();
    }
}

bool PulseOutput::streaming() const {
    const std::scoped_lock lock(connection);
    return stream != nullptr && pa().stream_get_state(stream) == PA_STREAM_READY;
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

void PulseOutput::catchUpThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* /*time*/, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->catchUpTimer = nullptr;
    if (output->stream == nullptr || pa().stream_get_state(output->stream) != PA_STREAM_READY) {
        return;
    }
    const std::size_t writable = pa().stream_writable_size(output->stream);
    if (writable != static_cast<std::size_t>(-1) && writable > 0) {
        output->onWritable(writable);
    }
}

void PulseOutput::switchThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* /*time*/, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->switchTimer = nullptr;
    output->onSwitchDue();
}

} // namespace zalvo
