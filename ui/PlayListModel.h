#pragma once

#include "playlist/PlayList.h"

#include <QAbstractListModel>

#include <cstdint>
#include <optional>
#include <vector>

namespace zalvo {

// The playlist's paths as rows of a list view. It keeps the position of every row, so that painting a
// row, or finding the track of the selected one, never walks the list from its start.
class PlayListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit PlayListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // Shows `list`, or nothing when it is null; call it after every change of the list.
    void refresh(PlayList::TrackList* list);
    // The position of a row, or the list's end when there is no such row.
    PlayList::Position positionAt(int row) const;
    std::optional<int> rowOf(std::uint64_t trackId) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    PlayList::TrackList* trackList = nullptr;
    std::vector<PlayList::Position> rows;
};

} // namespace zalvo
