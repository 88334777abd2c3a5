#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zalvo {

// Reads what a station sends between its audio, an ICY metadata block: "StreamTitle='Artist - Song';".
class IcyMetadata final {
public:
    IcyMetadata() = delete;

    struct Title {
        std::string artist;
        std::string title;
    };

    // The longest title kept, in bytes: no song's name is longer, and a block may hold four times it.
    static constexpr std::size_t longestTitle = 1024;

    // The block's StreamTitle in UTF-8, read as Latin-1 where it is not valid UTF-8 and cut to the longest
    // title; split into artist and title at its first " - ". Nothing when the block holds none.
    static std::optional<Title> streamTitle(std::string_view block);
    // Text a server sent in its headers, in UTF-8, read as above.
    static std::string text(std::string_view bytes);
};

} // namespace zalvo
