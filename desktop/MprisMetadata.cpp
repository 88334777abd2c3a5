#include "MprisMetadata.h"

#include "LocalPath.h"
#include "tags/TrackTags.h"

#include <QDate>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace zalvo {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList fromUtf8(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list.append(fromUtf8(text));
    }
    return list;
}

} // namespace

QString MprisMetadata::title(const QString& path, const TrackTags& tags) {
    return tags.title.empty() ? QFileInfo(LocalPath::readable(path)).fileName() : fromUtf8(tags.title);
}

QVariantMap MprisMetadata::describe(const QString& path, const TrackTags& tags,
                                    const std::optional<std::filesystem::path>& cover) {
    QVariantMap metadata{
        {QStringLiteral("xesam:url"), LocalPath::toUrl(path).toString(QUrl::FullyEncoded)},
        {QStringLiteral("xesam:title"), title(path, tags)},
    };
    const auto insertList = [&metadata](const char* key, const std::vector<std::string>& values) {
        if (!values.empty()) {
            metadata.insert(QString::fromLatin1(key), fromUtf8(values));
        }
    };
    insertList("xesam:artist", tags.artists);
    insertList("xesam:albumArtist", tags.albumArtists);
    insertList("xesam:genre", tags.genres);
    if (!tags.album.empty()) {
        metadata.insert(QStringLiteral("xesam:album"), fromUtf8(tags.album));
    }
    if (tags.trackNumber > 0) {
        metadata.insert(QStringLiteral("xesam:trackNumber"), static_cast<int>(tags.trackNumber));
    }
    if (tags.discNumber > 0) {
        metadata.insert(QStringLiteral("xesam:discNumber"), static_cast<int>(tags.discNumber));
    }
    if (const QDate date(static_cast<int>(tags.year), 1, 1); tags.year > 0 && date.isValid()) {
        metadata.insert(QStringLiteral("xesam:contentCreated"), date.toString(Qt::ISODate));
    }
    if (cover) {
        metadata.insert(QStringLiteral("mpris:artUrl"),
                        LocalPath::toUrl(LocalPath::fromNative(cover->c_str())).toString(QUrl::FullyEncoded));
    }
    return metadata;
}

QString MprisMetadata::streamTitle(const QString& url, const StreamStatus::Shown& shown) {
    if (!shown.title.title.empty()) {
        return fromUtf8(shown.title.title);
    }
    return shown.station.empty() ? url : fromUtf8(shown.station);
}

QVariantMap MprisMetadata::describeStream(const QString& url, const StreamStatus::Shown& shown) {
    QVariantMap metadata{
        {QStringLiteral("xesam:url"), url},
        {QStringLiteral("xesam:title"), streamTitle(url, shown)},
    };
    if (!shown.title.artist.empty()) {
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{fromUtf8(shown.title.artist)});
    }
    if (!shown.station.empty()) {
        metadata.insert(QStringLiteral("xesam:album"), fromUtf8(shown.station));
    }
    return metadata;
}

} // namespace zalvo
