#pragma once

#include "output/AudioOutput.h"
#include "output/PlayedFrameCount.h"
#include "pcm/PcmFormat.h"
#include "pcm/PcmSource.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace zalvo {

class AlDevice;

// Plays a PcmSource through one OpenAL source fed with a short queue of buffers, refilled by a thread
// that sleeps until a buffer is due rather than polling.
class OpenAlOutput final : public AudioOutput {
public:
    explicit OpenAlOutput(PcmSource& source);
    ~OpenAlOutput() override;
    OpenAlOutput(const OpenAlOutput&) = delete;
    OpenAlOutput& operator=(const OpenAlOutput&) = delete;

    static std::shared_ptr<AlDevice> device();

    void play() override;
    void pause() override;
    void setGain(float gain) override;
    void followSeek() override;
    std::uint64_t playedFrames() const override;
    bool drained() const override;

private:
    // A tenth of a second each: the queue holds 0.4 s, so the track to follow is chosen at most that
    // long before it sounds, at any rate.
    static constexpr std::size_t bufferCount = 4;
    static constexpr std::size_t buffersPerSecond = 10;

    struct Queued {
        unsigned buffer = 0;
        std::size_t frames = 0;
    };

    void run(const std::stop_token& stop);
    // These five take the lock's holder's word that `mutex` is held.
    std::uint64_t heardFrames() const;
    void reclaimPlayed() const;
    bool fillOne();
    // Refills the device's queue from the source and keeps it playing while wanted.
    void feedDevice();
    // With no device the stream still runs in real time, unheard, so that the playlist moves on.
    void passOneUnheard();
    std::size_t framesPerBuffer() const { return format.sampleRate / buffersPerSecond; }

    PcmSource& source;
    std::shared_ptr<AlDevice> alDevice;
    unsigned alSource = 0;
    std::array<unsigned, bufferCount> buffers{};

    mutable std::mutex mutex;
    std::condition_variable_any wake;
    mutable std::vector<unsigned> freeBuffers;
    mutable std::deque<Queued> queued;
    // Starts at the buffer playing now.
    mutable PlayedFrameCount heard;
    PcmFormat format;
    bool wantPlaying = false;
    bool formatPending = false;
    bool sourceEnded = false;
    // The source is being moved by a seek: nothing is read from it meanwhile.
    bool seeking = false;
    std::vector<PcmSample> scratch;
    std::jthread thread;
};

} // namespace zalvo
