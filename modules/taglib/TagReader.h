#pragma once

#include "tags/TrackTags.h"

#include <cstddef>
#include <optional>
#include <string>

namespace zalvo {

// What the module reads of a file through TagLib, for the player's TrackTags and CoverArt.
class TagReader final {
public:
    TagReader() = delete;

    // Reads them whatever the tag type; a file that does not open, or is not a regular file, has none,
    // and a damaged tag gives what of it reads. Text that does not decode keeps what does, the rest
    // replaced by U+FFFD.
    static TrackTags tags(const std::string& path);
    // The bytes of the picture EmbeddedCover finds, when no larger than `limit`.
    static std::optional<std::string> cover(const std::string& path, std::size_t limit);
};

} // namespace zalvo
