#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QVariantMap>

namespace zalvo {

class MprisService;

// org.mpris.MediaPlayer2.Player: the transport, the settings and the track, translated onto the playlist
// and the audio settings.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ hasTracks)
    Q_PROPERTY(bool CanGoPrevious READ hasTracks)
    Q_PROPERTY(bool CanPlay READ hasTracks)
    Q_PROPERTY(bool CanPause READ hasTracks)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    static constexpr const char* interfaceName = "org.mpris.MediaPlayer2.Player";

    explicit MprisPlayerAdaptor(MprisService* service);

    QString playbackStatus() const;
    QString loopStatus() const;
    void setLoopStatus(const QString& status);
    static double rate() { return 1.0; }
    // The player plays at its own pace only.
    static void setRate(double /*rate*/) {}
    bool shuffle() const;
    void setShuffle(bool on);
    QVariantMap metadata();
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool hasTracks() const;
    static bool canControl() { return true; }
    // False while a station plays: it has no length to move within.
    bool canSeek() const;

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong Offset);
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
    void OpenUri(const QString& Uri);

signals:
    void Seeked(qlonglong Position);

private:
    // Answers the D-Bus caller with an error; a direct call just does nothing.
    void refuse(QDBusError::ErrorType error, const QString& message);

    MprisService& m_service;
};

} // namespace zalvo
