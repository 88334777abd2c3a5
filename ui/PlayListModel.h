#pragma once

#include "playlist/PlayList.h"
#include "playlist/TrackListListener.h"

#include <QAbstractListModel>

#include <cstddef>
#include <mutex>
#include <vector>

namespace zalvo {

// The playlist's paths as rows of a list view, updated by rows as the list is edited, whoever edits it
// and on whichever thread: the view hears of each insertion, removal and move on the UI thread, so that
// its selection and scroll position follow, and only a clearing or a whole load resets it.
class PlayListModel final : public QAbstractListModel, private TrackListListener {
    Q_OBJECT

public:
    explicit PlayListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    PlayListModel(const PlayListModel&) = delete;
    PlayListModel& operator=(const PlayListModel&) = delete;
    ~PlayListModel() override;

    // Shows the list of `shown` and follows its edits, or shows nothing when it is null.
    void show(PlayList* shown);
    // Tells the view, now, of every edit made since it last heard; otherwise it hears of them from the
    // event loop. Called on the UI thread.
    void catchUp();
    // The position of a row, or the list's end when there is no such row.
    PlayList::Position positionAt(int row) const;

    // Until the view has heard of every edit, a row may show the entry that stands there now.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Change {
        enum class Kind { Inserted, Removed, Moved, Reset };
        Kind kind = Kind::Reset;
        std::size_t row = 0;
        // The rows inserted or removed, or the row a moved entry went to.
        std::size_t other = 0;
    };

    void inserted(std::size_t row, std::size_t count) override;
    void aboutToRemove(std::size_t row, std::size_t count) override;
    void moved(std::size_t from, std::size_t to) override;
    void aboutToClear() override;
    // Called with `changesMutex` held.
    void note(Change change);
    void tell(const Change& change);
    void listen(PlayList* shown);

    PlayList* playList = nullptr;
    // Guards `pending`, which the editing thread fills; never held while the view hears.
    std::mutex changesMutex;
    // The edits the view has not heard of yet, in order; a reset stands alone, since it shows the rows
    // as they are when it is told.
    std::vector<Change> pending;
    // The rows the view knows of.
    int shownRows = 0;
};

} // namespace zalvo
