#include "ContainerTags.h"

#include "DecoderModule.h"
#include "FileStream.h"
#include "TextEncoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <taglib/trueaudiofile.h>

namespace {

bool sameKey(std::string_view key, std::string_view name) {
    return std::equal(key.begin(), key.end(), name.begin(), name.end(), [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

// FFmpeg names a field after the container's own word for it (Matroska's ALBUM_ARTIST, APE's "Album
// Artist", "Year"), in any case.
bool isAny(std::string_view key, std::initializer_list<std::string_view> names) {
    return std::any_of(names.begin(), names.end(), [key](std::string_view name) { return sameKey(key, name); });
}

// The leading number of "3", "3/12" or "2019-05-01"; zero where there is none.
unsigned leadingNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    unsigned number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// "-6.50 dB", "+2.1 dB", "0.988"; nothing for text that is no number.
std::optional<double> decimal(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> gainOf(std::string_view text) {
    constexpr double plausibleGain = 64.0;
    const std::optional<double> gain = decimal(text);
    return gain && std::abs(*gain) <= plausibleGain ? gain : std::nullopt;
}

std::optional<double> peakOf(std::string_view text) {
    const std::optional<double> peak = decimal(text);
    return peak && *peak > 0.0 ? peak : std::nullopt;
}

void setOnce(std::string& field, const std::string& value) {
    if (field.empty()) {
        field = value;
    }
}

void setOnce(unsigned& field, unsigned value) {
    if (field == 0) {
        field = value;
    }
}

void setOnce(std::optional<double>& field, std::optional<double> value) {
    if (!field) {
        field = value;
    }
}

void take(TrackTags& tags, std::string_view key, const std::string& value) {
    if (value.empty()) {
        return;
    }
    if (isAny(key, {"title"})) {
        setOnce(tags.title, value);
    } else if (isAny(key, {"artist"})) {
        tags.artists.push_back(value);
    } else if (isAny(key, {"album"})) {
        setOnce(tags.album, value);
    } else if (isAny(key, {"album_artist", "album artist", "albumartist"})) {
        tags.albumArtists.push_back(value);
    } else if (isAny(key, {"genre"})) {
        tags.genres.push_back(value);
    } else if (isAny(key, {"track", "tracknumber"})) {
        setOnce(tags.trackNumber, leadingNumber(value));
    } else if (isAny(key, {"disc", "discnumber"})) {
        setOnce(tags.discNumber, leadingNumber(value));
    } else if (isAny(key, {"date", "year"})) {
        setOnce(tags.year, leadingNumber(value));
    } else if (isAny(key, {"replaygain_track_gain"})) {
        setOnce(tags.replayGain.trackGain, gainOf(value));
    } else if (isAny(key, {"replaygain_track_peak"})) {
        setOnce(tags.replayGain.trackPeak, peakOf(value));
    } else if (isAny(key, {"replaygain_album_gain"})) {
        setOnce(tags.replayGain.albumGain, gainOf(value));
    } else if (isAny(key, {"replaygain_album_peak"})) {
        setOnce(tags.replayGain.albumPeak, peakOf(value));
    }
}

} // namespace

bool ContainerTags::mayHoldMore(const std::u16string& path, const TagLib::File& opened) {
    if (dynamic_cast<const TagLib::TrueAudio::File*>(&opened) != nullptr) {
        return true;
    }
    constexpr std::string_view matroska("\x1A\x45\xDF\xA3");
    std::array<char, matroska.size()> head{};
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    FileStream file;
    return utf8 && file.open(*utf8) && file.read(head.data(), head.size()) == static_cast<std::int64_t>(head.size()) &&
           std::string_view(head.data(), head.size()) == matroska;
}

TrackTags ContainerTags::read(const std::u16string& path) {
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    FileStream file;
    if (!utf8 || !file.open(*utf8)) {
        return {};
    }
    const std::optional<ModuleTags> found = DecoderModule::tags(file.descriptor());
    TrackTags tags;
    for (const auto& [key, value] : found.value_or(ModuleTags{})) {
        take(tags, key, value);
    }
    tags.artist = tags.artists.empty() ? std::string() : tags.artists.front();
    return tags;
}
