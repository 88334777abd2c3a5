#pragma once

#include "search/TrackSearch.h"

#include <QAbstractListModel>

#include <cstddef>
#include <optional>

namespace zalvo {

class PlayList;

// The entries a search found, as rows of a list view, each shown as the manager shows it. The rows
// stand for the list as it was searched: once it has been edited they show nothing, and `stale` asks
// for the search again.
class TrackMatchModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit TrackMatchModel(PlayList& playList, QObject* parent = nullptr)
        : QAbstractListModel(parent), playList(playList) {}

    void setMatches(TrackSearch::Matches found);
    // The playlist's row of a match, when the list is still as it was searched.
    std::optional<std::size_t> playListRow(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    void stale() const;

private:
    PlayList& playList;
    TrackSearch::Matches matches;
};

} // namespace zalvo
