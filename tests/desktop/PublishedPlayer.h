#pragma once

#include "BusRecorder.h"
#include "MprisService.h"
#include "PrivateBus.h"
#include "ScriptedZalvoDlg.h"
#include "SettingsGuard.h"
#include "TempDir.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>

#include <memory>

namespace zalvo {

// The player in this process, published over MPRIS on a bus of its own and mirrored as in the
// application, with a second connection to drive it and a recorder of what it announces.
class PublishedPlayer : public testing::Test {
protected:
    static inline const QString playerName = QStringLiteral("org.mpris.MediaPlayer2.zalvo");
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
    static inline const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

    PublishedPlayer() {
        QObject::connect(&window, &CZalvoDlg::playbackMayHaveChanged, &service, &MprisService::refresh);
        QObject::connect(&window, &CZalvoDlg::playListChanged, &service, &MprisService::refresh);
        published = service.publish(playerBus);
        recorder = std::make_unique<BusRecorder>(client, playerName);
    }

    ~PublishedPlayer() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("player"));
    }
    PublishedPlayer(const PublishedPlayer&) = delete;
    PublishedPlayer& operator=(const PublishedPlayer&) = delete;

    // A property's value as a client reads it, a dictionary unpacked.
    static QVariant unwrap(const QVariant& value) {
        if (value.canConvert<QDBusArgument>()) {
            return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
        }
        return value;
    }

    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(playerName, objectPath, interface, method);
        message.setArguments(arguments);
        return client.call(message, QDBus::BlockWithGui);
    }

    QVariant get(const QString& property, const QString& interface = playerInterface) {
        const QDBusMessage reply =
            call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, property});
        return reply.arguments().isEmpty() ? QVariant()
                                           : unwrap(reply.arguments().front().value<QDBusVariant>().variant());
    }

    PrivateBus bus;
    TempDir dir;
    SettingsGuard settings;
    ScriptedZalvoDlg window;
    MprisService service{window.GetPlayList(), window, window.GetShownTrackTags()};
    QDBusConnection playerBus = bus.connect(QStringLiteral("player"));
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    std::unique_ptr<BusRecorder> recorder;
    bool published = false;
};

} // namespace zalvo
