#include "pcm/SampleRing.h"

#include <algorithm>
#include <cassert>

namespace zalvo {

SampleRing::SampleRing(std::size_t capacity)
    // NOLINTNEXTLINE(modernize-avoid-c-arrays): the storage declared unset
    : storage(std::make_unique_for_overwrite<PcmSample[]>(capacity)), samples(storage.get(), capacity) {}

std::size_t SampleRing::writable() const {
    return samples.size() - static_cast<std::size_t>(writeCount.load(std::memory_order_relaxed) -
                                                     readCount.load(std::memory_order_acquire));
}

void SampleRing::write(std::span<const PcmSample> in) {
    assert(in.size() <= writable());
    const std::uint64_t at = writeCount.load(std::memory_order_relaxed);
    const auto offset = static_cast<std::size_t>(at % samples.size());
    const std::size_t first = std::min(in.size(), samples.size() - offset);
    std::copy_n(in.begin(), first, samples.begin() + static_cast<std::ptrdiff_t>(offset));
    std::copy(in.begin() + static_cast<std::ptrdiff_t>(first), in.end(), samples.begin());
    writeCount.store(at + in.size(), std::memory_order_release);
}

std::size_t SampleRing::readable() const {
    return static_cast<std::size_t>(writeCount.load(std::memory_order_acquire) -
                                    readCount.load(std::memory_order_relaxed));
}

std::size_t SampleRing::read(std::span<PcmSample> out) {
    const std::size_t count = std::min(out.size(), readable());
    const std::uint64_t at = readCount.load(std::memory_order_relaxed);
    const auto offset = static_cast<std::size_t>(at % samples.size());
    const std::size_t first = std::min(count, samples.size() - offset);
    std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(offset), first, out.begin());
    std::copy_n(samples.begin(), count - first, out.begin() + static_cast<std::ptrdiff_t>(first));
    readCount.store(at + count, std::memory_order_release);
    return count;
}

} // namespace zalvo
