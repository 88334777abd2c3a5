#include "TagReader.h"

#include "ContainerTags.h"
#include "EmbeddedCover.h"
#include "RawXiphComment.h"
#include "TagFile.h"
#include "TagText.h"
#include "tags/TagModuleHost.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

namespace zalvo {

namespace {

// Opus's R128 gains aim at -23 LUFS, ReplayGain's at -18 LUFS.
constexpr double r128ToReplayGain = 5.0;
// R128 gains are Q7.8 fixed point.
constexpr double r128Unit = 256.0;

std::vector<std::string> listOf(const TagLib::PropertyMap& properties, const char* key,
                                std::size_t limit = TrackTags::listLimit) {
    std::vector<std::string> values;
    const auto found = properties.find(key);
    if (found == properties.end()) {
        return values;
    }
    for (const TagLib::String& value : found->second) {
        if (values.size() == limit) {
            break;
        }
        if (!value.isEmpty()) {
            values.push_back(TagText::fromTagLib(value, TrackTags::valueLimit));
        }
    }
    return values;
}

std::string firstOf(const TagLib::PropertyMap& properties, const char* key) {
    std::vector<std::string> values = listOf(properties, key, 1);
    return values.empty() ? std::string() : std::move(values.front());
}

TagLib::Ogg::XiphComment* xiphCommentOf(TagLib::File& file) {
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
        return flac->xiphComment(false);
    }
    return dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag());
}

// TagLib leaves out a Vorbis comment's value when one byte of it is not UTF-8: the fields read here are
// read again from the comment's bytes, and a name of which TagLib kept fewer values takes them from
// there, the bad bytes replaced, the rest of each value kept.
void repairXiphComment(TagLib::File& file, TagLib::PropertyMap& properties) {
    static constexpr std::array<std::string_view, 14> names{"TITLE",
                                                            "ARTIST",
                                                            "ALBUM",
                                                            "ALBUMARTIST",
                                                            "GENRE",
                                                            "TRACKNUMBER",
                                                            "DISCNUMBER",
                                                            "DATE",
                                                            "REPLAYGAIN_TRACK_GAIN",
                                                            "REPLAYGAIN_TRACK_PEAK",
                                                            "REPLAYGAIN_ALBUM_GAIN",
                                                            "REPLAYGAIN_ALBUM_PEAK",
                                                            "R128_TRACK_GAIN",
                                                            "R128_ALBUM_GAIN"};
    const TagLib::Ogg::XiphComment* comment = xiphCommentOf(file);
    if (comment == nullptr) {
        return;
    }
    std::map<std::string, TagLib::StringList> raw;
    for (const auto& [name, value] : RawXiphComment::fields(file, names)) {
        raw[name].append(TagLib::String(TagText::fromUtf8(value, TrackTags::valueLimit), TagLib::String::UTF8));
    }
    const TagLib::Ogg::FieldListMap& kept = comment->fieldListMap();
    for (const auto& [name, values] : raw) {
        const auto found = kept.find(name);
        if (found == kept.end() || found->second.size() < values.size()) {
            properties.replace(name, values);
        }
    }
}

// The leading number of "3", "3/12" or "2019-05-01"; zero where there is none.
unsigned leadingNumber(const std::string& text) {
    unsigned number = 0;
    const char* begin = text.data();
    while (begin != text.data() + text.size() && *begin == ' ') {
        ++begin;
    }
    std::from_chars(begin, text.data() + text.size(), number);
    return number;
}

// "-6.50 dB", "+2.1 dB", "0.988" — what taggers write; nothing for text that is no number. Which gains
// and peaks are real is ReplayGain's to say.
std::optional<double> decimal(const std::string& text) {
    std::string_view view = text;
    while (!view.empty() && view.front() == ' ') {
        view.remove_prefix(1);
    }
    if (!view.empty() && view.front() == '+') {
        view.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end == view.data() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> r128GainOf(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return static_cast<double>(value) / r128Unit + r128ToReplayGain;
}

// TagLib's generic properties leave out the free-form atoms and attributes in which MP4 and ASF files
// keep their ReplayGain; they are added here under the names other tag types give them.
void addFreeForm(TagLib::File& file, TagLib::PropertyMap& properties) {
    static constexpr std::array<const char*, 4> keys{"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK",
                                                     "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK"};
    for (const char* key : keys) {
        if (properties.contains(key)) {
            continue;
        }
        if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file); mp4 != nullptr && mp4->tag() != nullptr) {
            const TagLib::MP4::ItemMap& items = mp4->tag()->itemMap();
            for (const auto& [itemName, item] : items) {
                if (itemName.upper() == ("----:COM.APPLE.ITUNES:" + TagLib::String(key))) {
                    properties.insert(key, item.toStringList());
                }
            }
        } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file); asf != nullptr && asf->tag() != nullptr) {
            for (const auto& [attributeName, attributes] : asf->tag()->attributeListMap()) {
                if (attributeName.upper() == TagLib::String(key) && !attributes.isEmpty()) {
                    properties.insert(key, TagLib::StringList(attributes.front().toString()));
                }
            }
        }
    }
}

ReplayGainTags replayGainOf(const TagLib::PropertyMap& properties) {
    ReplayGainTags gains;
    gains.trackGain = decimal(firstOf(properties, "REPLAYGAIN_TRACK_GAIN"));
    gains.trackPeak = decimal(firstOf(properties, "REPLAYGAIN_TRACK_PEAK"));
    gains.albumGain = decimal(firstOf(properties, "REPLAYGAIN_ALBUM_GAIN"));
    gains.albumPeak = decimal(firstOf(properties, "REPLAYGAIN_ALBUM_PEAK"));
    if (!gains.trackGain) {
        gains.trackGain = r128GainOf(firstOf(properties, "R128_TRACK_GAIN"));
    }
    if (!gains.albumGain) {
        gains.albumGain = r128GainOf(firstOf(properties, "R128_ALBUM_GAIN"));
    }
    return gains;
}

} // namespace

TrackTags TagReader::tags(const std::string& path) {
    const std::optional<TagFile> file = TagFile::open(path);
    TagLib::PropertyMap properties;
    if (file) {
        properties = file->file().properties();
        addFreeForm(file->file(), properties);
        repairXiphComment(file->file(), properties);
    }
    if (properties.isEmpty() && (file ? ContainerTags::mayHoldMore(file->file()) : !TagFile::holdsOversizedTag(path))) {
        properties = ContainerTags::read(path);
    }

    TrackTags tags;
    tags.title = firstOf(properties, "TITLE");
    tags.artists = listOf(properties, "ARTIST");
    tags.artist = tags.artists.empty() ? std::string() : tags.artists.front();
    tags.album = firstOf(properties, "ALBUM");
    tags.albumArtists = listOf(properties, "ALBUMARTIST");
    tags.genres = listOf(properties, "GENRE");
    tags.trackNumber = leadingNumber(firstOf(properties, "TRACKNUMBER"));
    tags.discNumber = leadingNumber(firstOf(properties, "DISCNUMBER"));
    tags.year = leadingNumber(firstOf(properties, "DATE"));
    tags.replayGain = replayGainOf(properties);
    return tags;
}

std::optional<std::string> TagReader::cover(const std::string& path, std::size_t limit) {
    const std::optional<TagFile> file = TagFile::open(path);
    if (!file) {
        return std::nullopt;
    }
    const std::optional<TagLib::ByteVector> picture = EmbeddedCover::read(file->file());
    if (!picture || picture->size() > limit) {
        return std::nullopt;
    }
    return std::string(picture->data(), picture->size());
}

extern "C" __attribute__((visibility("default"))) void zalvo_tags_set_host_v1(const TagModuleHost* host) {
    ContainerTags::setReader(host->containerTags);
}

extern "C" __attribute__((visibility("default"))) void zalvo_tags_read_v1(const std::string* path, TrackTags* tags) {
    *tags = TagReader::tags(*path);
}

extern "C" __attribute__((visibility("default"))) bool zalvo_tags_cover_v1(const std::string* path, std::size_t limit,
                                                                           std::string* picture) {
    std::optional<std::string> found = TagReader::cover(*path, limit);
    if (found) {
        *picture = std::move(*found);
    }
    return found.has_value();
}

} // namespace zalvo
