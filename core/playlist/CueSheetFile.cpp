#include "playlist/CueSheetFile.h"

#include "base/TextEncoding.h"
#include "decode/DecoderModule.h"
#include "decode/FileStream.h"
#include "formats/CueSheet.h"
#include "playlist/FlacCueSheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace zalvo {

namespace {

constexpr std::size_t headBytes = 4096;

// The endings of the lossless files rips are kept in, tried in turn for a named file that is missing.
constexpr std::array<std::string_view, 8> audioEndings{".flac", ".wav", ".wv",   ".ape",
                                                       ".aiff", ".ogg", ".opus", ".mp3"};

bool isRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// The file itself, or one of the same name with another audio ending.
std::optional<std::filesystem::path> existing(const std::filesystem::path& file) {
    if (isRegularFile(file)) {
        return file;
    }
    for (const std::string_view ending : audioEndings) {
        std::filesystem::path other = file;
        other.replace_extension(ending);
        if (isRegularFile(other)) {
            return other;
        }
    }
    return std::nullopt;
}

std::filesystem::path audioFileFor(const std::filesystem::path& folder, const std::string& named) {
    // Sheets written on Windows separate folders with backslashes, and often name where the rip was
    // made rather than where the sheet is now: the name alone is looked for beside the sheet too.
    std::string name = named;
    std::ranges::replace(name, '\\', '/');
    const std::filesystem::path written(name);
    const std::filesystem::path file = (written.is_absolute() ? written : folder / written).lexically_normal();
    return existing(file).value_or(existing(folder / written.filename()).value_or(file));
}

unsigned yearOf(const std::string& date) {
    unsigned year = 0;
    const auto [end, error] = std::from_chars(date.data(), date.data() + date.size(), year);
    return error == std::errc() && end - date.data() == 4 ? year : 0;
}

TrackTags tagsOf(const CueSheet& sheet, const CueSheet::Track& track) {
    TrackTags tags(track.title, track.performer.empty() ? sheet.performer : track.performer, sheet.title);
    if (!tags.artist.empty()) {
        tags.artists = {tags.artist};
    }
    if (!sheet.performer.empty()) {
        tags.albumArtists = {sheet.performer};
    }
    if (!sheet.genre.empty()) {
        tags.genres = {sheet.genre};
    }
    tags.trackNumber = static_cast<unsigned>(track.number);
    tags.year = yearOf(sheet.date);
    const auto asDouble = [](std::optional<float> value) {
        return value ? std::optional<double>(*value) : std::nullopt;
    };
    tags.replayGain = {asDouble(track.gainDb), asDouble(track.peak), asDouble(sheet.albumGainDb),
                       asDouble(sheet.albumPeak)};
    return tags;
}

std::vector<CueSheetFile::Located> located(const CueSheet& sheet, const std::u16string& sheetPath,
                                           const std::vector<std::u16string>& audio) {
    std::vector<CueSheetFile::Located> tracks;
    tracks.reserve(sheet.tracks.size());
    for (const CueSheet::Track& track : sheet.tracks) {
        tracks.push_back({audio.at(track.file), CueTrack{sheetPath, static_cast<unsigned>(track.number),
                                                         TrackSpan{track.begin, track.end}, tagsOf(sheet, track)}});
    }
    return tracks;
}

// WavPack's and Monkey's Audio's first bytes: only such files are asked for a tagged sheet, so that
// no other file costs the decoder module another look.
bool opensWithApeTaggedMagic(std::ifstream& input) {
    std::array<char, 4> magic{};
    input.clear();
    input.seekg(0);
    if (!input.read(magic.data(), magic.size())) {
        return false;
    }
    const std::string_view opening(magic.data(), magic.size());
    return opening == "wvpk" || opening == "MAC ";
}

// The sheet in a file's tags as FFmpeg reads them: the "cuesheet" item of a WavPack or Monkey's Audio
// file's APE tag. Only the tracks of its first FILE lie in the file itself.
std::optional<CueSheet> taggedSheet(const std::u16string& path) {
    const std::optional<std::string> native = TextEncoding::toUtf8(path);
    FileStream file;
    if (!native || !file.open(*native)) {
        return std::nullopt;
    }
    const std::optional<ModuleTags> tags = DecoderModule::tags(file.descriptor());
    if (!tags) {
        return std::nullopt;
    }
    const auto item = std::find_if(tags->begin(), tags->end(), [](const auto& tag) {
        return std::equal(tag.first.begin(), tag.first.end(), std::string_view("cuesheet").begin(),
                          std::string_view("cuesheet").end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    });
    if (item == tags->end()) {
        return std::nullopt;
    }
    std::variant<CueSheet, std::string> read = CueSheet::read(item->second);
    auto* sheet = std::get_if<CueSheet>(&read);
    if (sheet == nullptr) {
        return std::nullopt;
    }
    std::erase_if(sheet->tracks, [](const CueSheet::Track& track) { return track.file != 0; });
    return sheet->tracks.empty() ? std::nullopt : std::optional<CueSheet>(std::move(*sheet));
}

// The tracks of the sheet an audio file carries, which all lie in the file itself.
std::variant<std::vector<CueSheetFile::Located>, std::string> embeddedIn(const std::u16string& path,
                                                                         std::ifstream& input) {
    input.clear();
    input.seekg(0);
    std::optional<CueSheet> sheet = FlacCueSheet::read(input);
    if (!sheet && opensWithApeTaggedMagic(input)) {
        sheet = taggedSheet(path);
    }
    if (!sheet) {
        return std::string("not a cue sheet");
    }
    return located(*sheet, path, {path});
}

} // namespace

std::variant<std::vector<CueSheetFile::Located>, std::string> CueSheetFile::read(const std::u16string& sheetPath) {
    const std::optional<std::string> native = TextEncoding::toUtf8(sheetPath);
    if (!native || !isRegularFile(*native)) {
        return std::string("not a regular file");
    }
    std::ifstream input(*native, std::ios::binary);
    // Any file that does not open as audio is asked: its opening tells most of them apart.
    std::string bytes(headBytes, '\0');
    input.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(input.gcount()));
    if (!CueSheet::opensLikeOne(bytes)) {
        return embeddedIn(sheetPath, input);
    }
    input.clear();
    input.seekg(0);
    std::variant<CueSheet, std::string> read = CueSheet::read(input);
    if (auto* refused = std::get_if<std::string>(&read)) {
        return std::move(*refused);
    }
    const CueSheet& sheet = std::get<CueSheet>(read);
    const std::filesystem::path folder = std::filesystem::path(*native).parent_path();
    std::vector<std::u16string> audio;
    audio.reserve(sheet.files.size());
    for (const std::string& named : sheet.files) {
        audio.push_back(TextEncoding::fromFileSystem(audioFileFor(folder, named).string()));
    }
    return located(sheet, sheetPath, audio);
}

} // namespace zalvo
