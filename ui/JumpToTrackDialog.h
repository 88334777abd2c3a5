#pragma once

#include "search/TrackSearch.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QLineEdit;
class QListView;
namespace Ui {
class JumpToTrackDialog;
}

namespace zalvo {

class PlayList;
class TrackMatchModel;

// "Aller au morceau": a field above the playlist's entries that hold every word typed, found off the UI
// thread as the user types. Up and Down move among them; Enter plays the one chosen, as a double-click
// in the manager does, and closes; Escape closes.
class JumpToTrackDialog final : public QDialog {
    Q_OBJECT

public:
    JumpToTrackDialog(PlayList& playList, TrackSearch& search, QWidget* parent = nullptr);
    JumpToTrackDialog(const JumpToTrackDialog&) = delete;
    JumpToTrackDialog& operator=(const JumpToTrackDialog&) = delete;
    ~JumpToTrackDialog() override;

signals:
    // An entry was made current and started.
    void played();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void find();
    void show(TrackSearch::Matches matches);
    void playChosen();

    std::unique_ptr<Ui::JumpToTrackDialog> m_ui;
    PlayList& playList;
    TrackSearch& search;
    QLineEdit* field = nullptr;
    QListView* matchList = nullptr;
    TrackMatchModel* model = nullptr;
    std::uint64_t latestQuery = 0;
};

} // namespace zalvo
