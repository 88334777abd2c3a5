#include "CPlayListManagDlg.h"

#include "CZalvoDlg.h"
#include "ErrorBox.h"
#include "PlayListDragHandler.h"
#include "ui_CPlayListManagDlg.h"

#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>

#include <iterator>
#include <mutex>

CPlayListManagDlg::CPlayListManagDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CPlayListManagDlg>()) {
    m_ui->setupUi(this);
    m_listBox = m_ui->listBox;

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->upButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedUp);
    connect(m_ui->downButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedDown);
    connect(m_ui->deleteButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedDelete);
    connect(m_ui->clearButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedClear);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedSave);
    connect(m_ui->loadButton, &QPushButton::clicked, this, &CPlayListManagDlg::OnBnClickedLoad);
    connect(m_listBox, &QListWidget::itemDoubleClicked, this, &CPlayListManagDlg::OnLbnDblclkList);
    new PlayListDragHandler(m_listBox, {[this] { return m_pPlayList; },
                                        [this](const QStringList& paths) {
                                            if (m_pMainDlg != nullptr) {
                                                m_pMainDlg->AddFromOutside(paths, false);
                                            }
                                            RefreshList();
                                        },
                                        [this] { RefreshList(); }});
}

CPlayListManagDlg::~CPlayListManagDlg() = default;

void CPlayListManagDlg::SetPlayList(PlayList* playList) {
    m_pPlayList = playList;
    m_pList = playList != nullptr ? playList->getList() : nullptr;
}

void CPlayListManagDlg::SetMainDlg(CZalvoDlg* mainDlg) {
    m_pMainDlg = mainDlg;
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
    RefreshList();
}

void CPlayListManagDlg::RefreshList() {
    m_listBox->clear();
    if (m_pList == nullptr) {
        return;
    }
    QStringList paths;
    for (const auto& music : *m_pList) {
        paths.append(QString::fromStdU16String(music->getPath()));
    }
    m_listBox->addItems(paths);
}

PlayList::Position CPlayListManagDlg::GetSelectedPosition() {
    const QList<QListWidgetItem*> selected = m_listBox->selectedItems();
    if (m_pList->empty() || selected.isEmpty()) {
        return m_pList->end();
    }
    const int index = m_listBox->row(selected.front());
    // The list box mirrors the list; should they ever differ, select nothing rather than walk off the end.
    if (index < 0 || static_cast<std::size_t>(index) >= m_pList->size()) {
        return m_pList->end();
    }
    return std::next(m_pList->begin(), index);
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
