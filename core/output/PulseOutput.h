#pragma once

#include "output/AudioOutput.h"
#include "output/PlayedFrameCount.h"
#include "output/PulseConnection.h"
#include "output/ReplayHistory.h"
#include "pcm/PcmFormat.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

struct pa_mainloop_api;
struct pa_stream;
struct pa_time_event;
struct timeval;

namespace zalvo {

class PcmSource;

// Plays through the sound server on a stream of its connection. The server holds close to a second of
// audio, so both sides wake only a few times a second; pause, resume and volume act on the stream
// itself. The stream names no device, so it follows the default output and can be moved. When the
// server goes away it holds its position and replays what the server had not yet played as soon as a
// server answers again.
class PulseOutput final : public AudioOutput {
public:
    // Null when no server answers: one is never started for us. Unless `streamNow`, the output does not
    // pull from the source until startStreaming().
    static std::unique_ptr<PulseOutput> connect(PcmSource& source, bool streamNow = true);
    // Whether a server answers now, without starting one or opening a stream.
    static bool serverAnswers();

    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    void play() override;
    void pause() override;
    void setGain(float gain) override;
    void followSeek() override;
    std::uint64_t playedFrames() const override;
    bool drained() const override;

    // Opens the stream, in the source's format of the moment, on a connection made without one.
    void startStreaming();
    // A server is answering and the stream is on it.
    bool streaming() const;

private:
    explicit PulseOutput(PcmSource& source);

    void openStream();
    void closeStream();
    void cancelTimers();
    void onServerLost();
    void onWritable(std::size_t bytes);
    // Pulls what the server asked for into the history, noting why it fell short; false when nothing
    // more is to be had in this call.
    bool refill(std::size_t frames, bool& behind);
    void onDrained(bool success);
    void scheduleFormatSwitch();
    void onSwitchDue();
    void switchFormat();
    // Streams in the source's format of the moment, with a history in its layout.
    void adoptSourceFormat();
    void onStreamReady();
    // Asks the server where playback stands, for the clock to carry on from.
    void updateTiming();
    void onStreamLost();
    void applyGain();
    std::uint64_t heardFrames() const;
    std::size_t frameBytes() const;

    static void writeThunk(pa_stream* stream, std::size_t bytes, void* self);
    static void drainThunk(pa_stream* stream, int success, void* self);
    static void catchUpThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* self);
    static void switchThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* self);

    PcmSource& source;
    pa_stream* stream = nullptr;
    pa_time_event* switchTimer = nullptr;
    pa_time_event* catchUpTimer = nullptr;

    // Everything below is guarded by the connection's lock.
    PcmFormat format;
    bool playing = false;
    bool streamWanted = true;
    float gain = 1.0F;
    bool sourceEnded = false;
    bool formatChanging = false;
    bool draining = false;
    bool finished = false;
    bool streamFailing = false;
    unsigned refillsSinceTiming = 0;
    // Set with `sourceEnded` or `finished`, cleared with both: read without the lock.
    std::atomic<bool> mayBeDrained = false;
    ReplayHistory history;
    // Holds still while no server answers; the current stream starts where it was when it opened.
    mutable PlayedFrameCount heard;
    // Last, so that its loop stops before anything it calls into is gone.
    PulseConnection connection;
};

} // namespace zalvo
