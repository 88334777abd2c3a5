#include "formats/CueFormat.h"

#include "base/Log.h"
#include "formats/CueSheet.h"

#include <array>
#include <istream>
#include <iterator>
#include <string>

namespace zalvo {

std::span<const std::u16string_view> CueFormat::extensions() const {
    static constexpr std::array<std::u16string_view, 1> names{u".cue"};
    return names;
}

PlayListFormat::Match CueFormat::recognises(std::string_view head) const {
    return CueSheet::opensLikeOne(head) ? Match::Certain : Match::No;
}

ReadStatus CueFormat::read(std::istream& input, std::u16string_view /*folder*/, const EntrySink& sink) const {
    const std::variant<CueSheet, std::string> read = CueSheet::read(input);
    if (const auto* refused = std::get_if<std::string>(&read)) {
        Log::warning(Log::Category::Formats, *refused);
        return ReadStatus::Damaged;
    }
    for (const CueSheet::Track& track : std::get<CueSheet>(read).tracks) {
        const std::string number = std::to_string(track.number);
        if (!sink(u'?' + std::u16string(number.begin(), number.end()))) {
            return ReadStatus::Cancelled;
        }
    }
    return ReadStatus::Ok;
}

bool CueFormat::write(std::ostream& /*output*/, const std::vector<SavedTrack>& /*tracks*/,
                      std::u16string_view /*folder*/) const {
    return false;
}

} // namespace zalvo
