#include "ContainerTags.h"

#include "TagText.h"
#include "tags/TrackTags.h"

#include <array>
#include <atomic>
#include <optional>
#include <string_view>
#include <taglib/trueaudiofile.h>

namespace zalvo {

namespace {

std::atomic<TagModuleHost::ContainerReader> containerReader = nullptr;

// FFmpeg names a field after the container's own word for it (Matroska's ALBUM_ARTIST, APE's "Album
// Artist", "Year"), in any case; TagLib's name for each.
std::optional<TagLib::String> propertyName(const std::string& key) {
    static constexpr std::array<std::pair<const char*, const char*>, 13> names{{{"TITLE", "TITLE"},
                                                                                {"ARTIST", "ARTIST"},
                                                                                {"ALBUM", "ALBUM"},
                                                                                {"ALBUM_ARTIST", "ALBUMARTIST"},
                                                                                {"ALBUM ARTIST", "ALBUMARTIST"},
                                                                                {"ALBUMARTIST", "ALBUMARTIST"},
                                                                                {"GENRE", "GENRE"},
                                                                                {"TRACK", "TRACKNUMBER"},
                                                                                {"TRACKNUMBER", "TRACKNUMBER"},
                                                                                {"DISC", "DISCNUMBER"},
                                                                                {"DISCNUMBER", "DISCNUMBER"},
                                                                                {"DATE", "DATE"},
                                                                                {"YEAR", "DATE"}}};
    const TagLib::String upper = TagLib::String(key, TagLib::String::UTF8).upper();
    // ReplayGain's fields have the same names in every container.
    if (upper.startsWith("REPLAYGAIN_")) {
        return upper;
    }
    for (const auto& [name, property] : names) {
        if (upper == name) {
            return TagLib::String(property);
        }
    }
    return std::nullopt;
}

} // namespace

void ContainerTags::setReader(TagModuleHost::ContainerReader reader) {
    containerReader.store(reader);
}

bool ContainerTags::mayHoldMore(TagLib::File& opened) {
    if (dynamic_cast<const TagLib::TrueAudio::File*>(&opened) != nullptr) {
        return true;
    }
    static constexpr std::string_view matroska("\x1A\x45\xDF\xA3");
    opened.seek(0);
    const TagLib::ByteVector head = opened.readBlock(matroska.size());
    return std::string_view(head.data(), head.size()) == matroska;
}

TagLib::PropertyMap ContainerTags::read(const std::string& path) {
    const auto reader = containerReader.load();
    ModuleTags tags;
    if (reader == nullptr || !reader(&path, &tags)) {
        return {};
    }
    TagLib::PropertyMap properties;
    for (const auto& [key, value] : tags) {
        if (const std::optional<TagLib::String> name = propertyName(key); name && !value.empty()) {
            // TagLib drops a whole value over one byte that is not UTF-8: it is mended before.
            properties[*name].append(
                TagLib::String(TagText::fromUtf8(value, TrackTags::valueLimit), TagLib::String::UTF8));
        }
    }
    return properties;
}

} // namespace zalvo
