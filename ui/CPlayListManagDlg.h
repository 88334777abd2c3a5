#pragma once

#include "playlist/PlayList.h"

#include <QDialog>

#include <memory>

class QListView;
class QShowEvent;
namespace Ui {
class CPlayListManagDlg;
}

namespace zalvo {

class CZalvoDlg;
class PlayListModel;

// The playlist manager: shows the playlist's paths and reorders, deletes, clears, saves, loads and
// plays its entries, working on the main window's playlist directly.
class CPlayListManagDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CPlayListManagDlg(QWidget* parent = nullptr);
    ~CPlayListManagDlg() override;

    void SetPlayList(PlayList* playList);
    void SetMainDlg(CZalvoDlg* mainDlg);

    // Fills the list, or reports that the dialog was given no playlist. Runs once, after the
    // dialog is first shown, unless it was called before.
    void OnInitDialog();

    void OnBnClickedUp();
    void OnBnClickedDown();
    void OnBnClickedDelete();
    void OnBnClickedClear();
    void OnBnClickedSave();
    void OnBnClickedLoad();
    void OnLbnDblclkList();
    // Ctrl+F: "Aller au morceau" over the manager.
    void OnJumpToTrack();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RefreshList();
    // The list changed elsewhere: the view hears of it now, its selection following the selected entry.
    void OnPlayListChanged();
    PlayList::Position GetSelectedPosition();

    std::unique_ptr<Ui::CPlayListManagDlg> m_ui;
    CZalvoDlg* m_pMainDlg = nullptr;
    PlayList* m_pPlayList = nullptr;
    PlayList::TrackList* m_pList = nullptr;
    QListView* m_listBox = nullptr;
    PlayListModel* m_model = nullptr;
    bool m_initialised = false;
};

} // namespace zalvo
