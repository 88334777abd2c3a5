#pragma once

#include "tags/TrackTags.h"

#include <cstddef>
#include <optional>
#include <string>

namespace zalvo {

// The TagLib module, loaded the first time a track's tags or cover are read and kept for the process's
// life: a player that shows no track never maps TagLib. Found where ModuleFolders looks; without it,
// tracks play with no tags and no embedded cover, which is said once.
class TagModule final {
public:
    TagModule() = delete;

    // Whether the module loads; the first call loads it.
    static bool available();
    // The tags of the file at the UTF-8 `path`; none where the module is missing.
    static TrackTags read(const std::string& path);
    // The bytes of the cover picture the file embeds, up to `limit`; nothing where it embeds none, one
    // larger, or the module is missing.
    static std::optional<std::string> cover(const std::string& path, std::size_t limit);
};

} // namespace zalvo
