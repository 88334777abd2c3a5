#include "HandOverAdaptor.h"

#include "MprisService.h"
#include "PlayerHost.h"

HandOverAdaptor::HandOverAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(*service) {}

void HandOverAdaptor::Open(const QStringList& files) {
    m_service.host().Raise();
    if (!files.isEmpty()) {
        m_service.later([this, files] { m_service.host().AddFromOutside(files, true); });
    }
}
