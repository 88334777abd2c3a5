#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

namespace zalvo {

class MprisService;

// org.mpris.MediaPlayer2: who the player is, what it opens, and its quit and raise.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisService* service);

    // The audio and playlist formats the player opens, as its desktop entry lists them too.
    static QStringList supportedMimeTypes();

    static bool canQuit() { return true; }
    static bool canRaise() { return true; }
    static bool hasTrackList() { return false; }
    static QString identity() { return QStringLiteral("Zalvo"); }
    static QString desktopEntry() { return QStringLiteral("zalvo"); }
    static QStringList supportedUriSchemes() {
        return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")};
    }

public slots:
    void Quit();
    void Raise();

private:
    MprisService& m_service;
};

} // namespace zalvo
