#pragma once

#include <string>
#include <taglib/tpropertymap.h>

namespace TagLib {
class File;
}

namespace zalvo {

// Tags that TagLib does not read, from the FFmpeg module's own reading of the container: Matroska, which
// TagLib does not know, and the APEv2 tag ffmpeg writes into TrueAudio files, where TagLib looks for ID3
// only. Only those files load the module for their tags.
class ContainerTags final {
public:
    // Whether a file TagLib opened, and found no tag in, may hold tags only FFmpeg reads: TagLib takes a
    // Matroska file holding FLAC for a FLAC file, by the stream header within.
    static bool mayHoldMore(const std::u16string& path, const TagLib::File& opened);
    // The container's tags under TagLib's names for them; none when the module is missing, reads nothing
    // there, or the file is not a regular file.
    static TagLib::PropertyMap read(const std::u16string& path);
};

} // namespace zalvo
