#include "tags/TrackTagsOnce.h"

namespace zalvo {

const TrackTags& TrackTagsOnce::get() const {
    std::call_once(readOnce, [this] { tags = TrackTags::read(path); });
    return tags;
}

} // namespace zalvo
