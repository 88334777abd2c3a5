#include "MprisPlayerAdaptor.h"

#include "LocalPath.h"
#include "MprisService.h"
#include "PlayerHost.h"
#include "StreamAddress.h"
#include "playlist/AudioConfig.h"
#include "playlist/PlayList.h"

#include <QDBusConnection>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace zalvo {

namespace {

constexpr double microseconds = 1e6;
constexpr double volumeSteps = 10.0;
constexpr float volumeStep = 10.0F;

} // namespace

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(*service) {}

void MprisPlayerAdaptor::refuse(QDBusError::ErrorType error, const QString& message) {
    if (m_service.calledFromDBus()) {
        m_service.sendErrorReply(error, message);
    }
}

QString MprisPlayerAdaptor::playbackStatus() const {
    return m_service.playbackStatus();
}

QString MprisPlayerAdaptor::loopStatus() const {
    return AudioConfig::getInstance()->isRepeat() ? QStringLiteral("Playlist") : QStringLiteral("None");
}

void MprisPlayerAdaptor::setLoopStatus(const QString& status) {
    // The player repeats the whole list or nothing: repeating one track is taken as repeating the list.
    const bool repeat = status == QLatin1String("Playlist") || status == QLatin1String("Track");
    if (!repeat && status != QLatin1String("None")) {
        return;
    }
    AudioConfig* settings = AudioConfig::getInstance();
    if (settings->isRepeat() != repeat) {
        settings->toggleRepeat();
    }
    m_service.playbackChanged();
}

bool MprisPlayerAdaptor::shuffle() const {
    return AudioConfig::getInstance()->isShuffle();
}

void MprisPlayerAdaptor::setShuffle(bool on) {
    AudioConfig* settings = AudioConfig::getInstance();
    if (settings->isShuffle() != on) {
        settings->toggleShuffle();
    }
    m_service.playbackChanged();
}

QVariantMap MprisPlayerAdaptor::metadata() {
    return m_service.metadata();
}

double MprisPlayerAdaptor::volume() const {
    return static_cast<double>(AudioConfig::getInstance()->getVolume()) / 100.0;
}

void MprisPlayerAdaptor::setVolume(double volume) {
    if (std::isnan(volume)) {
        return;
    }
    // Through the settings' own steps, so that every observer hears of the change.
    const auto target = static_cast<float>(std::round(std::clamp(volume, 0.0, 1.0) * volumeSteps)) * volumeStep;
    AudioConfig* settings = AudioConfig::getInstance();
    while (settings->getVolume() < target) {
        settings->volumeUp();
    }
    while (settings->getVolume() > target) {
        settings->volumeDown();
    }
    m_service.playbackChanged();
}

qlonglong MprisPlayerAdaptor::position() const {
    return m_service.position();
}

bool MprisPlayerAdaptor::hasTracks() const {
    return !m_service.playList().getList()->empty();
}

void MprisPlayerAdaptor::Next() {
    m_service.playList().next(true);
    m_service.playbackChanged();
}

void MprisPlayerAdaptor::Previous() {
    m_service.playList().previous();
    m_service.playbackChanged();
}

void MprisPlayerAdaptor::Pause() {
    const Music* track = m_service.shownTrack();
    if (track != nullptr && track->isPlaying()) {
        m_service.host().TogglePlayPause();
    }
    m_service.playbackChanged();
}

void MprisPlayerAdaptor::PlayPause() {
    m_service.host().TogglePlayPause();
    m_service.playbackChanged();
}

void MprisPlayerAdaptor::Stop() {
    m_service.host().StopMusic();
    m_service.playbackChanged();
}

void MprisPlayerAdaptor::Play() {
    const Music* track = m_service.shownTrack();
    if (track != nullptr && !track->isPlaying()) {
        m_service.host().TogglePlayPause();
    }
    m_service.playbackChanged();
}

bool MprisPlayerAdaptor::canSeek() const {
    const Music* track = m_service.shownTrack();
    return track == nullptr || !track->isStream();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    const Music* track = m_service.shownTrack();
    if (track == nullptr || track->isStream()) {
        return;
    }
    const double target = std::max(0.0, static_cast<double>(m_service.position()) / microseconds +
                                            static_cast<double>(Offset) / microseconds);
    // Past the end goes to the next track; a track of unknown length decides itself where its end is.
    if (track->getDuration() > 0.0F && target >= static_cast<double>(track->getDuration())) {
        Next();
        return;
    }
    m_service.seekTo(static_cast<float>(target));
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    const Music* track = m_service.shownTrack();
    if (track == nullptr || TrackId.path() != MprisService::trackPath(track->getId())) {
        return;
    }
    const double target = static_cast<double>(Position) / microseconds;
    if (target < 0.0 || (track->getDuration() > 0.0F && target > static_cast<double>(track->getDuration()))) {
        return;
    }
    m_service.seekTo(static_cast<float>(target));
}

void MprisPlayerAdaptor::OpenUri(const QString& Uri) {
    const QUrl url(Uri);
    if (const QString stream = StreamAddress::fromUrl(url); !stream.isEmpty()) {
        m_service.later([this, stream] {
            m_service.host().PlayFromOutside(stream);
            m_service.playbackChanged();
        });
        return;
    }
    if (!url.isLocalFile()) {
        refuse(QDBusError::NotSupported, QStringLiteral("Only file, http and https URIs can be opened: %1").arg(Uri));
        return;
    }
    const QString path = LocalPath::fromUrl(url);
    if (!LocalPath::isFile(path)) {
        refuse(QDBusError::InvalidArgs, QStringLiteral("No such file: %1").arg(LocalPath::readable(path)));
        return;
    }
    m_service.later([this, path] {
        m_service.host().PlayFromOutside(path);
        m_service.playbackChanged();
    });
}

} // namespace zalvo
