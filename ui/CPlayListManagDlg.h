#pragma once

#include "PlayList.h"

#include <QDialog>

class CZalvoDlg;
class QListWidget;

// The playlist manager: shows the playlist's paths and reorders, deletes, clears, saves, loads and
// plays its entries, working on the main window's playlist directly.
class CPlayListManagDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPlayListManagDlg(QWidget* parent = nullptr);
    ~CPlayListManagDlg() override;

    void SetPlayList(PlayList* playList);
    void SetMainDlg(CZalvoDlg* mainDlg);

    // Fills the list when the dialog is first shown, or reports that it was given no playlist.
    void OnInitDialog();

public slots:
    void OnBnClickedUp();
    void OnBnClickedDown();
    void OnBnClickedDelete();
    void OnBnClickedClear();
    void OnBnClickedSave();
    void OnBnClickedLoad();
    void OnLbnDblclkList();

private:
    void RefreshList();
    PlayList::Position GetSelectedPosition();

    CZalvoDlg* m_pMainDlg = nullptr;
    PlayList* m_pPlayList = nullptr;
    PlayList::TrackList* m_pList = nullptr;
    QListWidget* m_listBox = nullptr;
};
