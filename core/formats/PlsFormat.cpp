#include "formats/PlsFormat.h"

#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "formats/CueEntry.h"
#include "formats/EntryPath.h"
#include "formats/LineReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <system_error>

namespace zalvo {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return result;
}

// N of a "FileN" key; nothing for any other key.
std::optional<std::uint64_t> fileNumber(std::string_view key) {
    constexpr std::size_t maxDigits = 18;
    const std::string name = lowered(key);
    if (!name.starts_with("file") || name.size() == 4 || name.size() > 4 + maxDigits) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (const char c : std::string_view(name).substr(4)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

bool isRegularFile(const std::u16string& path) {
    const std::optional<std::string> native = TextEncoding::toUtf8(path);
    std::error_code error;
    return native && std::filesystem::is_regular_file(std::filesystem::path(*native), error);
}

// A track of a cue sheet kept as "album.cue?2": what it names is the sheet.
bool namesACueTrack(const std::u16string& path) {
    const std::optional<CueEntry> entry = CueEntry::of(path);
    return entry && isRegularFile(entry->sheet);
}

} // namespace

std::span<const std::u16string_view> PlsFormat::extensions() const {
    static constexpr std::array<std::u16string_view, 1> names{u".pls"};
    return names;
}

PlayListFormat::Match PlsFormat::recognises(std::string_view head) const {
    std::istringstream input{std::string(head)};
    LineReader lines(input);
    std::string line;
    while (lines.next(line)) {
        const std::string_view text = trimmed(line);
        if (!text.empty()) {
            return lowered(text) == "[playlist]" ? Match::Certain : Match::No;
        }
    }
    return Match::No;
}

ReadStatus PlsFormat::read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const {
    // The entries may come in any order, so they wait until the end; only those naming a file or a
    // station do, so memory follows the tracks that can open. The others are told of at once.
    std::map<std::uint64_t, std::u16string> entries;
    LineReader lines(input);
    std::string line;
    bool anyEntry = false;
    while (lines.next(line)) {
        const std::string_view text = trimmed(line);
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::optional<std::uint64_t> number = fileNumber(trimmed(text.substr(0, equals)));
        const std::string_view value = trimmed(text.substr(equals + 1));
        if (!number || value.empty() || entries.contains(*number)) {
            continue;
        }
        anyEntry = true;
        std::optional<std::u16string> path = EntryPath::fromText(TextEncoding::fromFileSystem(value), folder, true);
        if (path && (StreamUrl::isStream(*path) || isRegularFile(*path) || namesACueTrack(*path))) {
            entries.emplace(*number, std::move(*path));
        } else if (!sink(std::u16string())) {
            return ReadStatus::Cancelled;
        }
    }
    for (auto& [number, path] : entries) {
        if (!sink(std::move(path))) {
            return ReadStatus::Cancelled;
        }
    }
    if (lines.failed()) {
        return ReadStatus::Damaged;
    }
    // Text with no entry in it is no playlist to replace the list with.
    return anyEntry ? ReadStatus::Ok : ReadStatus::Unrecognised;
}

bool PlsFormat::write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const {
    output << "[playlist]\n";
    std::size_t number = 0;
    for (const SavedTrack& track : tracks) {
        const std::optional<std::string> entry = EntryPath::forText(track.path, folder);
        if (!entry) {
            continue;
        }
        ++number;
        output << "File" << number << '=' << *entry << '\n';
        if (!track.title.empty() && track.title.find_first_of("\r\n") == std::string::npos) {
            output << "Title" << number << '=' << track.title << '\n';
        }
        output << "Length" << number << '=' << std::lround(track.seconds) << '\n';
    }
    output << "NumberOfEntries=" << number << "\nVersion=2\n";
    return static_cast<bool>(output.flush());
}

} // namespace zalvo
