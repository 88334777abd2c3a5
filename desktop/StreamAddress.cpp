#include "StreamAddress.h"

#include "base/StreamUrl.h"

namespace zalvo {

QString StreamAddress::fromText(const QString& text) {
    const QString trimmed = text.trimmed();
    // One address, not a list of them or a paragraph that holds one.
    if (trimmed.contains(QLatin1Char('\n')) || !StreamUrl::isStream(trimmed.toStdU16String())) {
        return {};
    }
    return fromUrl(QUrl(trimmed, QUrl::TolerantMode));
}

QString StreamAddress::fromUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return {};
    }
    const QString encoded = url.toString(QUrl::FullyEncoded);
    return StreamUrl::isStream(encoded.toStdU16String()) ? encoded : QString();
}

} // namespace zalvo
