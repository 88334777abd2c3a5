#include "formats/CueEntry.h"

namespace zalvo {

namespace {

// A sheet numbers its tracks from 1 to 99.
constexpr unsigned mostTracks = 99;
constexpr std::size_t mostDigits = 2;

} // namespace

std::u16string CueEntry::name() const {
    const std::string digits = std::to_string(number);
    return sheet + u'?' + std::u16string(digits.begin(), digits.end());
}

std::optional<CueEntry> CueEntry::of(std::u16string_view entry) {
    const std::size_t query = entry.rfind(u'?');
    if (query == std::u16string_view::npos || query == 0 || query + 1 == entry.size() ||
        entry.size() - query - 1 > mostDigits) {
        return std::nullopt;
    }
    unsigned number = 0;
    for (const char16_t digit : entry.substr(query + 1)) {
        if (digit < u'0' || digit > u'9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(digit - u'0');
    }
    if (number == 0 || number > mostTracks) {
        return std::nullopt;
    }
    return CueEntry{std::u16string(entry.substr(0, query)), number};
}

} // namespace zalvo
