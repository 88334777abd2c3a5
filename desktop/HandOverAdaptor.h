#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

namespace zalvo {

class MprisService;

// org.zalvo.HandOver: a second launch of the player gives its files to the one already running.
class HandOverAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zalvo.HandOver")

public:
    static constexpr const char* interfaceName = "org.zalvo.HandOver";

    explicit HandOverAdaptor(MprisService* service);

public slots:
    // Raises the window, then adds the files as the command line would have. Each is an absolute path, or
    // a file URL for a name that is not text.
    void Open(const QStringList& carried);

private:
    MprisService& m_service;
};

} // namespace zalvo
