#include "tags/TrackTags.h"

#include "base/TextEncoding.h"
#include "tags/TagModule.h"

#include <optional>

namespace zalvo {

TrackTags TrackTags::read(const std::u16string& path) {
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    return utf8 ? TagModule::read(*utf8) : TrackTags();
}

void TrackTags::takeOver(const TrackTags& over) {
    const auto text = [](std::string& field, const std::string& given) {
        if (!given.empty()) {
            field = given;
        }
    };
    const auto list = [](std::vector<std::string>& field, const std::vector<std::string>& given) {
        if (!given.empty()) {
            field = given;
        }
    };
    const auto number = [](unsigned& field, unsigned given) { field = given != 0 ? given : field; };
    const auto gain = [](std::optional<double>& field, const std::optional<double>& given) {
        field = given ? given : field;
    };
    text(title, over.title);
    text(artist, over.artist);
    text(album, over.album);
    list(artists, over.artists);
    list(albumArtists, over.albumArtists);
    list(genres, over.genres);
    number(trackNumber, over.trackNumber);
    number(discNumber, over.discNumber);
    number(year, over.year);
    gain(replayGain.trackGain, over.replayGain.trackGain);
    gain(replayGain.trackPeak, over.replayGain.trackPeak);
    gain(replayGain.albumGain, over.replayGain.albumGain);
    gain(replayGain.albumPeak, over.replayGain.albumPeak);
}

} // namespace zalvo
