#pragma once

#include "decode/IcyMetadata.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace zalvo {

// What an internet stream says of itself while it plays, and the listener's word that it is let go:
// written by the stream's reading thread, read by the player's thread, which looks only at the count of
// changes on each tick and takes the lock only when it moved.
class StreamStatus final {
public:
    struct Shown {
        IcyMetadata::Title title;
        std::string station;
        // Why the stream did not open, or could not be reconnected; empty while it plays.
        std::string failure;
        // It gave sound at least once.
        bool played = false;
    };

    StreamStatus() = default;
    StreamStatus(const StreamStatus&) = delete;
    StreamStatus& operator=(const StreamStatus&) = delete;

    // Bumped at every change.
    std::uint64_t changes() const { return count.load(std::memory_order_acquire); }
    Shown shown() const;

    void setTitle(IcyMetadata::Title title);
    void setStation(std::string station);
    void setFailure(std::string failure);
    void setPlayed();

    // Every wait of the stream's gives up from now on.
    void cancel();
    const std::atomic<bool>& cancelled() const { return stopped; }
    // Waits that long, or less once cancelled; false when cancelled.
    bool pause(std::chrono::milliseconds length);

private:
    void changed();

    mutable std::mutex mutex;
    std::condition_variable wake;
    Shown state;
    std::atomic<std::uint64_t> count = 0;
    std::atomic<bool> stopped = false;
};

} // namespace zalvo
