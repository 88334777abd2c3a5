#pragma once

#include "output/AudioOutput.h"
#include "output/PlayedFrameCount.h"
#include "pcm/PcmFormat.h"
#include "pcm/PcmSource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace zalvo {

// Plays through a local output (OpenAL Soft on the sound card) while no sound server answers, and
// moves to the server once one does. What the local output had queued but not yet played is skipped
// at the move, and counted as heard so that the frame count stays the source's.
class FallbackOutput final : public AudioOutput {
public:
    using LocalFactory = std::function<std::unique_ptr<AudioOutput>(PcmSource&)>;

    FallbackOutput(PcmSource& source, LocalFactory makeLocal,
                   std::chrono::milliseconds lookEvery = std::chrono::seconds(2));
    ~FallbackOutput() override;
    FallbackOutput(const FallbackOutput&) = delete;
    FallbackOutput& operator=(const FallbackOutput&) = delete;

    void play() override;
    void pause() override;
    void setGain(float gain) override;
    void followSeek() override;
    std::uint64_t playedFrames() const override;
    bool drained() const override;

    bool onServer() const;

private:
    // Counts what the outputs pull, on their own threads.
    class CountingSource final : public PcmSource {
    public:
        explicit CountingSource(PcmSource& source) : source(source) {}
        PcmFormat format() const override { return source.format(); }
        std::size_t read(std::span<PcmSample> samples) override;
        bool ended() const override { return source.ended(); }
        bool seekPending() const override { return source.seekPending(); }
        // `from` counts from where the output that seeks began; `origin` is how much came before it.
        void applySeek(std::uint64_t from) override;
        void setOrigin(std::uint64_t frames) { origin = frames; }
        std::uint64_t pulled() const { return frames.load(); }

    private:
        PcmSource& source;
        std::atomic<std::uint64_t> frames = 0;
        std::uint64_t origin = 0;
    };

    void watchForServer(std::chrono::milliseconds lookEvery);

    CountingSource counting;
    LocalFactory makeLocal;
    // Held while the stream moves to the server or follows a seek: the output stays in place, and
    // neither waits under `mutex`, which the controls take.
    std::mutex moving;
    // Guards everything below; held across no call that may wait on the server.
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::unique_ptr<AudioOutput> output;
    // Starts where the current output does: all that the earlier ones pulled.
    mutable PlayedFrameCount heard;
    bool playing = false;
    float gain = 1.0F;
    bool onServerNow = false;
    bool stopping = false;
    std::thread watcher;
};

} // namespace zalvo
