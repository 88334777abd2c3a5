#pragma once

#include "tags/TagModuleHost.h"

#include <string>
#include <taglib/tpropertymap.h>

namespace TagLib {
class File;
}

namespace zalvo {

// Tags that TagLib does not read, from the FFmpeg module's own reading of the container, which the player
// asks of it on this module's behalf: Matroska, which TagLib does not know, and the APEv2 tag ffmpeg writes
// into TrueAudio files, where TagLib looks for ID3 only. Only those files load the FFmpeg module for their tags.
class ContainerTags final {
public:
    // Where the container's tags are read from; set once, before any file is read.
    static void setReader(TagModuleHost::ContainerReader reader);
    // Whether a file TagLib opened, and found no tag in, may hold tags only FFmpeg reads: TagLib takes a
    // Matroska file holding FLAC for a FLAC file, by the stream header within.
    static bool mayHoldMore(TagLib::File& opened);
    // The tags of the container at the UTF-8 `path` under TagLib's names for them; none when the FFmpeg
    // module is missing, reads nothing there, or the file is not a regular file.
    static TagLib::PropertyMap read(const std::string& path);
};

} // namespace zalvo
