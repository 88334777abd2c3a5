#pragma once

#include "decode/StreamStatus.h"

#include <QString>
#include <QVariantMap>

#include <filesystem>
#include <optional>

namespace zalvo {

struct TrackTags;

// The xesam fields and the cover of one track, as MPRIS spells them; a field the tags leave empty is
// left out.
class MprisMetadata final {
public:
    MprisMetadata() = delete;

    // The title the tags give, or else the file's name as it reads on screen.
    static QString title(const QString& path, const TrackTags& tags);
    static QVariantMap describe(const QString& path, const TrackTags& tags,
                                const std::optional<std::filesystem::path>& cover);
    // What a station says it plays, or else its name, or else its URL.
    static QString streamTitle(const QString& url, const StreamStatus::Shown& shown);
    // A station's fields: the song it names, as title and artist, and the station as the album.
    static QVariantMap describeStream(const QString& url, const StreamStatus::Shown& shown);
};

} // namespace zalvo
