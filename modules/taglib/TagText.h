#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TagLib {
class String;
}

namespace zalvo {

// A tag's text as the player keeps it: UTF-8, what does not decode replaced by U+FFFD rather than the
// whole value lost, and cut at a character boundary once it reaches a size nothing shows in full.
class TagText final {
public:
    TagText() = delete;

    // TagLib keeps UTF-16 code units; a lone surrogate is one character that does not decode.
    static std::string fromTagLib(const TagLib::String& text, std::size_t limit);
    static std::string fromUtf8(std::string_view bytes, std::size_t limit);
};

} // namespace zalvo
