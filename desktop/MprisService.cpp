#include "MprisService.h"

#include "HandOverAdaptor.h"
#include "LogCategories.h"
#include "MprisMetadata.h"
#include "MprisPlayerAdaptor.h"
#include "MprisRootAdaptor.h"
#include "PlayerHost.h"
#include "SessionBus.h"
#include "ShownTrackTags.h"
#include "playlist/AudioConfig.h"
#include "playlist/PlayList.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>

#include <cmath>

namespace zalvo {

namespace {

constexpr double microseconds = 1e6;
// A position further than this from where steady playback would have taken it since the last change was
// moved.
constexpr qlonglong jumpMicroseconds = 500'000;

} // namespace

MprisService::MprisService(PlayList& playList, PlayerHost& host, ShownTrackTags& tags)
    : m_playList(playList), m_host(host), m_tags(tags) {
    new MprisRootAdaptor(this);
    m_player = new MprisPlayerAdaptor(this);
    new HandOverAdaptor(this);
    m_clock.start();
    m_announced = observe();
    connect(&m_tags, &ShownTrackTags::arrived, this, &MprisService::tagsArrived);
    AudioConfig::getInstance()->attach(this);
}

// The bus drops the object by itself when it is destroyed.
MprisService::~MprisService() {
    withdraw();
}

// The name is given back at once, so that a launch while the player shuts down starts a player of its
// own instead of handing its files over.
void MprisService::withdraw() {
    if (m_bus && m_bus->isConnected() && !m_busName.isEmpty()) {
        m_bus->unregisterService(m_busName);
    }
    m_busName.clear();
}

bool MprisService::exportObject(const QDBusConnection& bus) {
    if (m_bus) {
        return true;
    }
    QDBusConnection connection = bus;
    if (!connection.registerObject(QString::fromLatin1(SessionBus::objectPath), this,
                                   QDBusConnection::ExportAdaptors)) {
        qCWarning(lcMpris).noquote()
            << QStringLiteral("MPRIS object not registered: %1").arg(connection.lastError().message());
        return false;
    }
    m_bus = connection;
    return true;
}

bool MprisService::takeName(const QString& name) {
    // Asked without queueing: the bus answers whether this connection now owns the name.
    if (!m_bus->registerService(name)) {
        qCDebug(lcMpris).noquote()
            << QStringLiteral("Bus name %1 not taken: %2").arg(name, m_bus->lastError().message());
        return false;
    }
    m_busName = name;
    return true;
}

bool MprisService::publishAsThePlayer(const QDBusConnection& bus) {
    return exportObject(bus) && takeName(QString::fromLatin1(SessionBus::playerName));
}

bool MprisService::publish(const QDBusConnection& bus) {
    if (publishAsThePlayer(bus) || (m_bus && takeName(QStringLiteral("%1.instance%2")
                                                          .arg(QLatin1String(SessionBus::playerName))
                                                          .arg(QCoreApplication::applicationPid())))) {
        return true;
    }
    qCWarning(lcMpris).noquote() << QStringLiteral("No MPRIS bus name registered: %1")
                                        .arg(m_bus ? m_bus->lastError().message() : bus.lastError().message());
    return false;
}

QString MprisService::trackPath(std::uint64_t trackId) {
    return QStringLiteral("/org/zalvo/track/%1").arg(trackId);
}

void MprisService::later(std::function<void()> work) {
    QTimer::singleShot(0, this, std::move(work));
}

Music* MprisService::shownTrack() const {
    return m_playList.shownTrack();
}

QString MprisService::playbackStatus() const {
    const Music* track = shownTrack();
    if (track != nullptr && track->isPlaying()) {
        return QStringLiteral("Playing");
    }
    if (track != nullptr && track->isPaused()) {
        return QStringLiteral("Paused");
    }
    return QStringLiteral("Stopped");
}

qlonglong MprisService::position() const {
    const Music* track = shownTrack();
    if (track == nullptr || track->isStopped()) {
        return 0;
    }
    return std::llround(static_cast<double>(track->getElapsedTime()) * microseconds);
}

QVariantMap MprisService::metadata() {
    const Music* track = shownTrack();
    if (track == nullptr) {
        m_metadataTrackId.reset();
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    }
    if (track->isStream()) {
        return streamMetadata(*track);
    }
    // Tags are read from the file once per track, off this thread: until they arrive the track shows as
    // its file's name.
    const ShownTrackTags::Read* read = m_tags.find(track->getId());
    if (read == nullptr) {
        m_tags.request(track->getId(), track->getTags());
    }
    if (m_metadataTrackId != track->getId() || (!m_metadataTagged && read != nullptr)) {
        m_metadata = MprisMetadata::describe(QString::fromStdU16String(track->getPath()),
                                             read != nullptr ? read->tags : TrackTags(),
                                             read != nullptr ? read->cover : std::nullopt);
        m_metadata.insert(QStringLiteral("mpris:trackid"),
                          QVariant::fromValue(QDBusObjectPath(trackPath(track->getId()))));
        // A track that gives no length (a streamed FLAC) has none until it has been decoded to its end.
        if (track->getDuration() > 0.0F) {
            m_metadata.insert(
                QStringLiteral("mpris:length"),
                QVariant::fromValue(std::llround(static_cast<double>(track->getDuration()) * microseconds)));
        }
        m_metadataTrackId = track->getId();
        m_metadataTagged = read != nullptr;
    }
    return m_metadata;
}

QVariantMap MprisService::streamMetadata(const Music& track) {
    // A station has no length and no tags of a file: what it says comes with its stream, as it plays.
    const std::shared_ptr<StreamStatus> status = track.getStreamStatus();
    const std::uint64_t changes = status ? status->changes() : 0;
    if (m_metadataTrackId != track.getId() || m_metadataStreamChanges != changes || !m_metadataTagged) {
        m_metadata = MprisMetadata::describeStream(QString::fromStdU16String(track.getPath()),
                                                   status ? status->shown() : StreamStatus::Shown());
        m_metadata.insert(QStringLiteral("mpris:trackid"),
                          QVariant::fromValue(QDBusObjectPath(trackPath(track.getId()))));
        m_metadataTrackId = track.getId();
        m_metadataStreamChanges = changes;
        m_metadataTagged = true;
    }
    return m_metadata;
}

void MprisService::tagsArrived(std::uint64_t trackId) {
    const Music* track = shownTrack();
    if (track == nullptr || track->getId() != trackId || m_metadataTrackId != trackId || m_metadataTagged) {
        return;
    }
    announce({{QStringLiteral("Metadata"), metadata()}});
}

void MprisService::seekTo(float seconds) {
    Music* track = shownTrack();
    // A station plays live: there is nowhere to go.
    if (track == nullptr || track->isStream()) {
        return;
    }
    track->seek(seconds);
    playbackChanged();
    announcePosition();
}

MprisService::Announced MprisService::observe() const {
    const AudioConfig* settings = AudioConfig::getInstance();
    const Music* track = shownTrack();
    Announced state;
    state.status = playbackStatus();
    if (track != nullptr) {
        state.trackId = track->getId();
        state.canSeek = !track->isStream();
        if (const std::shared_ptr<StreamStatus> status = track->getStreamStatus()) {
            state.streamChanges = status->changes();
        }
    }
    state.volume = settings->getVolume();
    state.repeat = settings->isRepeat();
    state.shuffle = settings->isShuffle();
    state.hasTracks = !m_playList.getList()->empty();
    state.position = position();
    state.observedAt = m_clock.nsecsElapsed() / 1000;
    return state;
}

void MprisService::announcePosition() {
    emit m_player->Seeked(m_announced.position);
}

void MprisService::update() {
    refresh();
}

void MprisService::playbackChanged() {
    m_host.AnnouncePlaybackChange();
    refresh();
}

void MprisService::refresh() {
    const Announced before = m_announced;
    m_announced = observe();
    const Announced& now = m_announced;

    // Position is not announced as it runs; a jump within the same track is, as Seeked.
    if (now.trackId && now.trackId == before.trackId && now.status != QLatin1String("Stopped")) {
        const qlonglong expected =
            before.position + (before.status == QLatin1String("Playing") ? now.observedAt - before.observedAt : 0);
        if (std::abs(now.position - expected) > jumpMicroseconds) {
            announcePosition();
        }
    }

    QVariantMap changed;
    if (now.status != before.status) {
        changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    }
    // A station's song changes within its track.
    if (now.trackId != before.trackId || now.streamChanges != before.streamChanges) {
        changed.insert(QStringLiteral("Metadata"), metadata());
    }
    if (now.volume != before.volume) {
        changed.insert(QStringLiteral("Volume"), m_player->volume());
    }
    if (now.repeat != before.repeat) {
        changed.insert(QStringLiteral("LoopStatus"), m_player->loopStatus());
    }
    if (now.shuffle != before.shuffle) {
        changed.insert(QStringLiteral("Shuffle"), now.shuffle);
    }
    if (now.hasTracks != before.hasTracks) {
        for (const char* name : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause"}) {
            changed.insert(QString::fromLatin1(name), now.hasTracks);
        }
    }
    if (now.canSeek != before.canSeek) {
        changed.insert(QStringLiteral("CanSeek"), now.canSeek);
    }
    announce(changed);
}

void MprisService::announce(const QVariantMap& changed) {
    if (changed.isEmpty() || !m_bus || !m_bus->isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(SessionBus::objectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(MprisPlayerAdaptor::interfaceName) << changed << QStringList();
    m_bus->send(signal);
}

} // namespace zalvo
