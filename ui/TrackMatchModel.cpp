#include "TrackMatchModel.h"

#include "base/TextEncoding.h"
#include "playlist/PlayList.h"

#include <mutex>

namespace zalvo {

void TrackMatchModel::setMatches(TrackSearch::Matches found) {
    beginResetModel();
    matches = std::move(found);
    endResetModel();
}

std::optional<std::size_t> TrackMatchModel::playListRow(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= matches.rows.size()) {
        return std::nullopt;
    }
    const std::scoped_lock lock(playList.mutex);
    if (playList.getList()->version() != matches.listVersion) {
        emit stale();
        return std::nullopt;
    }
    return matches.rows[static_cast<std::size_t>(row)];
}

int TrackMatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(matches.rows.size());
}

QVariant TrackMatchModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
        return {};
    }
    const std::scoped_lock lock(playList.mutex);
    const std::optional<std::size_t> row = playListRow(index.row());
    if (!row) {
        return {};
    }
    const PlayList::Position position = playList.getList()->at(*row);
    return QString::fromStdU16String(TextEncoding::readable((*position)->getEntry()));
}

} // namespace zalvo
