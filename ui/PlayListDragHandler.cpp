#include "PlayListDragHandler.h"

#include "DroppedFiles.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

#include <algorithm>
#include <iterator>
#include <mutex>

namespace zalvo {

namespace {

PlayList::Position findTrack(PlayList::TrackList& list, std::uint64_t id) {
    return std::find_if(list.begin(), list.end(), [id](const auto& track) { return track->getId() == id; });
}

} // namespace

PlayListDragHandler::PlayListDragHandler(QAbstractItemView* view, Hooks hooks)
    : QObject(view), m_view(view), m_hooks(std::move(hooks)) {
    m_view->viewport()->setAcceptDrops(true);
    m_view->viewport()->installEventFilter(this);
}

bool PlayListDragHandler::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* press = static_cast<QMouseEvent*>(event);
        m_pressedAt.reset();
        if (press->button() == Qt::LeftButton) {
            m_pressedAt = press->position().toPoint();
        }
        return false;
    }
    case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (m_pressedAt && (move->buttons() & Qt::LeftButton) != 0 &&
            (move->position().toPoint() - *m_pressedAt).manhattanLength() >= QApplication::startDragDistance()) {
            const QPoint from = *m_pressedAt;
            m_pressedAt.reset();
            startDrag(from);
            return true;
        }
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (accepts(*drag)) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* dropped = static_cast<QDropEvent*>(event);
        if (accepts(*dropped)) {
            dropped->acceptProposedAction();
            drop(*dropped);
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

std::optional<std::uint64_t> PlayListDragHandler::draggedTrack(const QDropEvent& event) const {
    const QByteArray payload = event.mimeData()->data(QString::fromLatin1(entryFormat));
    const QList<QByteArray> fields = payload.split(' ');
    bool pidRead = false;
    bool idRead = false;
    if (fields.size() != 2 || fields[0].toLongLong(&pidRead) != QCoreApplication::applicationPid() || !pidRead) {
        return std::nullopt;
    }
    const std::uint64_t id = fields[1].toULongLong(&idRead);
    return idRead ? std::optional(id) : std::nullopt;
}

bool PlayListDragHandler::accepts(const QDropEvent& event) const {
    if (m_hooks.playList() == nullptr) {
        return false;
    }
    return draggedTrack(event).has_value() || !DroppedFiles::paths(event.mimeData()).isEmpty();
}

void PlayListDragHandler::startDrag(const QPoint& from) {
    PlayList* playList = m_hooks.playList();
    const QModelIndex index = m_view->indexAt(from);
    if (playList == nullptr || !index.isValid() || index.row() >= static_cast<int>(playList->getList()->size())) {
        return;
    }
    const Music* track = playList->getList()->at(static_cast<std::size_t>(index.row()))->get();
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(entryFormat),
                  QByteArray::number(QCoreApplication::applicationPid()) + ' ' + QByteArray::number(track->getId()));
    auto* drag = new QDrag(m_view);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

void PlayListDragHandler::drop(const QDropEvent& event) {
    const std::optional<std::uint64_t> id = draggedTrack(event);
    if (!id) {
        m_hooks.addFiles(DroppedFiles::paths(event.mimeData()));
        return;
    }
    PlayList* playList = m_hooks.playList();
    PlayList::TrackList& list = *playList->getList();
    // Onto the upper half of a row goes before it, onto the lower half after it, below the rows at the end.
    const QPoint point = event.position().toPoint();
    const QModelIndex index = m_view->indexAt(point);
    int row = static_cast<int>(list.size());
    if (index.isValid()) {
        const QRect rect = m_view->visualRect(index);
        row = index.row() + (point.y() >= rect.center().y() ? 1 : 0);
    }
    std::unique_lock<std::recursive_mutex> lock(playList->mutex, std::defer_lock);
    lock.lock();
    const auto dragged = findTrack(list, *id);
    if (dragged == list.end() || row > static_cast<int>(list.size())) {
        return;
    }
    const auto before = list.at(static_cast<std::size_t>(row));
    if (before == dragged || before == std::next(dragged)) {
        return;
    }
    // splice relinks the entry: its track is neither copied nor restarted, and every position, the
    // current one included, stays on its track.
    list.splice(before, list, dragged);
    lock.unlock();
    m_hooks.moved();
}

} // namespace zalvo
