#pragma once

#include "pcm/PcmSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zalvo {

// A fixed ring of samples between one writing thread and one reading thread, which never wait on
// each other: each side moves only its own count, and sees the other's through an atomic.
class SampleRing {
public:
    explicit SampleRing(std::size_t capacity);

    // The writer's side: how many samples fit, and the writing of at most that many.
    std::size_t writable() const;
    void write(std::span<const PcmSample> in);
    std::uint64_t written() const { return writeCount.load(std::memory_order_acquire); }

    // The reader's side: how many samples wait, and the reading of up to `out.size()` of them.
    std::size_t readable() const;
    std::size_t read(std::span<PcmSample> out);
    std::uint64_t readTotal() const { return readCount.load(std::memory_order_acquire); }
    // Drops everything waiting, as read; only while the writer writes nothing.
    void discard() { readCount.store(writeCount.load(std::memory_order_acquire), std::memory_order_release); }

    std::size_t capacity() const { return samples.size(); }

private:
    // Left unset: every sample is written before it is read, and zeroing a ring of megabytes up front
    // would fault in all its pages on the thread that starts the track.
    std::unique_ptr<PcmSample[]> storage; // NOLINT(modernize-avoid-c-arrays): a vector would zero it
    std::span<PcmSample> samples;
    std::atomic<std::uint64_t> writeCount = 0;
    std::atomic<std::uint64_t> readCount = 0;
};

} // namespace zalvo
