#pragma once

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
};

} // namespace zalvo
