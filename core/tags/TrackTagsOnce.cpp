#include "tags/TrackTagsOnce.h"

#include "base/StreamUrl.h"

namespace zalvo {

const TrackTags& TrackTagsOnce::get() const {
    std::call_once(readOnce, [this] {
        // A station's words come with its stream, never from a file.
        if (!StreamUrl::isStream(path)) {
            tags = TrackTags::read(path);
        }
        if (over) {
            tags.takeOver(*over);
        }
        done.store(true, std::memory_order_release);
        reads.fetch_add(1, std::memory_order_acq_rel);
    });
    return tags;
}

} // namespace zalvo
