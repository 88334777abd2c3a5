#include "PlayListModel.h"

#include "base/TextEncoding.h"

#include <QString>

#include <algorithm>
#include <limits>

namespace zalvo {

void PlayListModel::refresh(PlayList::TrackList* list) {
    beginResetModel();
    trackList = list;
    rows.clear();
    // A view counts its rows in int: a longer list shows its first rows only.
    if (list != nullptr) {
        const std::size_t shown = std::min<std::size_t>(list->size(), std::numeric_limits<int>::max());
        rows.reserve(shown);
        for (auto position = list->begin(); rows.size() < shown; ++position) {
            rows.push_back(position);
        }
    }
    endResetModel();
}

PlayList::Position PlayListModel::positionAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
        return trackList != nullptr ? trackList->end() : PlayList::Position();
    }
    return rows[static_cast<std::size_t>(row)];
}

std::optional<int> PlayListModel::rowOf(std::uint64_t trackId) const {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if ((*rows[row])->getId() == trackId) {
            return static_cast<int>(row);
        }
    }
    return std::nullopt;
}

int PlayListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

QVariant PlayListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= rows.size()) {
        return {};
    }
    return QString::fromStdU16String(TextEncoding::readable((*rows[static_cast<std::size_t>(index.row())])->getPath()));
}

} // namespace zalvo
