#pragma once

#include "playlist/Observer.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <optional>

namespace zalvo {

class Music;
class MprisPlayerAdaptor;
class PlayList;
class PlayerHost;
class ShownTrackTags;

// The player as the desktop sees it over MPRIS: the object its adaptors hang on, and the memory of what
// was last announced, so that every change is announced once. It hears of a change of volume from the
// settings, and of the rest from the window and its own adaptors. The bus sets its call context on this
// object, also for calls that its adaptors answer.
class MprisService final : public QObject, public QDBusContext, public Observer {
    Q_OBJECT

public:
    // The tags come from `tags`, which the window shares for its screen reader.
    MprisService(PlayList& playList, PlayerHost& host, ShownTrackTags& tags);
    ~MprisService() override;
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Exports the object and takes the player's name, or a name of this process's own when another
    // player holds it. False when the bus refused both.
    bool publish(const QDBusConnection& bus);
    // Exports the object and asks for the player's name alone, in one step that the bus settles: of
    // players launched together exactly one gets it. False when another holds it.
    bool publishAsThePlayer(const QDBusConnection& bus);
    // Gives the name back, so that a launch from now on starts a player of its own.
    void withdraw();
    const QString& busName() const { return m_busName; }

    // Announces what changed since the last call: run whenever playback has changed.
    void refresh();
    void update() override;
    // Run after a call from the desktop changed playback: announces it here and to the window's mirrors.
    void playbackChanged();

    PlayList& playList() { return m_playList; }
    PlayerHost& host() { return m_host; }
    // Runs `work` once the D-Bus call being answered has had its reply: work that may open a modal window
    // (a message box, a quit) must not hold the caller waiting.
    void later(std::function<void()> work);

    // The track's object path in the metadata: tracks are told apart by their id, unique in the run.
    static QString trackPath(std::uint64_t trackId);
    // The track that play would act on: the current one, or the first while none is current yet.
    Music* shownTrack() const;
    QString playbackStatus() const;
    qlonglong position() const;
    // The shown track's file name at first, its tags once they are read.
    QVariantMap metadata();
    // Moves within the shown track and tells the desktop where playback now stands.
    void seekTo(float seconds);

private:
    struct Announced {
        QString status;
        std::optional<std::uint64_t> trackId;
        float volume = 0.0F;
        bool repeat = false;
        bool shuffle = false;
        bool hasTracks = false;
        // A station plays as it is sent.
        bool canSeek = true;
        qlonglong position = 0;
        qint64 observedAt = 0;
        std::uint64_t streamChanges = 0;
    };

    bool exportObject(const QDBusConnection& bus);
    bool takeName(const QString& name);
    Announced observe() const;
    void announcePosition();
    void announce(const QVariantMap& changed);
    // Announces the tags that came for the shown track.
    void tagsArrived(std::uint64_t trackId);
    QVariantMap streamMetadata(const Music& track);

    PlayList& m_playList;
    PlayerHost& m_host;
    MprisPlayerAdaptor* m_player = nullptr;
    std::optional<QDBusConnection> m_bus;
    QString m_busName;
    QElapsedTimer m_clock;
    Announced m_announced;
    ShownTrackTags& m_tags;
    std::optional<std::uint64_t> m_metadataTrackId;
    bool m_metadataTagged = false;
    std::uint64_t m_metadataStreamChanges = 0;
    QVariantMap m_metadata;
};

} // namespace zalvo
