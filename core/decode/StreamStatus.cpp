#include "decode/StreamStatus.h"

#include <utility>

namespace zalvo {

StreamStatus::Shown StreamStatus::shown() const {
    const std::scoped_lock lock(mutex);
    return state;
}

void StreamStatus::setTitle(IcyMetadata::Title title) {
    const std::scoped_lock lock(mutex);
    state.title = std::move(title);
    changed();
}

void StreamStatus::setStation(std::string station) {
    const std::scoped_lock lock(mutex);
    state.station = std::move(station);
    changed();
}

void StreamStatus::setFailure(std::string failure) {
    const std::scoped_lock lock(mutex);
    state.failure = std::move(failure);
    changed();
}

void StreamStatus::setPlayed() {
    const std::scoped_lock lock(mutex);
    if (!state.played) {
        state.played = true;
        changed();
    }
}

void StreamStatus::changed() {
    count.fetch_add(1, std::memory_order_acq_rel);
}

void StreamStatus::cancel() {
    const std::scoped_lock lock(mutex);
    stopped.store(true, std::memory_order_relaxed);
    wake.notify_all();
}

bool StreamStatus::pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, length, [this] { return stopped.load(std::memory_order_relaxed); });
}

} // namespace zalvo
