#pragma once

#include "output/AudioOutput.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zalvo {

class PcmSource;

// Opens the machine's output, passes the controls on to it and closes it, all on a thread of its own:
// a sound server may take seconds to answer, or freeze, and the caller must never wait on it. Until
// the output is open, nothing is heard and the controls are only remembered.
class DeferredOutput final : public AudioOutput {
public:
    // Prepares the source and opens an output on it, in whichever order waits least.
    using Opener = std::function<std::unique_ptr<AudioOutput>(PcmSource&)>;

    DeferredOutput(std::shared_ptr<PcmSource> source, Opener open);
    ~DeferredOutput() override;
    DeferredOutput(const DeferredOutput&) = delete;
    DeferredOutput& operator=(const DeferredOutput&) = delete;

    void play() override;
    void pause() override;
    void setGain(float gain) override;
    void followSeek() override;
    std::uint64_t playedFrames() const override;
    bool drained() const override;

private:
    // Shared with the thread, which outlives this object when the server holds it past the close.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        // Set once open; only the thread closes it, and only after `closing`. Read without the lock, as
        // the player asks after it ten times a second.
        std::atomic<AudioOutput*> output = nullptr;
        bool playing = false;
        float gain = 1.0F;
        bool seekPending = false;
        std::uint64_t changes = 0;
        bool closing = false;
        bool closed = false;
    };

    static void run(const std::shared_ptr<State>& state, std::shared_ptr<PcmSource> source, const Opener& open);
    AudioOutput* opened() const;

    std::shared_ptr<State> state = std::make_shared<State>();
    std::thread thread;
};

} // namespace zalvo
