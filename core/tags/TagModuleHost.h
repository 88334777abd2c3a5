#pragma once

#include "decode/ModuleDecoder.h"
#include "tags/TrackTags.h"

#include <cstddef>
#include <string>

namespace zalvo {

// What the player hands the TagLib module as it loads it. The module is a shared library built with the
// core, the same compiler and standard library on both sides of this interface, that links none of the
// core: a second copy of the core's state in it would have a log of its own, unconfigured.
struct TagModuleHost {
    // The container's own tags as the FFmpeg decoder module reads them, for the file at the UTF-8 `path`;
    // false where that module is missing, reads nothing there or the file is not a regular file.
    using ContainerReader = bool (*)(const std::string* path, ModuleTags* tags);
    ContainerReader containerTags = nullptr;
};

// The module's entry points. The names carry the interface's version, so that a module built for another
// one is never used. Set once, as the module loads, before anything is read.
using TagModuleSetHost = void (*)(const TagModuleHost* host);
inline constexpr const char* tagModuleSetHostSymbol = "zalvo_tags_set_host_v1";
// The tags of the file at the UTF-8 `path`, as TrackTags::read gives them, into `tags`.
using TagModuleRead = void (*)(const std::string* path, TrackTags* tags);
inline constexpr const char* tagModuleReadSymbol = "zalvo_tags_read_v1";
// The bytes of the cover picture the file at the UTF-8 `path` embeds, into `picture`; false where it embeds
// none, or one larger than `limit`.
using TagModuleCover = bool (*)(const std::string* path, std::size_t limit, std::string* picture);
inline constexpr const char* tagModuleCoverSymbol = "zalvo_tags_cover_v1";

} // namespace zalvo
