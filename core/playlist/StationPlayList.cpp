#include "playlist/StationPlayList.h"

#include "base/Log.h"
#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "decode/DecoderModule.h"
#include "formats/PlayListFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace zalvo {

namespace {

// A station's list names a few streams in a few hundred bytes.
constexpr std::size_t largestList = std::size_t{1} << 20;

} // namespace

bool StationPlayList::named(std::u16string_view url) {
    if (!StreamUrl::isStream(url)) {
        return false;
    }
    const std::u16string path = TextEncoding::lowerAscii(url.substr(0, url.find_first_of(u"?#")));
    constexpr std::array<std::u16string_view, 3> extensions{u".pls", u".m3u", u".xspf"};
    return std::ranges::any_of(extensions,
                               [&path](std::u16string_view extension) { return path.ends_with(extension); });
}

ReadStatus StationPlayList::read(const std::u16string& url, const EntrySink& sink, const std::atomic<bool>& cancelled) {
    const std::optional<std::string> address = TextEncoding::toUtf8(url);
    if (!address) {
        return ReadStatus::Unreadable;
    }
    std::string failure;
    // OpenSSL's variable names the authorities to trust in place of the system's own, as for a stream.
    const StreamRequest request{address->c_str(), &cancelled, std::getenv("SSL_CERT_FILE"), {}, &failure};
    const std::optional<std::string> body = DecoderModule::fetch(request, largestList);
    if (cancelled) {
        return ReadStatus::Cancelled;
    }
    if (!body) {
        Log::warning(Log::Category::Engine, "The station's playlist does not open: " + *address + ": " + failure);
        return ReadStatus::Unreadable;
    }
    // A live HLS manifest lists the segments of one stream, not stations.
    if (body->find("#EXT-X-") != std::string::npos) {
        return ReadStatus::Unrecognised;
    }
    std::istringstream input(*body);
    return PlayListFile::read(
        input, {},
        [&sink](std::u16string entry) {
            return sink(StreamUrl::isStream(entry) ? std::move(entry) : std::u16string());
        },
        &cancelled);
}

} // namespace zalvo
