#pragma once

#include <string_view>

namespace zalvo {

// Tells an internet stream's address from a file's path: playlists, the command line and the desktop
// hand both over as text.
class StreamUrl final {
public:
    StreamUrl() = delete;

    // An http:// or https:// URL with a host, its scheme in any case.
    static bool isStream(std::string_view text);
    static bool isStream(std::u16string_view text);
};

} // namespace zalvo
