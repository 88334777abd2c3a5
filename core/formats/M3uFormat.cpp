#include "formats/M3uFormat.h"

#include "base/TextEncoding.h"
#include "formats/EntryPath.h"
#include "formats/LineReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <istream>
#include <optional>
#include <ostream>

namespace zalvo {

namespace {

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    return text;
}

bool isBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A title may not break the line it sits on.
std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

// A plain list of paths has no opening: text with no control characters.
bool looksLikePlainList(std::string_view head) {
    head = withoutByteOrderMark(head);
    return !head.empty() && std::none_of(head.begin(), head.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F;
    });
}

} // namespace

std::span<const std::u16string_view> M3uFormat::extensions() const {
    static constexpr std::array<std::u16string_view, 2> names{u".m3u", u".m3u8"};
    return names;
}

PlayListFormat::Match M3uFormat::recognises(std::string_view head) const {
    if (withoutByteOrderMark(head).starts_with("#EXTM3U")) {
        return Match::Certain;
    }
    return looksLikePlainList(head) ? Match::Fallback : Match::No;
}

ReadStatus M3uFormat::read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const {
    LineReader lines(input);
    std::string line;
    bool anyEntry = false;
    while (lines.next(line)) {
        if (line.empty() || line.front() == '#' || isBlank(line)) {
            continue;
        }
        anyEntry = true;
        if (!sink(EntryPath::fromText(TextEncoding::fromFileSystem(line), folder, true).value_or(std::u16string()))) {
            return ReadStatus::Cancelled;
        }
    }
    if (lines.failed()) {
        return ReadStatus::Damaged;
    }
    // Text with no entry in it is no playlist to replace the list with.
    return anyEntry ? ReadStatus::Ok : ReadStatus::Unrecognised;
}

bool M3uFormat::write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const {
    output << "#EXTM3U\n";
    for (const SavedTrack& track : tracks) {
        const std::optional<std::string> entry = EntryPath::forText(track.path, folder);
        if (!entry) {
            continue;
        }
        output << "#EXTINF:" << std::lround(track.seconds) << ',' << oneLine(track.title) << '\n' << *entry << '\n';
    }
    return static_cast<bool>(output.flush());
}

} // namespace zalvo
