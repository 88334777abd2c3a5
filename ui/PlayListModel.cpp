#include "PlayListModel.h"

#include "base/TextEncoding.h"

#include <QString>

namespace zalvo {

PlayListModel::~PlayListModel() {
    listen(nullptr);
}

void PlayListModel::show(PlayList* shown) {
    beginResetModel();
    listen(shown);
    endResetModel();
}

void PlayListModel::listen(PlayList* shown) {
    if (playList != nullptr) {
        const std::scoped_lock lock(playList->mutex);
        playList->getList()->removeListener(this);
    }
    playList = shown;
    if (shown == nullptr) {
        const std::scoped_lock lock(changesMutex);
        pending.clear();
        shownRows = 0;
        return;
    }
    const std::scoped_lock lock(shown->mutex, changesMutex);
    pending.clear();
    shown->getList()->addListener(this);
    shownRows = static_cast<int>(shown->getList()->size());
}

void PlayListModel::inserted(std::size_t row, std::size_t count) {
    const std::scoped_lock lock(changesMutex);
    note({Change::Kind::Inserted, row, count});
}

void PlayListModel::aboutToRemove(std::size_t row, std::size_t count) {
    const std::scoped_lock lock(changesMutex);
    note({Change::Kind::Removed, row, count});
}

void PlayListModel::moved(std::size_t from, std::size_t to) {
    const std::scoped_lock lock(changesMutex);
    note({Change::Kind::Moved, from, to});
}

void PlayListModel::aboutToClear() {
    const std::scoped_lock lock(changesMutex);
    note({});
}

void PlayListModel::note(Change change) {
    const bool first = pending.empty();
    if (!first && pending.back().kind == Change::Kind::Reset) {
        return;
    }
    if (change.kind == Change::Kind::Reset) {
        pending.clear();
    } else if (!first && change.kind == Change::Kind::Inserted && pending.back().kind == Change::Kind::Inserted &&
               change.row >= pending.back().row && change.row <= pending.back().row + pending.back().other) {
        // A batch appended entry by entry reaches the view as one insertion.
        pending.back().other += change.other;
        return;
    }
    pending.push_back(change);
    if (first) {
        QMetaObject::invokeMethod(this, &PlayListModel::catchUp, Qt::QueuedConnection);
    }
}

void PlayListModel::catchUp() {
    if (playList == nullptr) {
        return;
    }
    std::vector<Change> changes;
    int rowsNow = 0;
    {
        // The list's lock first, as every edit takes it before telling this model; with both, the count
        // of entries is that of the edits taken.
        const std::scoped_lock lock(playList->mutex, changesMutex);
        changes.swap(pending);
        rowsNow = static_cast<int>(playList->getList()->size());
    }
    for (const Change& change : changes) {
        if (change.kind == Change::Kind::Reset) {
            beginResetModel();
            shownRows = rowsNow;
            endResetModel();
        } else {
            tell(change);
        }
    }
}

void PlayListModel::tell(const Change& change) {
    const int row = static_cast<int>(change.row);
    const int other = static_cast<int>(change.other);
    switch (change.kind) {
    case Change::Kind::Inserted:
        beginInsertRows({}, row, row + other - 1);
        shownRows += other;
        endInsertRows();
        break;
    case Change::Kind::Removed:
        beginRemoveRows({}, row, row + other - 1);
        shownRows -= other;
        endRemoveRows();
        break;
    case Change::Kind::Moved:
        // The view counts the row it goes before as the rows stood before the move.
        beginMoveRows({}, row, row, {}, other > row ? other + 1 : other);
        endMoveRows();
        break;
    case Change::Kind::Reset:
        break;
    }
}

PlayList::Position PlayListModel::positionAt(int row) const {
    if (playList == nullptr) {
        return {};
    }
    const std::scoped_lock lock(playList->mutex);
    return row < 0 ? playList->getList()->end() : playList->getList()->at(static_cast<std::size_t>(row));
}

int PlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows;
}

QVariant PlayListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || playList == nullptr) {
        return {};
    }
    const std::scoped_lock lock(playList->mutex);
    const PlayList::Position position = playList->getList()->at(static_cast<std::size_t>(index.row()));
    if (position == playList->getList()->end()) {
        return {};
    }
    return QString::fromStdU16String(TextEncoding::readable((*position)->getEntry()));
}

} // namespace zalvo
