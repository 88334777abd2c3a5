#include "MprisRootAdaptor.h"

#include "MprisService.h"
#include "PlayerHost.h"

namespace zalvo {

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(*service) {}

QStringList MprisRootAdaptor::supportedMimeTypes() {
    return {
        QStringLiteral("audio/wav"),
        QStringLiteral("audio/x-wav"),
        QStringLiteral("audio/x-aiff"),
        QStringLiteral("audio/flac"),
        QStringLiteral("audio/x-flac"),
        QStringLiteral("audio/ogg"),
        QStringLiteral("audio/x-vorbis+ogg"),
        QStringLiteral("audio/x-opus+ogg"),
        QStringLiteral("audio/mpeg"),
        QStringLiteral("audio/x-mpegurl"),
        QStringLiteral("audio/mpegurl"),
        QStringLiteral("audio/x-scpls"),
        QStringLiteral("application/xspf+xml"),
    };
}

void MprisRootAdaptor::Quit() {
    m_service.later([this] { m_service.host().Quit(); });
}

void MprisRootAdaptor::Raise() {
    m_service.host().Raise();
}

} // namespace zalvo
