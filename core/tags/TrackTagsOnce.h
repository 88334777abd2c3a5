#pragma once

#include "tags/TrackTags.h"

#include <mutex>
#include <string>

namespace zalvo {

// One track's tags, read from its file the first time anyone asks, on whichever thread asks, and shared
// by all who ask after: the loudness, the desktop and the screen reader read the file once between them.
class TrackTagsOnce final {
public:
    explicit TrackTagsOnce(std::u16string path) : path(std::move(path)) {}
    TrackTagsOnce(const TrackTagsOnce&) = delete;
    TrackTagsOnce& operator=(const TrackTagsOnce&) = delete;

    // Reads them on the first call; a call while another reads waits for that read.
    const TrackTags& get() const;
    const std::u16string& getPath() const { return path; }

private:
    const std::u16string path;
    mutable std::once_flag readOnce;
    mutable TrackTags tags;
};

} // namespace zalvo
