#include "formats/CueSheet.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <libcue.h>
#include <memory>
#include <mutex>
#include <utility>

namespace zalvo {

namespace {

constexpr std::size_t maxSheetBytes = std::size_t{1} << 20;
// libcue 2.2.1 copies an unquoted word into a buffer of 1024 bytes and, when the word fills it, writes
// the terminator past its end; keeping every line shorter keeps every word shorter.
constexpr std::size_t maxLineBytes = 1000;
constexpr std::size_t maxTracks = 99;
constexpr std::uint32_t framesPerSecond = 75;
constexpr std::uint32_t maxFrames = 24U * 60U * 60U * framesPerSecond;

// The commands of the format, as libcue spells them: a line that begins otherwise is not a cue sheet's.
constexpr std::array<std::string_view, 22> commands{
    "REM",     "CATALOG", "CDTEXTFILE", "FILE",      "TRACK",      "FLAGS",    "ISRC",     "PREGAP",
    "INDEX",   "POSTGAP", "TITLE",      "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER", "MESSAGE",
    "DISC_ID", "GENRE",   "TOC_INFO1",  "TOC_INFO2", "UPC_EAN",    "SIZE_INFO"};
constexpr std::array<std::string_view, 8> trackModes{"AUDIO",      "MODE1/2048", "MODE1/2352", "MODE2/2336",
                                                     "MODE2/2048", "MODE2/2342", "MODE2/2332", "MODE2/2352"};

std::string damaged(std::string_view why) {
    return "damaged cue sheet: " + std::string(why);
}

std::string damagedAt(std::size_t line, std::string_view why) {
    return damaged("line " + std::to_string(line) + ": " + std::string(why));
}

std::string utf8Text(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (TextEncoding::fromUtf8(bytes)) {
        return std::string(bytes);
    }
    // Every Windows-1252 character has a UTF-8 form, so nothing is lost here.
    return TextEncoding::toUtf8(TextEncoding::fromWindows1252(bytes)).value_or(std::string());
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view nextWord(std::string_view& rest) {
    const auto* begin = std::find_if_not(rest.begin(), rest.end(), isSpace);
    const auto* end = std::find_if(begin, rest.end(), isSpace);
    const std::string_view word(begin, end);
    rest = std::string_view(end, rest.end());
    return word;
}

std::optional<std::uint32_t> digits(std::string_view text, std::size_t maxDigits) {
    std::uint32_t value = 0;
    if (text.empty() || text.size() > maxDigits ||
        std::from_chars(text.data(), text.data() + text.size(), value).ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Frames of an mm:ss:ff time, or why it is none.
std::variant<std::uint32_t, std::string> frames(std::string_view time) {
    const std::size_t first = time.find(':');
    const std::size_t second = first == std::string_view::npos ? first : time.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::string("time is not mm:ss:ff");
    }
    const auto minutes = digits(time.substr(0, first), 4);
    const auto seconds = digits(time.substr(first + 1, second - first - 1), 2);
    const auto rest = digits(time.substr(second + 1), 2);
    if (!minutes || !seconds || !rest) {
        return std::string("time is not mm:ss:ff");
    }
    if (*seconds >= 60) {
        return std::string("seconds must be below 60");
    }
    if (*rest >= framesPerSecond) {
        return std::string("frames must be below 75");
    }
    const std::uint32_t total = (*minutes * 60 + *seconds) * framesPerSecond + *rest;
    if (total > maxFrames) {
        return std::string("time past 24 hours");
    }
    return total;
}

// A name as FILE writes it: quoted, or one word.
std::string fileName(std::string_view rest) {
    rest.remove_prefix(static_cast<std::size_t>(std::find_if_not(rest.begin(), rest.end(), isSpace) - rest.begin()));
    if (rest.starts_with('"')) {
        const std::size_t close = rest.find('"', 1);
        return std::string(rest.substr(1, close - 1));
    }
    return std::string(nextWord(rest));
}

bool hasUnclosedQuote(std::string_view line) {
    bool open = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && (i == 0 || line[i - 1] != '\\')) {
            open = !open;
        }
    }
    return open;
}

bool hasControlCharacter(std::string_view line) {
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F;
    });
}

// Where one track lies, as the sheet's FILE and INDEX lines place it.
struct TrackPlace final {
    int number = 0;
    std::size_t file = 0;
    std::optional<std::uint32_t> pregap;
    bool pregapInEarlierFile = false;
    std::optional<std::uint32_t> start;
};

// Reads the lines that place tracks: FILE, TRACK and INDEX. libcue 2.2.1 accepts any time (its
// seconds and frames unchecked), more tracks than it keeps (reusing the last), and after a pregap
// left at the end of the previous FILE it gives every later track that earlier file's name.
class Layout final {
public:
    std::vector<std::string> files;
    std::vector<TrackPlace> tracks;

    // Empty, or why the line is refused.
    std::string add(std::size_t number, std::string_view line) {
        if (line.size() > maxLineBytes) {
            return damagedAt(number, "longer than 1000 bytes");
        }
        if (hasControlCharacter(line)) {
            return damagedAt(number, "holds control characters");
        }
        if (hasUnclosedQuote(line)) {
            return damagedAt(number, "has an unclosed quote");
        }
        std::string_view rest = line;
        const std::string_view command = nextWord(rest);
        if (command.empty()) {
            return {};
        }
        if (std::find(commands.begin(), commands.end(), command) == commands.end()) {
            return damagedAt(number, "does not begin with a cue sheet command");
        }
        if (std::string_view value = rest; command != "REM" && command != "FLAGS" && nextWord(value).empty()) {
            // libcue would take the next line's first word for the missing value.
            return damagedAt(number, std::string(command) + " without a value");
        }
        if (command == "FILE") {
            files.push_back(fileName(rest));
            if (!tracks.empty() && tracks.back().pregap && !tracks.back().start) {
                tracks.back().pregapInEarlierFile = true;
            }
        } else if (command == "TRACK") {
            return addTrack(number, rest);
        } else if (command == "INDEX") {
            return addIndex(number, rest);
        }
        return {};
    }

    // Empty, or why the tracks cannot be placed.
    std::string check() const {
        if (tracks.empty()) {
            return damaged("no TRACK");
        }
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const TrackPlace& track = tracks[i];
            if (!track.start) {
                return damaged("track " + std::to_string(track.number) + " has no INDEX 01");
            }
            if (track.pregap && !track.pregapInEarlierFile && *track.pregap > *track.start) {
                return damaged("track " + std::to_string(track.number) + " has its INDEX 00 after its INDEX 01");
            }
            if (i == 0 || tracks[i - 1].file != track.file) {
                continue;
            }
            const TrackPlace& previous = tracks[i - 1];
            const std::uint32_t earliest = track.pregap && !track.pregapInEarlierFile ? *track.pregap : *track.start;
            if (earliest <= *previous.start) {
                return damaged("track " + std::to_string(track.number) + " begins before track " +
                               std::to_string(previous.number) + " ends");
            }
        }
        return {};
    }

private:
    std::string addTrack(std::size_t number, std::string_view rest) {
        if (files.empty()) {
            return damagedAt(number, "TRACK before any FILE");
        }
        if (tracks.size() == maxTracks) {
            return damaged("more than 99 tracks");
        }
        const auto trackNumber = digits(nextWord(rest), 2);
        const std::string_view mode = nextWord(rest);
        // libcue adds a track before it reads the line, and one it cannot finish stays half made.
        if (!trackNumber || *trackNumber == 0 ||
            std::find(trackModes.begin(), trackModes.end(), mode) == trackModes.end() || !nextWord(rest).empty()) {
            return damagedAt(number, "TRACK needs a number from 1 to 99 and a mode such as AUDIO");
        }
        TrackPlace& track = tracks.emplace_back();
        track.number = static_cast<int>(*trackNumber);
        track.file = files.size() - 1;
        return {};
    }

    std::string addIndex(std::size_t number, std::string_view rest) {
        if (tracks.empty()) {
            return damagedAt(number, "INDEX before any TRACK");
        }
        const auto index = digits(nextWord(rest), 2);
        if (!index) {
            return damagedAt(number, "INDEX needs a number from 0 to 99");
        }
        const auto time = frames(nextWord(rest));
        if (const auto* why = std::get_if<std::string>(&time)) {
            return damagedAt(number, *why);
        }
        TrackPlace& track = tracks.back();
        const std::uint32_t at = std::get<std::uint32_t>(time);
        if (*index == 0) {
            if (track.pregap || track.start) {
                return damagedAt(number, "INDEX 00 after another INDEX of its track");
            }
            track.pregap = at;
        } else if (*index == 1) {
            if (track.start) {
                return damagedAt(number, "a second INDEX 01 in one track");
            }
            track.start = at;
            track.file = files.size() - 1;
        }
        return {};
    }
};

std::variant<Layout, std::string> layoutOf(std::string_view text) {
    Layout layout;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (std::string why = layout.add(++number, text.substr(0, end)); !why.empty()) {
            return why;
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    if (std::string why = layout.check(); !why.empty()) {
        return why;
    }
    return layout;
}

std::string textOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

std::optional<float> numberOf(const char* text) {
    std::string_view value = text != nullptr ? text : "";
    if (value.starts_with('+')) {
        value.remove_prefix(1);
    }
    float number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

using CdPointer = std::unique_ptr<Cd, decltype(&cd_delete)>;

// libcue's parser and scanner keep their state in globals.
std::mutex libcueMutex;

// The sheet's text and REM lines, as libcue reads them; tracks in the sheet's order.
std::string readText(const std::string& text, CueSheet& sheet) {
    // libcue 2.2.1 keeps its scanner's start condition from one sheet to the next, so a sheet that ended
    // inside a command would swallow the next sheet's first word; a bare REM line ends any command.
    const std::string input = "REM\n" + text + "\n";
    const std::scoped_lock lock(libcueMutex);
    const CdPointer cd(cue_parse_string(input.c_str()), &cd_delete);
    if (!cd || static_cast<std::size_t>(cd_get_ntrack(cd.get())) != sheet.tracks.size()) {
        return damaged("its commands do not parse");
    }
    const Cdtext* cdText = cd_get_cdtext(cd.get());
    sheet.title = textOf(cdtext_get(PTI_TITLE, cdText));
    sheet.performer = textOf(cdtext_get(PTI_PERFORMER, cdText));
    // libcue keeps REM GENRE with the CD-TEXT.
    sheet.genre = textOf(cdtext_get(PTI_GENRE, cdText));
    Rem* rem = cd_get_rem(cd.get());
    sheet.date = textOf(rem_get(REM_DATE, rem));
    sheet.albumGainDb = numberOf(rem_get(REM_REPLAYGAIN_ALBUM_GAIN, rem));
    sheet.albumPeak = numberOf(rem_get(REM_REPLAYGAIN_ALBUM_PEAK, rem));
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        const Track* track = cd_get_track(cd.get(), static_cast<int>(i + 1));
        const Cdtext* trackText = track_get_cdtext(track);
        Rem* trackRem = track_get_rem(track);
        CueSheet::Track& out = sheet.tracks[i];
        out.title = textOf(cdtext_get(PTI_TITLE, trackText));
        out.performer = textOf(cdtext_get(PTI_PERFORMER, trackText));
        out.songwriter = textOf(cdtext_get(PTI_SONGWRITER, trackText));
        out.gainDb = numberOf(rem_get(REM_REPLAYGAIN_TRACK_GAIN, trackRem));
        out.peak = numberOf(rem_get(REM_REPLAYGAIN_TRACK_PEAK, trackRem));
    }
    return {};
}

// libcue ends a track at the next one's first index, giving a pregap to the track it precedes; a CD
// plays it at the end of the track before, so a track here ends at the next one's INDEX 01.
std::vector<CueSheet::Track> rangesOf(const std::vector<TrackPlace>& places) {
    std::vector<CueSheet::Track> tracks(places.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
        const TrackPlace& place = places[i];
        const bool firstOfFile = i == 0 || places[i - 1].file != place.file;
        // The audio before a file's first INDEX 01 is hidden, not silence: it plays with that track.
        const bool hidden = firstOfFile && place.pregap == 0U && !place.pregapInEarlierFile;
        tracks[i].number = place.number;
        tracks[i].file = place.file;
        tracks[i].begin = hidden ? 0 : place.start.value_or(0);
        if (i + 1 < places.size() && places[i + 1].file == place.file) {
            tracks[i].end = places[i + 1].start;
        }
    }
    return tracks;
}

} // namespace

namespace {

// A data track (an enhanced CD's after the audio, a mixed-mode CD's before it) holds no sound, whatever
// its mode is written as: its lines go, and the FILE that held only it, so that the audio tracks around
// it list as they are.
std::string withoutDataTracks(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    // A FILE line waits until a line kept after it shows that it holds more than a data track.
    std::string_view file;
    bool dropped = false;
    bool data = false;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline == std::string_view::npos ? text.size() : newline + 1);
        text.remove_prefix(line.size());
        std::string_view words = line;
        const std::string_view command = nextWord(words);
        if (command == "FILE") {
            if (!file.empty() && !dropped) {
                kept.append(file);
            }
            file = line;
            dropped = false;
            data = false;
            continue;
        }
        if (command == "TRACK") {
            nextWord(words);
            const std::string_view mode = nextWord(words);
            data = mode.starts_with("MODE") || mode.starts_with("CDI");
        }
        if (data) {
            dropped = true;
            continue;
        }
        kept.append(std::exchange(file, std::string_view()));
        kept.append(line);
    }
    if (!dropped) {
        kept.append(file);
    }
    return kept;
}

} // namespace

std::variant<CueSheet, std::string> CueSheet::read(std::istream& input) {
    std::string bytes(maxSheetBytes + 1, '\0');
    input.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(input.gcount()));
    return read(bytes);
}

std::variant<CueSheet, std::string> CueSheet::read(std::string_view bytes) {
    if (bytes.size() > maxSheetBytes) {
        return damaged("larger than 1 MB");
    }
    if (bytes.find('\0') != std::string_view::npos) {
        return damaged("holds a NUL byte");
    }
    const std::string text = withoutDataTracks(utf8Text(bytes));
    auto layout = layoutOf(text);
    if (auto* why = std::get_if<std::string>(&layout)) {
        return std::move(*why);
    }
    auto& places = std::get<Layout>(layout);
    CueSheet sheet;
    sheet.tracks = rangesOf(places.tracks);
    if (std::string why = readText(text, sheet); !why.empty()) {
        return why;
    }
    sheet.files = std::move(places.files);
    return sheet;
}

bool CueSheet::opensLikeOne(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    }
    bool first = true;
    bool namesAFile = false;
    while (!head.empty() && !namesAFile) {
        const std::size_t end = std::min(head.find('\n'), head.size());
        std::string_view line = head.substr(0, end);
        head.remove_prefix(std::min(end + 1, head.size()));
        const std::string_view command = nextWord(line);
        if (command.empty()) {
            continue;
        }
        if (first && std::find(commands.begin(), commands.end(), command) == commands.end()) {
            return false;
        }
        first = false;
        namesAFile = command == "FILE";
    }
    return namesAFile;
}

} // namespace zalvo
