#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace TagLib {
class File;
}

namespace zalvo {

// The fields of a file's Vorbis comment as their bytes stand, for what TagLib does not keep: it drops a
// whole value when one byte of it is not UTF-8. FLAC, and Vorbis, Opus, Speex and FLAC in Ogg.
class RawXiphComment final {
public:
    RawXiphComment() = delete;

    // The fields among `names` (in upper case): each one's name and its value's bytes, in the comment's
    // order; none for a file that has no Vorbis comment or one that does not parse.
    static std::vector<std::pair<std::string, std::string>> fields(TagLib::File& file,
                                                                   std::span<const std::string_view> names);
};

} // namespace zalvo
