#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <functional>
#include <stdexcept>

namespace zalvo {

// A session bus of the test's own, so that nothing reaches the desktop's bus and the test can take the
// bus away mid-run.
class PrivateBus final {
public:
    PrivateBus() {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead()) {
            throw std::runtime_error("dbus-daemon did not start (scripts/install-deps.sh --test installs it)");
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() { stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    QDBusConnection connect(const QString& name) const { return QDBusConnection::connectToBus(m_address, name); }

    void stop() {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    // For a child process: this bus as its session bus, no display, the silent audio device.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("null"));
        return environment;
    }

private:
    QProcess m_daemon;
    QString m_address;
};

// Lets the player's own event loop run while the test waits, for at most `milliseconds`.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs a command to its end while the player in this process goes on answering the bus.
inline QString runToEnd(QProcess& process, const QString& program, const QStringList& arguments) {
    process.start(program, arguments);
    waitUntil([&process] { return process.state() == QProcess::NotRunning; }, 20000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace zalvo
