#include "SessionBus.h"

#include "HandOverAdaptor.h"
#include "LocalPath.h"
#include "LogCategories.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

namespace zalvo {

namespace {

// The running player answers at once: it queues the work and replies before doing it.
constexpr int handOverTimeoutMilliseconds = 5000;

bool sessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    // Where systemd's user bus listens when the address is not in the environment.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(QDir(runtime).filePath(QStringLiteral("bus"))).exists();
}

} // namespace

std::optional<QDBusConnection> SessionBus::connect() {
    if (!sessionBusConfigured()) {
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcDesktop).noquote()
            << QStringLiteral("No session bus, so no MPRIS and no handing over: %1").arg(bus.lastError().message());
        return std::nullopt;
    }
    return bus;
}

bool SessionBus::handOver(const QDBusConnection& bus, const QStringList& files) {
    const QString name = QString::fromLatin1(playerName);
    QDBusConnectionInterface* daemon = bus.interface();
    if (daemon == nullptr || !daemon->isServiceRegistered(name).value()) {
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(name, QString::fromLatin1(objectPath),
                                       QString::fromLatin1(HandOverAdaptor::interfaceName), QStringLiteral("Open"));
    // D-Bus carries text only: a name that is not goes as a URL of its bytes.
    QStringList carried;
    for (const QString& file : files) {
        carried.append(LocalPath::isUtf8(file) ? file : LocalPath::toUrl(file).toString(QUrl::FullyEncoded));
    }
    call << carried;
    const QDBusMessage reply = bus.call(call, QDBus::Block, handOverTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCWarning(lcDesktop).noquote() << QStringLiteral("The running player did not take the files, so this one "
                                                         "starts: %1: %2")
                                              .arg(reply.errorName(), reply.errorMessage());
        return false;
    }
    return true;
}

} // namespace zalvo
