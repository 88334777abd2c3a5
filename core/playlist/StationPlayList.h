#pragma once

#include "formats/EntrySink.h"
#include "formats/ReadStatus.h"

#include <atomic>
#include <string>
#include <string_view>

namespace zalvo {

// A station's playlist served over HTTP or HTTPS (.pls, .m3u, .xspf), read as a local one is. Only its
// stations are kept: no server's list can name a local file for the player to open.
class StationPlayList final {
public:
    StationPlayList() = delete;

    // Whether the URL's path names such a playlist. An .m3u8 is HLS radio, a stream itself.
    static bool named(std::u16string_view url);
    // Hands each entry to `sink`, a station's URL or, for any other entry, an empty path. Unreadable
    // where the server does not answer it or answers too much, Unrecognised where it answers an HLS
    // manifest or no playlist: the URL is then a stream.
    static ReadStatus read(const std::u16string& url, const EntrySink& sink, const std::atomic<bool>& cancelled);
};

} // namespace zalvo
