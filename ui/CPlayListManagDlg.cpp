#include "CPlayListManagDlg.h"

#include "CZalvoDlg.h"
#include "ErrorBox.h"
#include "PlayListDragHandler.h"
#include "PlayListModel.h"
#include "ui_CPlayListManagDlg.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

#include <initializer_list>
#include <iterator>
#include <mutex>

namespace zalvo {

CPlayListManagDlg::CPlayListManagDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CPlayListManagDlg>()) {
    m_ui->setupUi(this);
    m_listBox = m_ui->listBox;
    m_model = new PlayListModel(this);
    m_listBox->setModel(m_model);

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->upButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedUp);
    connect(m_ui->downButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedDown);
    connect(m_ui->deleteButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedDelete);
    connect(m_ui->clearButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedClear);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedSave);
    connect(m_ui->loadButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedLoad);
    connect(m_listBox, &QListView::doubleClicked, this, &CPlayListManagDlg::OnLbnDblclkList);
    // The buttons and the double-click by keyboard; Enter alone still closes the dialog.
    const auto onKeys = [this](std::initializer_list<QKeyCombination> keys, void (CPlayListManagDlg::*handler)()) {
        for (const QKeyCombination key : keys) {
            connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, handler);
        }
    };
    onKeys({Qt::Key_Delete}, &CPlayListManagDlg::OnBnClickedDelete);
    onKeys({Qt::ALT | Qt::Key_Up}, &CPlayListManagDlg::OnBnClickedUp);
    onKeys({Qt::ALT | Qt::Key_Down}, &CPlayListManagDlg::OnBnClickedDown);
    onKeys({Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}, &CPlayListManagDlg::OnLbnDblclkList);
    onKeys({Qt::CTRL | Qt::Key_F}, &CPlayListManagDlg::OnJumpToTrack);
    // A dragged entry takes its selection along.
    new PlayListDragHandler(m_listBox, {[this] { return m_pPlayList; },
                                        [this](const QStringList& paths) {
                                            if (m_pMainDlg != nullptr) {
                                                m_pMainDlg->AddFromOutside(paths, false);
                                            }
                                        },
                                        [this] { m_model->catchUp(); }});
}

CPlayListManagDlg::~CPlayListManagDlg() = default;

void CPlayListManagDlg::SetPlayList(PlayList* playList) {
    m_pPlayList = playList;
    m_pList = playList != nullptr ? playList->getList() : nullptr;
    if (m_initialised) {
        m_model->show(playList);
    }
}

void CPlayListManagDlg::SetMainDlg(CZalvoDlg* mainDlg) {
    if (m_pMainDlg != nullptr) {
        disconnect(m_pMainDlg, nullptr, this, nullptr);
    }
    m_pMainDlg = mainDlg;
    if (mainDlg != nullptr) {
        connect(mainDlg, &CZalvoDlg::playListChanged, this, &CPlayListManagDlg::OnPlayListChanged);
    }
}

void CPlayListManagDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        // Queued, so that a message box opens over a dialog already on screen rather than from
        // inside its show.
        QMetaObject::invokeMethod(this, &CPlayListManagDlg::OnInitDialog, Qt::QueuedConnection);
    }
}

void CPlayListManagDlg::OnInitDialog() {
    if (m_initialised) {
        return;
    }
    m_initialised = true;
    if (m_pList == nullptr) {
        showErrorBox(this, QStringLiteral("Error - No play list given"));
        return;
    }
    m_model->show(m_pPlayList);
}

void CPlayListManagDlg::RefreshList() {
    m_model->catchUp();
    // As after a rebuild, no entry is selected; the view keeps its place in the list.
    m_listBox->clearSelection();
}

void CPlayListManagDlg::OnPlayListChanged() {
    m_model->catchUp();
}

PlayList::Position CPlayListManagDlg::GetSelectedPosition() {
    if (m_pList == nullptr) {
        return {};
    }
    // The selected row counts the rows the view knows of.
    m_model->catchUp();
    const QModelIndexList selected = m_listBox->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return m_pList->end();
    }
    return m_model->positionAt(selected.front().row());
}

void CPlayListManagDlg::OnBnClickedUp() {
    if (m_pList == nullptr) {
        return;
    }
    const auto selected = GetSelectedPosition();
    if (selected == m_pList->end() || selected == m_pList->begin()) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(m_pPlayList->mutex, std::defer_lock);
    lock.lock();
    // splice relinks the entry itself: its track is neither copied nor restarted, and every
    // position, the current one included, stays on the track it designated.
    m_pList->splice(std::prev(selected), *m_pList, selected);
    lock.unlock();
    RefreshList();
}

void CPlayListManagDlg::OnBnClickedDown() {
    if (m_pList == nullptr) {
        return;
    }
    const auto selected = GetSelectedPosition();
    if (selected == m_pList->end() || std::next(selected) == m_pList->end()) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(m_pPlayList->mutex, std::defer_lock);
    lock.lock();
    m_pList->splice(std::next(selected, 2), *m_pList, selected);
    lock.unlock();
    RefreshList();
}

void CPlayListManagDlg::OnBnClickedDelete() {
    if (m_pList == nullptr) {
        return;
    }
    auto selected = GetSelectedPosition();
    if (selected == m_pList->end()) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(m_pPlayList->mutex, std::defer_lock);
    lock.lock();
    m_pPlayList->removeMusic(selected);
    lock.unlock();
    RefreshList();
}

void CPlayListManagDlg::OnBnClickedClear() {
    if (m_pPlayList == nullptr) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(m_pPlayList->mutex, std::defer_lock);
    lock.lock();
    m_pPlayList->clear();
    lock.unlock();
    RefreshList();
}

void CPlayListManagDlg::OnBnClickedSave() {
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->SavePlayList();
    }
}

void CPlayListManagDlg::OnBnClickedLoad() {
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->LoadPlayList();
    }
    RefreshList();
}

void CPlayListManagDlg::OnLbnDblclkList() {
    if (m_pList == nullptr) {
        return;
    }
    auto selected = GetSelectedPosition();
    if (selected != m_pList->end()) {
        m_pPlayList->playAt(selected);
    }
}

void CPlayListManagDlg::OnJumpToTrack() {
    if (m_pMainDlg != nullptr) {
        m_pMainDlg->OpenJumpToTrack(this);
    }
}

} // namespace zalvo
