#include "PlayListModel.h"

#include "base/TextEncoding.h"

#include <QString>

#include <algorithm>
#include <iterator>

namespace zalvo {

PlayListModel::~PlayListModel() {
    listen(nullptr);
}

void PlayListModel::show(PlayList* shown) {
    beginResetModel();
    listen(shown);
    {
        const std::scoped_lock lock(changesMutex);
        pending.clear();
        shownRows = static_cast<int>(rows.size());
    }
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
        rows.clear();
        return;
    }
    // The list's lock first, as every edit takes it before telling this model.
    const std::scoped_lock lock(shown->mutex, changesMutex);
    PlayList::TrackList& list = *shown->getList();
    rows.clear();
    rows.reserve(list.size());
    for (auto position = list.begin(); position != list.end(); ++position) {
        rows.push_back(position);
    }
    list.addListener(this);
}

void PlayListModel::inserted(Position first, std::size_t row, std::size_t count) {
    const std::scoped_lock lock(changesMutex);
    std::vector<PlayList::Position> added;
    added.reserve(count);
    for (std::size_t i = 0; i < count; ++i, ++first) {
        added.push_back(first);
    }
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(row), added.begin(), added.end());
    note({Change::Kind::Inserted, row, count});
}

void PlayListModel::aboutToRemove(std::size_t row, std::size_t count) {
    const std::scoped_lock lock(changesMutex);
    const auto first = rows.begin() + static_cast<std::ptrdiff_t>(row);
    rows.erase(first, first + static_cast<std::ptrdiff_t>(count));
    note({Change::Kind::Removed, row, count});
}

void PlayListModel::moved(std::size_t from, std::size_t to) {
    const std::scoped_lock lock(changesMutex);
    const auto at = [this](std::size_t row) { return rows.begin() + static_cast<std::ptrdiff_t>(row); };
    if (from < to) {
        std::rotate(at(from), at(from + 1), at(to + 1));
    } else {
        std::rotate(at(to), at(from), at(from + 1));
    }
    note({Change::Kind::Moved, from, to});
}

void PlayListModel::aboutToClear() {
    const std::scoped_lock lock(changesMutex);
    rows.clear();
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
    std::vector<Change> changes;
    int rowsNow = 0;
    {
        const std::scoped_lock lock(changesMutex);
        changes.swap(pending);
        rowsNow = static_cast<int>(rows.size());
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
    const std::scoped_lock lock(changesMutex);
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
        return playList->getList()->end();
    }
    return rows[static_cast<std::size_t>(row)];
}

int PlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows;
}

QVariant PlayListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
        return {};
    }
    const std::scoped_lock lock(changesMutex);
    if (static_cast<std::size_t>(index.row()) >= rows.size()) {
        return {};
    }
    return QString::fromStdU16String(TextEncoding::readable((*rows[static_cast<std::size_t>(index.row())])->getPath()));
}

} // namespace zalvo
