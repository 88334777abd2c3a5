#include "HandOverAdaptor.h"

#include "LocalPath.h"
#include "MprisService.h"
#include "PlayerHost.h"

namespace zalvo {

HandOverAdaptor::HandOverAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(*service) {}

void HandOverAdaptor::Open(const QStringList& carried) {
    QStringList files;
    for (const QString& file : carried) {
        files.append(file.startsWith(QLatin1String("file:")) ? LocalPath::fromUrl(QUrl(file)) : file);
    }
    m_service.host().Raise();
    if (!files.isEmpty()) {
        m_service.later([this, files] { m_service.host().AddFromOutside(files, true); });
    }
}

} // namespace zalvo
