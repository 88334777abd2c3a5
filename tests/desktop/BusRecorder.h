#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

#include <vector>

namespace zalvo {

// Records what the player announces on the bus: its properties' changes and its seeks.
class BusRecorder final : public QObject {
    Q_OBJECT

public:
    BusRecorder(QDBusConnection bus, const QString& service) {
        const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
        bus.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        bus.connect(service, path, QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Seeked"), this,
                    SLOT(seeked(qlonglong)));
    }

    std::vector<QVariantMap> changes;
    std::vector<qlonglong> seeks;

    // Whether some announcement changed `name`.
    bool announced(const QString& name) const {
        for (const QVariantMap& change : changes) {
            if (change.contains(name)) {
                return true;
            }
        }
        return false;
    }

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == QLatin1String("org.mpris.MediaPlayer2.Player")) {
            changes.push_back(changed);
        }
    }
    void seeked(qlonglong position) { seeks.push_back(position); }
};

} // namespace zalvo
