#include "pcm/DecodeAhead.h"

#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <utility>

namespace zalvo {

namespace {

// Frames asked of the source at a time; the producer also waits until this much has room, so that it
// wakes a few dozen times a second rather than at every read of the output's.
constexpr std::size_t chunkFrames = 4096;

std::uint64_t pack(PcmFormat format) {
    return (std::uint64_t{format.sampleRate} << 32U) | format.channels;
}

PcmFormat unpack(std::uint64_t packed) {
    return PcmFormat{static_cast<unsigned>(packed >> 32U), static_cast<unsigned>(packed & 0xFFFF'FFFFU)};
}

} // namespace

DecodeAhead::DecodeAhead(std::shared_ptr<PcmSource> source)
    : source(std::move(source)), packedFormat(pack(this->source->format())) {}

DecodeAhead::~DecodeAhead() {
    producer.request_stop();
    consumed.fetch_add(1, std::memory_order_release);
    consumed.notify_all();
}

void DecodeAhead::prepare() {
    source->prepare();
    // A source may learn its format only as it prepares: an internet stream's, once connected.
    packedFormat.store(pack(source->format()), std::memory_order_release);
    producer = std::jthread([this](const std::stop_token& stop) { produce(stop); });
    // The output starts on half the lead, so that its first reads find the ring filling rather than
    // running dry while decoding starts.
    const std::size_t enough = leadSamples(format()) / 2;
    while (true) {
        const std::uint32_t seen = produced.load(std::memory_order_acquire);
        if (ring.readable() >= enough || boundary.load(std::memory_order_acquire) != noBoundary) {
            return;
        }
        produced.wait(seen, std::memory_order_acquire);
    }
}

PcmFormat DecodeAhead::format() const {
    return unpack(packedFormat.load(std::memory_order_acquire));
}

std::size_t DecodeAhead::leadSamples(PcmFormat format) const {
    const std::size_t channels = std::max(format.channels, 1U);
    const auto lead = static_cast<std::size_t>(leadSeconds * format.sampleRate) * channels;
    const std::size_t most = ring.capacity() / channels * channels;
    return std::clamp(lead, std::min(chunkFrames * channels, most), most);
}

void DecodeAhead::produce(const std::stop_token& stop) {
    // Named for whoever looks at the player's threads. Decoding over a second ahead is batch work: woken
    // by the output, it waits for the output's thread to be done rather than preempting it.
    pthread_setname_np(pthread_self(), "zalvo-decode");
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    PcmFormat producing = source->format();
    bool finished = false;
    while (!stop.stop_requested()) {
        // Loaded before the hold is looked at: applySeek() asks for it first, then bumps the count.
        const std::uint32_t seen = consumed.load(std::memory_order_acquire);
        if (holding.load(std::memory_order_acquire)) {
            holdWhileSeeking();
            producing = source->format();
            finished = false;
            continue;
        }
        const std::size_t channels = std::max(producing.channels, 1U);
        const std::size_t lead = leadSamples(producing);
        const std::size_t buffered = ring.capacity() - ring.writable();
        const std::size_t room = lead > buffered ? lead - buffered : 0;
        const std::size_t frames = std::min(room / channels, chunkFrames);
        if (finished || boundary.load(std::memory_order_acquire) != noBoundary ||
            frames < std::min(chunkFrames, lead / channels / 4)) {
            consumed.wait(seen, std::memory_order_acquire);
            continue;
        }
        scratch.resize(frames * channels);
        const std::size_t got = source->read(scratch);
        ring.write(std::span(scratch).first(got * channels));
        if (got < frames) {
            next = source->format();
            endsThere = next == producing;
            finished = endsThere;
            producing = next;
            boundary.store(ring.written(), std::memory_order_release);
        }
        produced.fetch_add(1, std::memory_order_release);
        produced.notify_all();
    }
}

void DecodeAhead::holdWhileSeeking() {
    held.store(true, std::memory_order_release);
    held.notify_all();
    holding.wait(true, std::memory_order_acquire);
    held.store(false, std::memory_order_release);
    held.notify_all();
}

void DecodeAhead::applySeek(std::uint64_t from) {
    if (producer.joinable()) {
        holding.store(true, std::memory_order_release);
        consumed.fetch_add(1, std::memory_order_release);
        consumed.notify_all();
        held.wait(false, std::memory_order_acquire);
    }
    // Neither side touches the ring now: what it holds came from before the seek.
    ring.discard();
    boundary.store(noBoundary, std::memory_order_release);
    streamEnded.store(false, std::memory_order_release);
    source->applySeek(from);
    packedFormat.store(pack(source->format()), std::memory_order_release);
    holding.store(false, std::memory_order_release);
    holding.notify_all();
    // Back to decoding before the next seek may ask for another hold.
    if (producer.joinable()) {
        held.wait(true, std::memory_order_acquire);
    }
}

std::size_t DecodeAhead::read(std::span<PcmSample> samples) {
    const std::size_t channels = std::max(format().channels, 1U);
    const std::uint64_t end = boundary.load(std::memory_order_acquire);
    std::size_t wanted = std::min(samples.size() / channels * channels, ring.readable());
    if (end != noBoundary) {
        wanted = std::min<std::size_t>(wanted, static_cast<std::size_t>(end - ring.readTotal()));
    }
    const std::size_t got = ring.read(samples.first(wanted));
    if (end != noBoundary && ring.readTotal() == end) {
        packedFormat.store(pack(next), std::memory_order_release);
        streamEnded.store(endsThere, std::memory_order_release);
        boundary.store(noBoundary, std::memory_order_release);
    }
    consumed.fetch_add(1, std::memory_order_release);
    consumed.notify_one();
    return got / channels;
}

void DecodeAhead::awaitReadable() {
    while (true) {
        const std::uint32_t seen = produced.load(std::memory_order_acquire);
        if (ring.readable() > 0 || boundary.load(std::memory_order_acquire) != noBoundary || ended()) {
            return;
        }
        produced.wait(seen, std::memory_order_acquire);
    }
}

} // namespace zalvo
