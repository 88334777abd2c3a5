#include "AccessibleStatus.h"

#include "AudioConfig.h"
#include "CZalvoDlg.h"
#include "MprisMetadata.h"
#include "TrackTags.h"
#include "ZalvoDlgAccessible.h"

#include <QAccessible>

#include <cmath>
#include <mutex>
#include <string>

AccessibleStatus::AccessibleStatus(CZalvoDlg& window)
    : m_window(window), m_repeat(AudioConfig::getInstance()->isRepeat()),
      m_shuffle(AudioConfig::getInstance()->isShuffle()) {}

void AccessibleStatus::refresh(PlayList& playList) {
    const AudioConfig* settings = AudioConfig::getInstance();
    Shown now;
    now.volume = std::lround(settings->getVolume());
    std::u16string path;
    {
        const std::scoped_lock lock(playList.mutex);
        const Music* track = playList.shownTrack();
        if (track != nullptr && !track->isStopped()) {
            now.playback = track->isPaused() ? Playback::Paused : Playback::Playing;
            now.trackId = track->getId();
            path = track->getPath();
        }
    }
    if (now.trackId && now.trackId != m_taggedTrackId) {
        const TrackTags tags = TrackTags::read(path);
        m_title = MprisMetadata::title(QString::fromStdU16String(path), tags);
        m_artist = QString::fromStdString(tags.artist);
        m_taggedTrackId = now.trackId;
    }
    if (m_shown != now) {
        m_shown = now;
        // The toolkit announces the new description to the screen reader.
        m_window.setAccessibleDescription(describe(now));
    }
    announceChecked(settings->isRepeat(), settings->isShuffle());
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
