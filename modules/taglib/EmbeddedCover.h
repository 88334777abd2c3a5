#pragma once

#include <optional>
#include <taglib/tbytevector.h>

namespace TagLib {
class File;
} // namespace TagLib

namespace zalvo {

// The cover picture a file carries in its tags: ID3v2 APIC, FLAC and Vorbis-comment pictures, MP4
// `covr`, ASF WM/Picture or an APE cover item. The front cover when one is marked so, else the first
// picture, since many files mark theirs "Other".
class EmbeddedCover final {
public:
    EmbeddedCover() = delete;

    static std::optional<TagLib::ByteVector> read(TagLib::File& file);
};

} // namespace zalvo
