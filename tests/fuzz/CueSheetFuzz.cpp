#include "formats/CueSheet.h"
#include "playlist/FlacCueSheet.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>

namespace zalvo {

namespace {

// A reason that says the sheet is damaged, or tracks that lie in the sheet's files, each ending after
// it begins.
bool isSound(const std::variant<CueSheet, std::string>& read) {
    if (const auto* why = std::get_if<std::string>(&read)) {
        return why->starts_with("damaged cue sheet: ");
    }
    const CueSheet& sheet = std::get<CueSheet>(read);
    return !sheet.tracks.empty() && sheet.tracks.size() <= 99 &&
           std::all_of(sheet.tracks.begin(), sheet.tracks.end(), [&sheet](const CueSheet::Track& track) {
               return track.file < sheet.files.size() && (!track.end || *track.end > track.begin);
           });
}

// A sheet a FLAC file carries, or none.
bool isSound(const std::optional<CueSheet>& carried) {
    return !carried || isSound(std::variant<CueSheet, std::string>(*carried));
}

} // namespace

// Any bytes read as a cue sheet, and as the metadata of a FLAC file: the reading ends, with a sheet or
// with a reason.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream flac("fLaC" + std::string(bytes));
    if (!isSound(CueSheet::read(bytes)) || !isSound(FlacCueSheet::read(flac))) {
        std::abort();
    }
    return 0;
}

} // namespace zalvo
