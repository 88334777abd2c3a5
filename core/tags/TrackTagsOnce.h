#pragma once

#include "tags/TrackTags.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zalvo {

// One track's tags, read from its file the first time anyone asks, on whichever thread asks, and shared
// by all who ask after: the loudness, the desktop and the screen reader read the file once between them.
class TrackTagsOnce final {
public:
    explicit TrackTagsOnce(std::u16string path) : path(std::move(path)) {}
    // The file's tags with `over` laid over them, as a cue sheet names its tracks.
    TrackTagsOnce(std::u16string path, const TrackTags& over)
        : path(std::move(path)), over(std::make_unique<const TrackTags>(over)) {}
    TrackTagsOnce(const TrackTagsOnce&) = delete;
    TrackTagsOnce& operator=(const TrackTagsOnce&) = delete;

    // Reads them on the first call; a call while another reads waits for that read.
    const TrackTags& get() const;
    // The tags if they were read already, else nothing: never reads, never waits.
    const TrackTags* ifRead() const { return done.load(std::memory_order_acquire) ? &tags : nullptr; }
    const std::u16string& getPath() const { return path; }
    // How many tracks' tags were read so far in the run: what was built of known tags is out of date
    // when it moved.
    static std::uint64_t readsSoFar() { return reads.load(std::memory_order_acquire); }

private:
    const std::u16string path;
    const std::unique_ptr<const TrackTags> over;
    mutable std::once_flag readOnce;
    mutable TrackTags tags;
    mutable std::atomic<bool> done = false;
    static inline std::atomic<std::uint64_t> reads = 0;
};

} // namespace zalvo
