#include "CZalvoDlg.h"

#include "CPlayListManagDlg.h"
#include "DroppedFiles.h"
#include "ErrorBox.h"
#include "JumpToTrackDialog.h"
#include "SkinView.h"
#include "StreamAddress.h"
#include "playlist/AudioConfig.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>

#include <array>
#include <mutex>

namespace zalvo {

namespace {

constexpr QSize skinSize{500, 500};
constexpr QRect quitButtonGeometry{0, 475, 75, 23};
constexpr int tickMilliseconds = 100;

// PLAY_PAUSE and STOP win the squares they share with REPEAT and SHUFFLE.
constexpr std::array searchOrder{PLAY_PAUSE, STOP,        NEXT,      PREVIOUS,      SHUFFLE,       REPEAT,
                                 VOLUME_UP,  VOLUME_DOWN, ADD_MUSIC, LOAD_PLAYLIST, SAVE_PLAYLIST, MANAGE_PLAYLIST};

// Right and bottom edges are outside the rectangle.
QRect fromEdges(int left, int top, int right, int bottom) {
    return {QPoint(left, top), QPoint(right - 1, bottom - 1)};
}

} // namespace

CZalvoDlg::CZalvoDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_icon(SkinView::appIcon()) {
    setWindowTitle(QStringLiteral("Zalvo"));
    setFixedSize(skinSize);
    setMouseTracking(true);
    setAcceptDrops(true);

    auto* skin = new SkinView(this);
    skin->setGeometry(QRect(QPoint(0, 0), skinSize));

    m_quitButton = new QPushButton(QStringLiteral("Quitter"), this);
    m_quitButton->setGeometry(quitButtonGeometry);
    m_quitButton->setDefault(true);
    connect(m_quitButton, &QPushButton::clicked, this, &QDialog::accept);
    m_keys.watch(this, m_quitButton);

    connect(&m_playListFiles, &PlayListFiles::playListChanged, this, &CZalvoDlg::playListChanged);
    connect(this, &CZalvoDlg::playbackMayHaveChanged, this, [this] { m_accessibleStatus.refresh(m_playList); });
    connect(this, &CZalvoDlg::playListChanged, this, [this] { m_accessibleStatus.refresh(m_playList); });
    connect(this, &CZalvoDlg::playListChanged, this, [this] { m_search.refresh(); });
    m_accessibleStatus.refresh(m_playList);
}

CZalvoDlg::~CZalvoDlg() = default;

void CZalvoDlg::showEvent(QShowEvent* event) {
    if (m_actionRects.empty()) {
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CZalvoDlg::OnInitDialog() {
    setWindowIcon(m_icon);
    InitActionRects();
    connect(&m_tick, &QTimer::timeout, this, &CZalvoDlg::OnTimer);
    m_tick.start(tickMilliseconds);
    // What changed in the settings before the window showed is told as it shows.
    emit playbackMayHaveChanged();
}

void CZalvoDlg::InitActionRects() {
    m_actionRects[PLAY_PAUSE] = fromEdges(300, 355, 370, 435);
    m_actionRects[STOP] = fromEdges(130, 365, 195, 425);
    m_actionRects[NEXT] = fromEdges(390, 210, 460, 290);
    m_actionRects[PREVIOUS] = fromEdges(40, 210, 105, 290);
    m_actionRects[SHUFFLE] = fromEdges(70, 300, 135, 370);
    m_actionRects[REPEAT] = fromEdges(365, 305, 430, 370);
    m_actionRects[VOLUME_UP] = fromEdges(210, 40, 290, 110);
    m_actionRects[VOLUME_DOWN] = fromEdges(210, 390, 290, 460);
    m_actionRects[ADD_MUSIC] = fromEdges(60, 125, 135, 205);
    m_actionRects[LOAD_PLAYLIST] = fromEdges(135, 65, 205, 140);
    m_actionRects[SAVE_PLAYLIST] = fromEdges(300, 65, 365, 140);
    m_actionRects[MANAGE_PLAYLIST] = fromEdges(365, 130, 435, 205);
}

Action CZalvoDlg::ActionAt(const QPoint& point) const {
    for (const Action action : searchOrder) {
        const auto entry = m_actionRects.find(action);
        if (entry != m_actionRects.end() && entry->second.contains(point)) {
            return action;
        }
    }
    return NONE;
}

void CZalvoDlg::HitTest(const QPoint& point) {
    m_hoveredAction = ActionAt(point);
}

void CZalvoDlg::DoAction() {
    DoAction(m_hoveredAction);
}

void CZalvoDlg::DoAction(Action action) {
    ++m_actionsRunning;
    const auto running = qScopeGuard([this] { --m_actionsRunning; });
    switch (action) {
    case PLAY_PAUSE:
        TogglePlayPause();
        break;
    case STOP:
        StopMusic();
        break;
    case NEXT:
        m_playList.next(true);
        break;
    case PREVIOUS:
        m_playList.previous();
        break;
    case REPEAT:
        AudioConfig::getInstance()->toggleRepeat();
        break;
    case SHUFFLE:
        AudioConfig::getInstance()->toggleShuffle();
        break;
    case VOLUME_UP:
        AudioConfig::getInstance()->volumeUp();
        break;
    case VOLUME_DOWN:
        AudioConfig::getInstance()->volumeDown();
        break;
    case ADD_MUSIC:
        AddMusic();
        break;
    case LOAD_PLAYLIST:
        LoadPlayList();
        break;
    case SAVE_PLAYLIST:
        SavePlayList();
        break;
    case MANAGE_PLAYLIST:
        OpenPlayListManager();
        break;
    case NONE:
        break;
    }
    emit playbackMayHaveChanged();
}

bool CZalvoDlg::IsHeldByDialog() const {
    // A native file dialog is no modal widget of Qt's; the action that opened it is still running.
    const QWidget* modal = QApplication::activeModalWidget();
    return m_actionsRunning > 0 || (modal != nullptr && modal != this);
}

void CZalvoDlg::mouseMoveEvent(QMouseEvent* event) {
    // Qt also sends here the moves that "Quitter" ignores and, while a mouse button is held, every move
    // wherever the pointer goes: only moves over the picture count.
    const QPoint point = event->position().toPoint();
    if (rect().contains(point) && !m_quitButton->geometry().contains(point)) {
        OnMouseMove(point);
    }
    QDialog::mouseMoveEvent(event);
}

void CZalvoDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown();
    }
    QDialog::mousePressEvent(event);
}

void CZalvoDlg::timerEvent(QTimerEvent* event) {
    OnTimer();
    QDialog::timerEvent(event);
}

void CZalvoDlg::OnMouseMove(const QPoint& point) {
    HitTest(point);
}

void CZalvoDlg::OnLButtonDown() {
    if (m_hoveredAction != NONE) {
        DoAction();
    }
}

void CZalvoDlg::OnTimer() {
    const bool streamChanged = WatchStream();
    if (m_playList.advanceIfFinished() || streamChanged) {
        emit playbackMayHaveChanged();
    }
}

bool CZalvoDlg::WatchStream() {
    std::shared_ptr<StreamStatus> status;
    {
        const std::scoped_lock lock(m_playList.mutex);
        const Music* track = m_playList.getCurrent();
        status = track != nullptr ? track->getStreamStatus() : nullptr;
    }
    const std::uint64_t changes = status ? status->changes() : 0;
    if (status == m_watchedStream && changes == m_watchedChanges) {
        return false;
    }
    m_watchedStream = status;
    m_watchedChanges = changes;
    if (!status) {
        return false;
    }
    const StreamStatus::Shown shown = status->shown();
    if (!shown.played && !shown.failure.empty()) {
        const QString url = QString::fromStdU16String(m_playList.getCurrent()->getPath());
        showErrorBox(this, PlayListFiles::message(PlayListFiles::Complaint::NotLoaded, {url}) + QLatin1Char('\n') +
                               QString::fromStdString(shown.failure));
    }
    return true;
}

void CZalvoDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles::paths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CZalvoDlg::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedFiles::paths(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    AddFromOutside(paths, false);
}

void CZalvoDlg::Quit() {
    // Each modal window runs a loop nested in the click that opened it: closing them all lets every
    // loop end, down to the main window's own.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog != this && dialog->isVisible() && dialog->isModal()) {
            dialog->reject();
        }
    }
    accept();
}

void CZalvoDlg::Raise() {
    showNormal();
    raise();
    activateWindow();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

std::u16string CZalvoDlg::AskFilePath(bool open) {
    const QString path = open ? QFileDialog::getOpenFileName() : QFileDialog::getSaveFileName();
    return path.toStdU16String();
}

QStringList CZalvoDlg::AskFilePaths() {
    return QFileDialog::getOpenFileNames();
}

void CZalvoDlg::TogglePlayPause() {
    m_playList.playPause();
}

void CZalvoDlg::StopMusic() {
    const std::scoped_lock lock(m_playList.mutex);
    if (Music* music = m_playList.getCurrent()) {
        music->stop();
    }
}

void CZalvoDlg::AnnouncePlaybackChange() {
    emit playbackMayHaveChanged();
}

void CZalvoDlg::AddMusic() {
    if (m_playListFiles.isBusy()) {
        return;
    }
    const QStringList paths = AskFilePaths();
    if (paths.size() > 1) {
        AddFromOutside(paths, false);
    } else if (!paths.isEmpty() && !paths.front().isEmpty()) {
        m_playListFiles.addTrack(paths.front().toStdU16String());
    }
}

QString CZalvoDlg::AskAddress(const QString& suggested) {
    return QInputDialog::getText(this, QStringLiteral("Ajouter une adresse"),
                                 QStringLiteral("Adresse de la radio (http:// ou https://) :"), QLineEdit::Normal,
                                 suggested);
}

void CZalvoDlg::AddAddress() {
    if (m_playListFiles.isBusy()) {
        return;
    }
    // An address just copied from a browser is offered as it stands.
    const QString text = AskAddress(StreamAddress::fromText(QApplication::clipboard()->text())).trimmed();
    if (text.isEmpty()) {
        return;
    }
    const QString url = StreamAddress::fromText(text);
    if (url.isEmpty()) {
        showErrorBox(this, QStringLiteral("Error - Not an internet radio address ! Address : ") + text);
        return;
    }
    m_playListFiles.add({url}, PlayListFiles::Start::WhenIdle);
}

void CZalvoDlg::Paste() {
    const QStringList paths = DroppedFiles::paths(QApplication::clipboard()->mimeData());
    if (!paths.isEmpty()) {
        AddFromOutside(paths, false);
    }
}

void CZalvoDlg::done(int result) {
    m_playListFiles.cancel();
    QDialog::done(result);
}

void CZalvoDlg::AddFromOutside(const QStringList& paths, bool play) {
    m_playListFiles.add(paths, play ? PlayListFiles::Start::WhenIdle : PlayListFiles::Start::Never);
}

void CZalvoDlg::PlayFromOutside(const QString& path) {
    m_playListFiles.add({path}, PlayListFiles::Start::Now);
}

void CZalvoDlg::LoadPlayList() {
    m_playListFiles.load([this] { return AskFilePath(true); });
}

void CZalvoDlg::SavePlayList() {
    m_playListFiles.save([this] { return AskFilePath(false); });
}

void CZalvoDlg::OpenJumpToTrack(QWidget* parent) {
    // A load under way is about to replace the list the search would show.
    if (m_playListFiles.isBusy()) {
        return;
    }
    JumpToTrackDialog jump(m_playList, m_search, parent);
    connect(&jump, &JumpToTrackDialog::played, this, [this] { emit playbackMayHaveChanged(); });
    jump.exec();
}

void CZalvoDlg::OpenPlayListManager() {
    if (m_playListFiles.isBusy()) {
        return;
    }
    CPlayListManagDlg manager;
    manager.SetPlayList(&m_playList);
    manager.SetMainDlg(this);
    // The manager plays, removes and clears from its buttons, its keys and a double-click, while its
    // modal loop runs: each is announced once it has run, connected after the manager's own handlers.
    const auto announce = [this] { emit playbackMayHaveChanged(); };
    for (const QAbstractButton* button : manager.findChildren<QAbstractButton*>()) {
        connect(button, &QAbstractButton::clicked, this, announce);
    }
    for (const QShortcut* shortcut : manager.findChildren<QShortcut*>()) {
        connect(shortcut, &QShortcut::activated, this, announce);
    }
    for (const QAbstractItemView* view : manager.findChildren<QAbstractItemView*>()) {
        connect(view, &QAbstractItemView::doubleClicked, this, announce);
    }
    manager.exec();
}

} // namespace zalvo
