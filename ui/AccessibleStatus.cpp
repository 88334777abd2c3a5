#include "AccessibleStatus.h"

#include "CZalvoDlg.h"
#include "MprisMetadata.h"
#include "ShownTrackTags.h"
#include "ZalvoDlgAccessible.h"
#include "playlist/AudioConfig.h"

#include <QAccessible>

#include <cmath>
#include <memory>
#include <mutex>

namespace zalvo {

AccessibleStatus::AccessibleStatus(CZalvoDlg& window, ShownTrackTags& tags)
    : m_window(window), m_tags(tags), m_repeat(AudioConfig::getInstance()->isRepeat()),
      m_shuffle(AudioConfig::getInstance()->isShuffle()) {
    QObject::connect(&tags, &ShownTrackTags::arrived, &window, [this](std::uint64_t trackId) { tagsArrived(trackId); });
}

void AccessibleStatus::refresh(PlayList& playList) {
    const AudioConfig* settings = AudioConfig::getInstance();
    Shown now;
    now.volume = std::lround(settings->getVolume());
    std::shared_ptr<const TrackTagsOnce> tags;
    std::shared_ptr<StreamStatus> stream;
    {
        const std::scoped_lock lock(playList.mutex);
        const Music* track = playList.shownTrack();
        if (track != nullptr && !track->isStopped()) {
            now.playback = track->isPaused() ? Playback::Paused : Playback::Playing;
            now.trackId = track->getId();
            tags = track->getTags();
            stream = track->getStreamStatus();
        }
    }
    if (stream) {
        // A station's song is told as it changes.
        now.streamChanges = stream->changes();
        if (now.trackId != m_taggedTrackId || now.streamChanges != m_shown.value_or(Shown()).streamChanges) {
            const StreamStatus::Shown shown = stream->shown();
            m_taggedTrackId = now.trackId;
            m_tagged = true;
            m_title = MprisMetadata::streamTitle(QString::fromStdU16String(tags->getPath()), shown);
            m_artist = QString::fromStdString(shown.title.artist);
        }
    } else if (now.trackId && now.trackId != m_taggedTrackId) {
        m_taggedTrackId = now.trackId;
        m_path = QString::fromStdU16String(tags->getPath());
        const ShownTrackTags::Read* read = m_tags.find(*now.trackId);
        m_tagged = read != nullptr;
        m_title = MprisMetadata::title(m_path, m_tagged ? read->tags : TrackTags());
        m_artist = m_tagged ? QString::fromStdString(read->tags.artist) : QString();
    }
    if (now.trackId && !m_tagged) {
        m_tags.request(*now.trackId, std::move(tags));
    }
    if (m_shown != now) {
        m_shown = now;
        // The toolkit announces the new description to the screen reader.
        m_window.setAccessibleDescription(describe(now));
    }
    announceChecked(settings->isRepeat(), settings->isShuffle());
}

void AccessibleStatus::tagsArrived(std::uint64_t trackId) {
    const ShownTrackTags::Read* read = m_tags.find(trackId);
    if (m_tagged || trackId != m_taggedTrackId || read == nullptr) {
        return;
    }
    m_tagged = true;
    m_title = MprisMetadata::title(m_path, read->tags);
    m_artist = QString::fromStdString(read->tags.artist);
    if (m_shown && m_shown->trackId == trackId) {
        m_window.setAccessibleDescription(describe(*m_shown));
    }
}

QString AccessibleStatus::describe(const Shown& shown) const {
    const QString volume = QStringLiteral("volume %1 %").arg(shown.volume);
    if (shown.playback == Playback::Stopped) {
        return QStringLiteral("Arrêté, ") + volume;
    }
    QString what = shown.playback == Playback::Playing ? QStringLiteral("Lecture : ") : QStringLiteral("En pause : ");
    what += m_title;
    if (!m_artist.isEmpty()) {
        what += QStringLiteral(" — ") + m_artist;
    }
    return what + QStringLiteral(", ") + volume;
}

void AccessibleStatus::announceChecked(bool repeat, bool shuffle) {
    const bool repeatChanged = repeat != m_repeat;
    const bool shuffleChanged = shuffle != m_shuffle;
    m_repeat = repeat;
    m_shuffle = shuffle;
    if ((!repeatChanged && !shuffleChanged) || !QAccessible::isActive()) {
        return;
    }
    const auto* windowInterface = dynamic_cast<ZalvoDlgAccessible*>(QAccessible::queryAccessibleInterface(&m_window));
    if (windowInterface == nullptr) {
        return;
    }
    QAccessible::State checked;
    checked.checked = true;
    for (const auto& [action, changed] : {std::pair{REPEAT, repeatChanged}, std::pair{SHUFFLE, shuffleChanged}}) {
        if (changed) {
            QAccessibleStateChangeEvent event(windowInterface->actionChild(action), checked);
            QAccessible::updateAccessibility(&event);
        }
    }
}

} // namespace zalvo
