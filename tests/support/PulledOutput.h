#pragma once

#include "output/AudioOutput.h"
#include "pcm/PcmSource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zalvo {

// An output that plays nothing by itself: the test pulls each block, as a sound card would.
class PulledOutput final : public AudioOutput {
public:
    explicit PulledOutput(PcmSource& source) : source(source) { live = this; }
    ~PulledOutput() override {
        if (live == this) {
            live = nullptr;
        }
    }
    PulledOutput(const PulledOutput&) = delete;
    PulledOutput& operator=(const PulledOutput&) = delete;

    void play() override { playing = true; }
    void pause() override { playing = false; }
    void setGain(float /*gain*/) override {}
    void followSeek() override {
        if (source.seekPending()) {
            source.applySeek(heard);
            ended = false;
        }
    }
    std::uint64_t playedFrames() const override { return heard; }
    bool drained() const override { return ended; }

    // One block in the source's format of the moment, appended to `samples` as it was handed out;
    // nothing while paused, as a sound card would.
    void pullInto(std::vector<float>& samples, std::size_t frames = blockFrames) {
        if (!playing) {
            return;
        }
        const PcmFormat before = source.format();
        const std::size_t start = samples.size();
        samples.resize(start + frames * before.channels);
        const std::size_t got = source.read(std::span(samples).subspan(start));
        samples.resize(start + got * before.channels);
        heard += got;
        ended = got < frames && source.format() == before;
    }

    static inline PulledOutput* live = nullptr;
    static constexpr std::size_t blockFrames = 4096;

private:
    PcmSource& source;
    std::uint64_t heard = 0;
    bool ended = false;
    bool playing = false;
};

} // namespace zalvo
