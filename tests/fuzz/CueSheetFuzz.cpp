#include "formats/CueSheet.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace zalvo {

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

// Any bytes read as a cue sheet: the reading ends with a sheet or a reason, and a sheet's tracks lie in
// its files, each ending after it begins.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = CueSheet::read(std::string_view(reinterpret_cast<const char*>(data), size));
    if (const auto* why = std::get_if<std::string>(&read)) {
        require(why->starts_with("damaged cue sheet: "));
        return 0;
    }
    const CueSheet& sheet = std::get<CueSheet>(read);
    require(!sheet.tracks.empty() && sheet.tracks.size() <= 99);
    for (const CueSheet::Track& track : sheet.tracks) {
        require(track.file < sheet.files.size());
        require(!track.end || *track.end > track.begin);
    }
    return 0;
}

} // namespace zalvo
