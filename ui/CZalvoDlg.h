#pragma once

#include "AccessibleStatus.h"
#include "Action.h"
#include "MainWindowKeys.h"
#include "PlayListFiles.h"
#include "PlayerHost.h"
#include "ShownTrackTags.h"
#include "decode/StreamStatus.h"
#include "playlist/PlayList.h"
#include "search/TrackSearch.h"

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class QPushButton;

namespace zalvo {

// The skinned main window: remembers the icon under the pointer, runs its action on a click, moves
// playback on every 100 ms when a track has finished, and announces every change of playback it makes.
class CZalvoDlg : public QDialog, public PlayerHost {
    Q_OBJECT

public:
    explicit CZalvoDlg(QWidget* parent = nullptr);
    ~CZalvoDlg() override;

    // Also run by the playlist manager's "Charger" and "Sauvegarder" buttons.
    void LoadPlayList();
    void SavePlayList();

    // Files that come from outside the window (a drop, the command line, another launch, MPRIS), added
    // as PlayListFiles::add adds them, off the UI thread. When `play` is set and nothing plays, the first
    // added track starts.
    void AddFromOutside(const QStringList& paths, bool play) override;
    void PlayFromOutside(const QString& path) override;

    // Ends the player as "Quitter" does, closing first any window opened over it.
    void Quit() override;
    void Raise() override;

    PlayList& GetPlayList() { return m_playList; }
    TrackSearch& GetTrackSearch() { return m_search; }
    // The shown track's tags, read off the UI thread for the screen reader and MPRIS alike.
    ShownTrackTags& GetShownTrackTags() { return m_shownTrackTags; }
    Action GetHoveredAction() const { return m_hoveredAction; }
    // Each rectangle holds exactly its action's pixels: QRect::right() and bottom() are the last ones inside.
    const std::map<Action, QRect>& GetActionRects() const { return m_actionRects; }
    // The action whose rectangle holds a point of the window, NONE when none does.
    Action ActionAt(const QPoint& point) const;
    // Runs an action as a click on its icon does: the keys and the screen reader's buttons come here.
    void DoAction(Action action);
    // "Aller au morceau", over `parent`: J on the ring, Ctrl+F in the manager. Enter there plays the entry
    // found, announced as any other change of playback.
    void OpenJumpToTrack(QWidget* parent);
    // A modal window of the player is open over the ring, and holds back what a click on it would do.
    bool IsHeldByDialog() const;

signals:
    // The list changed other than through the manager's own buttons.
    void playListChanged();
    // After every action and key, and when a tick moved on from a finished track: whoever mirrors the
    // playback state brings it up to date now, and between two of these nothing changed but the position.
    void playbackMayHaveChanged();

protected:
    // The file dialogs' seam: the full path chosen, or empty when the user cancelled.
    virtual std::u16string AskFilePath(bool open);
    // The add-track dialog's seam: the files chosen, none when the user cancelled.
    virtual QStringList AskFilePaths();
    // The address input's seam, opened on `suggested`: the text typed, empty when the user cancelled.
    virtual QString AskAddress(const QString& suggested);

    void showEvent(QShowEvent* event) override;
    // Quitting cancels a load that runs, and the player quits once it has stopped.
    void done(int result) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Any timer's event runs a tick, as the window's own does.
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void OnInitDialog();
    void InitActionRects();
    void HitTest(const QPoint& point);
    void DoAction();
    void OnMouseMove(const QPoint& point);
    void OnLButtonDown();
    void OnTimer();
    // Looks at what the station that plays says of itself: true when it changed. A station that does not
    // play is said here, before the tick moves on from it.
    bool WatchStream();

    void TogglePlayPause() override;
    void StopMusic() override;
    void AnnouncePlaybackChange() override;
    void AddMusic();
    // "Ajouter une adresse": a station's URL, appended and played if nothing plays.
    void AddAddress();
    // The clipboard's files, folders, playlists or station, appended as a drop would be.
    void Paste();
    void OpenPlayListManager();

    Action m_hoveredAction = NONE;
    // Actions under way: above zero, the window is inside the modal loop one of them opened.
    int m_actionsRunning = 0;
    std::map<Action, QRect> m_actionRects;
    PlayList m_playList;
    PlayListFiles m_playListFiles{this, m_playList};
    // Its index is built again after every load, in the background, so that J finds at once.
    TrackSearch m_search{m_playList};
    MainWindowKeys m_keys{m_playList,
                          [this](Action action) { DoAction(action); },
                          [this] { emit playbackMayHaveChanged(); },
                          {[this] { OpenJumpToTrack(this); }, [this] { AddAddress(); }, [this] { Paste(); }}};
    QIcon m_icon;
    ShownTrackTags m_shownTrackTags;
    AccessibleStatus m_accessibleStatus{*this, m_shownTrackTags};
    QPushButton* m_quitButton = nullptr;
    // Its own object rather than the window's timer: each tick then skips the window's event filters and
    // the widget's dispatch of events, which cost more than the tick itself.
    QTimer m_tick;
    std::shared_ptr<StreamStatus> m_watchedStream;
    std::uint64_t m_watchedChanges = 0;
};

} // namespace zalvo
