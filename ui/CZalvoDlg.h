#pragma once

#include "Action.h"
#include "PlayList.h"

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <QStringList>

#include <map>
#include <string>

class QPushButton;

// The skinned main window: remembers the icon under the pointer, runs its action on a click, and
// moves playback on every 100 ms.
class CZalvoDlg : public QDialog {
    Q_OBJECT

public:
    explicit CZalvoDlg(QWidget* parent = nullptr);
    ~CZalvoDlg() override;

    // Also run by the playlist manager's "Charger" and "Sauvegarder" buttons.
    void LoadPlayList();
    void SavePlayList();

    // Files that come from outside the window (a drop, the command line, another launch, MPRIS):
    // audio files and playlist files, whose tracks are appended in order. When `play` is set and
    // nothing plays, the first added track starts. Files that do not open are reported in one message.
    void AddFromOutside(const QStringList& paths, bool play);

    PlayList& GetPlayList() { return m_playList; }
    Action GetHoveredAction() const { return m_hoveredAction; }
    // Each rectangle holds exactly its action's pixels: QRect::right() and bottom() are the last ones inside.
    const std::map<Action, QRect>& GetActionRects() const { return m_actionRects; }

signals:
    // The list changed other than through the manager's own buttons.
    void playListChanged();

protected:
    // The file dialogs' seam: the full path chosen, or empty when the user cancelled.
    virtual std::u16string AskFilePath(bool open);

    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnInitDialog();
    void InitActionRects();
    void HitTest(const QPoint& point);
    void DoAction();
    void OnMouseMove(const QPoint& point);
    void OnLButtonDown();
    void OnTimer();

    void TogglePlayPause();
    void StopMusic();
    void AddMusic();
    void OpenPlayListManager();

    Action m_hoveredAction = NONE;
    std::map<Action, QRect> m_actionRects;
    PlayList m_playList;
    QIcon m_icon;
    QPushButton* m_quitButton = nullptr;
};
