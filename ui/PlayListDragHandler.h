#pragma once

#include "playlist/PlayList.h"

#include <QObject>
#include <QPoint>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QAbstractItemView;
class QDropEvent;

namespace zalvo {

// Drag and drop on the playlist manager's list: files dropped from outside are added, and an entry
// dragged within the list moves as "Monter" and "Descendre" move it, so the current track stays current
// and a playing track plays on.
class PlayListDragHandler final : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        // The playlist shown, or none.
        std::function<PlayList*()> playList;
        std::function<void(const QStringList& paths)> addFiles;
        // The list changed under the view.
        std::function<void()> moved;
    };

    // Watches `view` (which must show the playlist's entries in order) and lives as long as it does.
    PlayListDragHandler(QAbstractItemView* view, Hooks hooks);

    // The format of a dragged entry: the process and the entry's track, which stays the same however the
    // list changes meanwhile.
    static constexpr const char* entryFormat = "application/x-zalvo-playlist-entry";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool accepts(const QDropEvent& event) const;
    void drop(const QDropEvent& event);
    void startDrag(const QPoint& from);
    std::optional<std::uint64_t> draggedTrack(const QDropEvent& event) const;

    QAbstractItemView* m_view;
    Hooks m_hooks;
    std::optional<QPoint> m_pressedAt;
};

} // namespace zalvo
