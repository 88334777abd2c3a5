#pragma once

#include "pcm/PcmSource.h"
#include "pcm/SampleRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

namespace zalvo {

// Pulls a source on a thread of its own, up to a lead of over a second ahead, into a ring that the
// output's reads only copy out of: no read of the output's ever opens, reads or decodes a file. Every
// frame the source hands out is handed on in order, its format changes and its end at the same frame.
class DecodeAhead final : public PcmSource {
public:
    // More than the sound server asks for at once (a second and a little more), so that one wake-up of
    // the output finds all it needs.
    static constexpr double leadSeconds = 1.5;
    // Room for the lead of a stereo 96 kHz stream; a wider or faster one is led by less.
    static constexpr std::size_t ringSamples = std::size_t{1} << 19;

    explicit DecodeAhead(std::shared_ptr<PcmSource> source);
    ~DecodeAhead() override;
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Prepares the source, then decodes ahead until half the lead is there.
    void prepare() override;
    PcmFormat format() const override;
    std::size_t read(std::span<PcmSample> samples) override;
    bool ended() const override { return streamEnded.load(std::memory_order_acquire); }
    void awaitReadable() override;
    bool seekPending() const override { return source->seekPending(); }
    // Holds the decoding thread while the source seeks, and drops what was decoded ahead of it.
    void applySeek(std::uint64_t from) override;

private:
    static constexpr std::uint64_t noBoundary = std::numeric_limits<std::uint64_t>::max();

    void produce(const std::stop_token& stop);
    // The producer's side of applySeek(): waits, decoding nothing, while the source is moved.
    void holdWhileSeeking();
    // The samples to keep decoded ahead in `format`: whole frames, within the ring.
    std::size_t leadSamples(PcmFormat format) const;

    std::shared_ptr<PcmSource> source;
    SampleRing ring{ringSamples};
    // The format read() hands out now, packed so that another thread reads it whole.
    std::atomic<std::uint64_t> packedFormat;
    // Where, in samples written, the data of the current format ends; the producer writes nothing
    // more until the reader has crossed it. `next` and `endsThere` say what lies beyond: set before the
    // boundary is published, read only by the reader that sees it.
    std::atomic<std::uint64_t> boundary = noBoundary;
    PcmFormat next;
    bool endsThere = false;
    std::atomic<bool> streamEnded = false;
    // Bumped by the reader after each read and by the destructor: what the producer waits on.
    std::atomic<std::uint32_t> consumed = 0;
    // Bumped by the producer after each write: what awaitReadable() waits on.
    std::atomic<std::uint32_t> produced = 0;
    // Set by applySeek() for the producer to stop at, and by the producer once it has stopped there.
    std::atomic<bool> holding = false;
    std::atomic<bool> held = false;
    std::vector<PcmSample> scratch;
    std::jthread producer;
};

} // namespace zalvo
